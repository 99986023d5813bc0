#include "encoder/Utf8Text.h"

#include "encoder/DataItem.h"
#include "encoder/Preprocessor.h"

namespace korvex::internal {

namespace {

// Number of continuation bytes after a lead byte and the smallest code point the sequence may
// stand for (shorter forms are overlong), or 0 continuation bytes and 0 for a bad lead byte.
struct Utf8Lead {
  int continuations;
  uint32_t minimum;
  uint32_t bits;
};

Utf8Lead LeadOf(uint8_t byte) {
  if ((byte & 0xE0u) == 0xC0u) return {1, 0x80, byte & 0x1Fu};
  if ((byte & 0xF0u) == 0xE0u) return {2, 0x800, byte & 0x0Fu};
  if ((byte & 0xF8u) == 0xF0u) return {3, 0x10000, byte & 0x07u};
  return {0, 0, 0};
}

// Reads the sequence whose lead byte (0x80 or more) is at i, of size values, and moves i to its
// last byte: false for a bad lead byte, a missing or bad continuation byte, an overlong or
// surrogate form or a code point above U+10FFFF. byteAt(k) is the byte at k, or -1 where there
// is none (a codeword of tilde data).
template <typename ByteAt>
bool ReadSequence(std::size_t& i, std::size_t size, ByteAt byteAt) {
  const Utf8Lead lead = LeadOf(static_cast<uint8_t>(byteAt(i)));
  if (lead.continuations == 0 || i + static_cast<std::size_t>(lead.continuations) >= size) return false;
  uint32_t codePoint = lead.bits;
  for (int k = 0; k < lead.continuations; ++k) {
    const int byte = byteAt(++i);
    if (byte < 0 || (byte & 0xC0) != 0x80) return false;
    codePoint = (codePoint << 6) | (static_cast<uint32_t>(byte) & 0x3Fu);
  }
  return codePoint >= lead.minimum && codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
}

}  // namespace

TextEncoding ClassifyText(const std::string& tildeData) {
  DataItemList items;
  PreprocessData(tildeData, items);
  bool nonAscii = false;
  const auto byteAt = [&items](std::size_t k) { return IsCodewordItem(items[k]) ? -1 : int{ItemValue(items[k])}; };
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (IsCodewordItem(items[i]) || ItemValue(items[i]) < 0x80) {
      continue;
    }
    nonAscii = true;
    if (!ReadSequence(i, items.size(), byteAt)) {
      return TextEncoding::NotUtf8;
    }
  }
  return nonAscii ? TextEncoding::Utf8 : TextEncoding::Ascii;
}

bool IsUtf8(const std::string& text) {
  const auto byteAt = [&text](std::size_t k) { return int{static_cast<uint8_t>(text[k])}; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (byteAt(i) >= 0x80 && !ReadSequence(i, text.size(), byteAt)) return false;
  }
  return true;
}

std::string WithUtf8Eci(const std::string& tildeData) {
  constexpr const char* kUtf8Eci = "~7000026";
  const bool leadingFunction =
      tildeData.size() >= 2 && tildeData[0] == '~' && std::string("1356").find(tildeData[1]) != std::string::npos;
  std::string marked = tildeData;
  marked.insert(leadingFunction ? 2 : 0, kUtf8Eci);
  return marked;
}

}  // namespace korvex::internal
