#include "encoder/AsciiEncoder.h"

#include <cstdint>

namespace korvex::internal {

namespace {

constexpr uint8_t kUpperShift = 235;
constexpr uint8_t kDigitPairBase = 130;

bool IsDigitChar(DataItem item) {
  if (IsCodewordItem(item)) return false;
  const uint8_t byte = ItemValue(item);
  return byte >= '0' && byte <= '9';
}

// Hands every codeword of the ASCII encodation of the range to emit, in order; shared by the
// encoder and the length count so the two can never disagree.
template <typename Emit>
void ForEachAsciiCodeword(DataRange range, Emit emit) {
  for (std::size_t i = 0; i < range.size(); ++i) {
    const DataItem item = range[i];
    const uint8_t value = ItemValue(item);
    if (IsCodewordItem(item)) {
      emit(value);
    } else if (IsDigitChar(item) && i + 1 < range.size() && IsDigitChar(range[i + 1])) {
      const int pair = 10 * (value - '0') + (ItemValue(range[i + 1]) - '0');
      emit(static_cast<uint8_t>(kDigitPairBase + pair));
      ++i;
    } else if (value < 128) {
      emit(static_cast<uint8_t>(value + 1));
    } else {
      emit(kUpperShift);
      emit(static_cast<uint8_t>(value - 127));
    }
  }
}

}  // namespace

bool EncodeAscii(DataRange range, CodewordWriter& out) {
  ForEachAsciiCodeword(range, [&out](uint8_t codeword) { out.Append(codeword); });
  return true;
}

std::size_t AsciiLength(DataRange range) {
  std::size_t length = 0;
  ForEachAsciiCodeword(range, [&length](uint8_t) { ++length; });
  return length;
}

}  // namespace korvex::internal
