#pragma once

#include <string>

namespace korvex::internal {

// What the bytes of tilde data (escapes resolved) are as text.
enum class TextEncoding { Ascii, Utf8, NotUtf8 };

TextEncoding ClassifyText(const std::string& tildeData);

// Whether the bytes are UTF-8: lead bytes with their continuation bytes, no overlong or
// surrogate forms, nothing above U+10FFFF.
bool IsUtf8(const std::string& text);

// The tilde data with the ECI designator of UTF-8 (~7000026) in front of the data, after a
// leading FNC1, reader programming or macro escape, which must stay first in the symbol.
std::string WithUtf8Eci(const std::string& tildeData);

}  // namespace korvex::internal
