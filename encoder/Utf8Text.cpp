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

}  // namespace

TextEncoding ClassifyText(const std::string& tildeData) {
  DataItemList items;
  PreprocessData(tildeData, items);
  bool nonAscii = false;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (IsCodewordItem(items[i]) || ItemValue(items[i]) < 0x80) {
      continue;
    }
    nonAscii = true;
    const Utf8Lead lead = LeadOf(ItemValue(items[i]));
    if (lead.continuations == 0 || i + static_cast<std::size_t>(lead.continuations) >= items.size()) {
      return TextEncoding::NotUtf8;
    }
    uint32_t codePoint = lead.bits;
    for (int k = 0; k < lead.continuations; ++k) {
      const DataItem item = items[++i];
      if (IsCodewordItem(item) || (ItemValue(item) & 0xC0u) != 0x80u) {
        return TextEncoding::NotUtf8;
      }
      codePoint = (codePoint << 6) | (ItemValue(item) & 0x3Fu);
    }
    if (codePoint < lead.minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      return TextEncoding::NotUtf8;
    }
  }
  return nonAscii ? TextEncoding::Utf8 : TextEncoding::Ascii;
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
