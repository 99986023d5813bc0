#include "request/QueryString.h"

#include <cstring>

namespace korvex::internal {

QueryString::QueryString(const char* text)
    : text_(text), length_(static_cast<uint32_t>(std::strlen(text))), value_(length_ + 1u, '\0') {}

int64_t QueryString::FindValueStart(const char* name, uint32_t nameLength) const {
  // The length tests demand at least one byte after the "=", so a parameter whose "=" ends
  // the text is not found.
  const uint64_t length = length_;
  if (length >= nameLength + 2ull && std::memcmp(text_, name, nameLength) == 0 && text_[nameLength] == '=') {
    return nameLength + 1;
  }
  for (uint64_t p = 1; p < length; ++p) {
    if (text_[p] == '&' && length - p >= nameLength + 3ull && std::memcmp(text_ + p + 1, name, nameLength) == 0 &&
        text_[p + nameLength + 1] == '=') {
      return static_cast<int64_t>(p + nameLength + 2);
    }
  }
  return -1;
}

const char* QueryString::Lookup(const char* name) {
  if (length_ == 0) {
    return nullptr;
  }
  const auto nameLength = static_cast<uint32_t>(std::strlen(name));
  const int64_t start = FindValueStart(name, nameLength);
  if (start < 0) {
    return nullptr;
  }
  // The value is cut at the next "&" before decoding, so an escaped "&" stays inside it.
  const char* valueBegin = text_ + start;
  const char* ampersand = static_cast<const char*>(std::memchr(valueBegin, '&', length_ - static_cast<uint32_t>(start)));
  const size_t valueLength = ampersand != nullptr ? static_cast<size_t>(ampersand - valueBegin)
                                                  : length_ - static_cast<size_t>(start);
  std::memcpy(value_.data(), valueBegin, valueLength);
  value_[valueLength] = '\0';
  UrlDecode(value_.data());
  return value_.data();
}

uint8_t HexDigitValue(char digit) {
  if (digit >= '0' && digit <= '9') {
    return static_cast<uint8_t>(digit - '0');
  }
  if (digit >= 'a' && digit <= 'z') {
    return static_cast<uint8_t>(digit - 'a' + 10);
  }
  if (digit >= 'A' && digit <= 'Z') {
    return static_cast<uint8_t>(digit - 'A' + 10);
  }
  return 0;
}

void UrlDecode(char* buffer) {
  const char* read = buffer;
  char* write = buffer;
  while (*read != '\0') {
    if (*read == '+') {
      *write++ = ' ';
      ++read;
    } else if (*read == '%' && read[1] != '\0' && read[2] != '\0') {
      // Letters beyond f still count (z is 35) and then reach into the high digit's bits; the
      // two values are combined with OR and only the low byte is kept.
      const unsigned combined = (static_cast<unsigned>(HexDigitValue(read[1])) << 4) | HexDigitValue(read[2]);
      *write++ = static_cast<char>(combined & 0xFFu);
      read += 3;
    } else {
      // Includes a "%" too close to the end for two digits: it and what follows stay as
      // they are, and nothing past the terminating NUL is read.
      *write++ = *read++;
    }
  }
  *write = '\0';
}

}  // namespace korvex::internal
