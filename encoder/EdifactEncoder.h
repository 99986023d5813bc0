#pragma once

#include <cstddef>
#include <cstdint>

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

namespace korvex::internal {

bool IsEdifactChar(uint8_t byte);

// Four characters make a group.
constexpr std::size_t kEdifactGroupSize = 4;

// Packs one to four EDIFACT values (low six bits of each byte) into one to three codewords.
void PackEdifact(const uint8_t* values, std::size_t count, CodewordWriter& out);
// How many codewords PackEdifact writes for count values.
std::size_t EdifactPackedLength(std::size_t count);

// How a run ends with `left` characters (0..3) in its last group, where room is the format's
// room at that point (CodewordWriter::Room()): either the leftovers follow in ASCII without an
// unlatch, or the unlatch value joins them in a last group. The encoder writes, and planners
// count, by this one rule.
struct EdifactRunEnd {
  bool leftoversInAscii = false;
  // The unlatch group would start in the format's last two data codewords, where decoders
  // read ASCII: the format cannot hold the run that way.
  bool misread = false;
};
EdifactRunEnd EdifactRunEndFor(std::size_t left, bool endsData, std::size_t room);

// EDIFACT encodation of the range; false (nothing written) when a data character is outside
// 32..94. lastSegment: nothing follows the range in the data. Codeword items inside the range
// end the run, are written in ASCII, and the scheme latches again after them.
bool EncodeEdifact(DataRange range, bool lastSegment, CodewordWriter& out);

}  // namespace korvex::internal
