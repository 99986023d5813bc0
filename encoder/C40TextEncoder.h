#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

namespace korvex::internal {

// Where a byte stands in the C40 or Text character sets: its row 0..39 (the value written) in
// set 0 (basic) or 1..3 (shift 1..3). Bytes above 127 are not found: they take the upper shift.
struct C40TextValue {
  bool found = false;
  uint8_t row = 0;
  uint8_t set = 0;
};

C40TextValue FindC40TextValue(uint8_t byte, bool useC40);

// Three values 0..39 pack into two codewords.
constexpr std::size_t kTripletValues = 3;
constexpr std::size_t kTripletCodewords = 2;

// Packs three values 0..39 into two codewords, appended to out.
void PackTriplet(uint8_t p, uint8_t q, uint8_t r, CodewordWriter& out);

// The values that stand for one byte: its shifts (and the upper shift of a byte above 127)
// first, its row last; one to four values.
struct C40TextValues {
  std::array<uint8_t, 4> values{};
  std::size_t count = 0;
};
C40TextValues C40TextValuesOf(uint8_t byte, bool useC40);

// How a run ends with valuesLeft (0..2) values after its last full triplet, where room is the
// format's room at that point (CodewordWriter::Room()). The encoder writes, and planners count,
// by this one rule. fullSymbolEnds adds the ends that hold only where the run fills the format
// exactly; lastCharOneValue: the run's last character is a single basic-set value.
struct C40TextRunEnd {
  bool padTriplet = false;       // the two values left fill a last triplet with a filler 0
  bool unlatch = false;          // 254 follows
  bool lastCharInAscii = false;  // the run's last character follows, whole, in ASCII
};
C40TextRunEnd C40TextRunEndFor(std::size_t valuesLeft, bool lastSegment, std::size_t room, bool fullSymbolEnds,
                               bool lastCharOneValue);

// C40 (useC40) or Text encodation of the range. lastSegment: nothing follows the range in the
// data, so an unlatch that would take the format's last data codeword is left to the pad.
// fullSymbolEnds: the last run may also end as C40TextRunEndFor allows where it fills the
// format. Codeword items inside the range end the run, are written in ASCII, and the scheme
// latches again for the data after them. Never fails.
bool EncodeC40Text(DataRange range, bool useC40, bool lastSegment, CodewordWriter& out, bool fullSymbolEnds = false);

}  // namespace korvex::internal
