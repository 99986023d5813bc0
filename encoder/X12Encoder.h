#pragma once

#include <cstdint>

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

bool IsX12Char(uint8_t byte);
// Value 0..39 of an X12 character (only meaningful when IsX12Char holds).
uint8_t X12Value(uint8_t byte);

// X12 encodation of the range; false (nothing written) when a data character is outside the
// X12 set. lastSegment: nothing follows the range in the data. Codeword items inside the range
// end the run, are written in ASCII, and the scheme latches again after them.
bool EncodeX12(DataRange range, bool lastSegment, CodewordWriter& out);
