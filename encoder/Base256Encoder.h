#pragma once

#include <cstddef>
#include <cstdint>

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

namespace korvex::internal {

constexpr std::size_t kMaxBase256Run = 1555;
// The longest run whose length field is one codeword.
constexpr std::size_t kMaxShortBase256Run = 249;

// Codewords of the length field of a run of runLength bytes (1..kMaxBase256Run): one or two.
constexpr std::size_t Base256LengthFieldSize(std::size_t runLength) { return runLength <= kMaxShortBase256Run ? 1 : 2; }

// The 255-state randomising of a Base256 codeword at its 1-based buffer position.
uint8_t Randomize255(uint8_t value, std::size_t position);

// Base256 encodation: latch, randomised length field, randomised bytes. False for a run of
// more than 1555 bytes. Codeword items inside the range end the run, are written in ASCII,
// and the scheme latches again after them.
bool EncodeBase256(DataRange range, CodewordWriter& out);

}  // namespace korvex::internal
