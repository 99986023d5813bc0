#include "encoder/Preprocessor.h"

#include <string_view>

namespace korvex::internal {

namespace {

constexpr char kTilde = '~';
constexpr uint8_t kFnc1 = 232;
constexpr uint8_t kReaderProgramming = 234;
constexpr uint8_t kMacro05 = 236;
constexpr uint8_t kMacro06 = 237;
constexpr uint8_t kEci = 241;
constexpr std::size_t kEciDigits = 6;
constexpr std::size_t kReserveExtra = 100;

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// Value of a hexadecimal digit of either case, or -1.
int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::size_t AppendEciEscape(std::string_view text, std::size_t tilde, DataItemList& items) {
  const std::size_t firstDigit = tilde + 2;
  if (firstDigit + kEciDigits > text.size()) return 0;
  uint32_t number = 0;
  for (std::size_t i = firstDigit; i < firstDigit + kEciDigits; ++i) {
    if (!IsDecimalDigit(text[i])) return 0;
    number = number * 10 + static_cast<uint32_t>(text[i] - '0');
  }
  std::vector<uint8_t> codewords;
  AppendEciCodewords(number, codewords);
  for (uint8_t codeword : codewords) items.push_back(CodewordItem(codeword));
  return 2 + kEciDigits;
}

std::size_t AppendHexEscape(std::string_view text, std::size_t tilde, DataItemList& items) {
  if (tilde + 3 >= text.size()) return 0;
  const int high = HexDigitValue(text[tilde + 2]);
  const int low = HexDigitValue(text[tilde + 3]);
  if (high < 0 || low < 0) return 0;
  items.push_back(DataCharItem(static_cast<uint8_t>(high * 16 + low)));
  return 4;
}

// The escapes of two characters: the letter after the tilde, the item it stands for, and
// whether it counts only at the very start of the data.
struct ShortEscape {
  char letter;
  DataItem item;
  bool onlyAtStart;
};

constexpr ShortEscape kShortEscapes[] = {
    {'1', CodewordItem(kFnc1), false},
    {'3', CodewordItem(kReaderProgramming), true},
    {'5', CodewordItem(kMacro05), true},
    {'6', CodewordItem(kMacro06), true},
    {'N', DataCharItem('\n'), false},
    {'R', DataCharItem('\r'), false},
    {kTilde, DataCharItem(kTilde), false},
};

// Resolves the escape introduced by the tilde at position tilde and returns how many characters
// it took; 0 means the tilde does not start a valid escape and stands for itself.
std::size_t AppendEscape(std::string_view text, std::size_t tilde, DataItemList& items) {
  if (tilde + 1 >= text.size()) return 0;
  const char letter = text[tilde + 1];
  if (letter == '7') return AppendEciEscape(text, tilde, items);
  if (letter == 'X' || letter == 'x') return AppendHexEscape(text, tilde, items);
  for (const ShortEscape& escape : kShortEscapes) {
    if (escape.letter != letter) continue;
    if (escape.onlyAtStart && tilde != 0) return 0;
    items.push_back(escape.item);
    return 2;
  }
  return 0;
}

}  // namespace

void PreprocessData(const std::string& data, DataItemList& items) {
  std::string_view text(data);
  text = text.substr(0, text.find('\0'));

  items.clear();
  items.reserve(text.size() + kReserveExtra);
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t consumed = text[position] == kTilde ? AppendEscape(text, position, items) : 0;
    if (consumed > 0) {
      position += consumed;
    } else {
      items.push_back(DataCharItem(static_cast<uint8_t>(text[position])));
      ++position;
    }
  }
}

void AppendEciCodewords(uint32_t number, std::vector<uint8_t>& out) {
  out.push_back(kEci);
  if (number <= 126) {
    out.push_back(static_cast<uint8_t>(number + 1));
  } else if (number <= 16382) {
    const uint32_t offset = number - 127;
    out.push_back(static_cast<uint8_t>(offset / 254 + 128));
    out.push_back(static_cast<uint8_t>(offset % 254 + 1));
  } else if (number <= 999999) {
    const uint32_t offset = number - 16383;
    out.push_back(static_cast<uint8_t>(offset / 64516 + 192));
    out.push_back(static_cast<uint8_t>((offset / 254) % 254 + 1));
    out.push_back(static_cast<uint8_t>(offset % 254 + 1));
  }
}

std::size_t CopyLeadingCodewords(const DataItemList& items, CodewordBuffer& buffer) {
  std::size_t copied = 0;
  while (copied < items.size() && IsCodewordItem(items[copied])) {
    buffer.push_back(ItemValue(items[copied]));
    ++copied;
  }
  return copied;
}

}  // namespace korvex::internal
