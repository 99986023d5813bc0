#pragma once

#include <cstdint>

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

bool IsEdifactChar(uint8_t byte);

// Packs one to four EDIFACT values (low six bits of each byte) into one to three codewords.
void PackEdifact(const uint8_t* values, std::size_t count, CodewordWriter& out);

// EDIFACT encodation of the range; false (nothing written) when a data character is outside
// 32..94. lastSegment: nothing follows the range in the data. Codeword items inside the range
// end the run, are written in ASCII, and the scheme latches again after them.
bool EncodeEdifact(DataRange range, bool lastSegment, CodewordWriter& out);
