#pragma once

#include <cstddef>
#include <cstdint>

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

namespace korvex::internal {

bool IsX12Char(uint8_t byte);
// Value 0..39 of an X12 character (only meaningful when IsX12Char holds).
uint8_t X12Value(uint8_t byte);

// Whether a run that leaves `left` characters (0..2) after its last triplet writes the unlatch
// before those characters follow in ASCII; room is the format's room at that point
// (CodewordWriter::Room()). The encoder writes, and planners count, by this one rule.
bool X12RunEndUnlatches(std::size_t left, bool lastSegment, std::size_t room);

// X12 encodation of the range; false (nothing written) when a data character is outside the
// X12 set. lastSegment: nothing follows the range in the data. Codeword items inside the range
// end the run, are written in ASCII, and the scheme latches again after them.
bool EncodeX12(DataRange range, bool lastSegment, CodewordWriter& out);

}  // namespace korvex::internal
