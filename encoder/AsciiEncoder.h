#pragma once

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

namespace korvex::internal {

// ASCII encodation: digit pairs, upper shift for bytes 128..255, codeword items as they are.
// Never latches or unlatches; always succeeds.
bool EncodeAscii(DataRange range, CodewordWriter& out);

// Number of codewords EncodeAscii would write for the range.
std::size_t AsciiLength(DataRange range);

}  // namespace korvex::internal
