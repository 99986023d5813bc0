#pragma once

#include <cstdint>
#include <string>

#include "encoder/DataItem.h"

namespace korvex::internal {

// Resolves the tilde escapes of the data (read up to its first NUL byte) into items: FNC1,
// reader programming, macros, ECI, line feed, carriage return, hexadecimal bytes and the tilde.
void PreprocessData(const std::string& data, DataItemList& items);

// Appends the ECI codeword 241 and the codewords of number (0..999999) to out.
void AppendEciCodewords(uint32_t number, std::vector<uint8_t>& out);

// Copies the codeword items at the front of the list (up to the first data character) to the
// buffer and returns how many it copied; the caller removes them from the list.
std::size_t CopyLeadingCodewords(const DataItemList& items, CodewordBuffer& buffer);

}  // namespace korvex::internal
