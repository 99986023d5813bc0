#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvex::internal {

// One pre-processed unit of the data: the low byte is a data byte or a finished codeword,
// the high byte flags which (non-zero: a codeword that schemes write as it is).
using DataItem = uint16_t;
using DataItemList = std::vector<DataItem>;

// The codewords of the symbol being built, one byte each, in symbol order.
using CodewordBuffer = std::vector<uint8_t>;

constexpr DataItem kCodewordFlag = 0x0100;

constexpr DataItem DataCharItem(uint8_t byte) { return byte; }
constexpr DataItem CodewordItem(uint8_t codeword) { return static_cast<DataItem>(kCodewordFlag | codeword); }
constexpr bool IsCodewordItem(DataItem item) { return (item & 0xFF00) != 0; }
constexpr uint8_t ItemValue(DataItem item) { return static_cast<uint8_t>(item & 0xFF); }

// A read-only run of consecutive items of a DataItemList.
struct DataRange {
  const DataItem* first = nullptr;
  std::size_t count = 0;

  DataRange() = default;
  DataRange(const DataItem* begin, std::size_t size) : first(begin), count(size) {}
  explicit DataRange(const DataItemList& items) : first(items.data()), count(items.size()) {}

  const DataItem* begin() const { return first; }
  const DataItem* end() const { return first + count; }
  std::size_t size() const { return count; }
  bool empty() const { return count == 0; }
  DataItem operator[](std::size_t i) const { return first[i]; }
  DataRange Sub(std::size_t offset, std::size_t length) const { return {first + offset, length}; }
};

// Walks a range that may hold codeword items between its data characters: each maximal run of
// data characters goes to encodeRun(run, runReachesEnd), where runReachesEnd is true only when
// nothing follows the run inside the range and rangeReachesEnd is set; each codeword item goes
// to writeCodeword(value). Returns false as soon as encodeRun does.
template <typename EncodeRun, typename WriteCodeword>
bool ForEachDataRun(DataRange range, bool rangeReachesEnd, EncodeRun encodeRun, WriteCodeword writeCodeword) {
  std::size_t i = 0;
  while (i < range.size()) {
    if (IsCodewordItem(range[i])) {
      writeCodeword(ItemValue(range[i]));
      ++i;
      continue;
    }
    std::size_t runEnd = i;
    while (runEnd < range.size() && !IsCodewordItem(range[runEnd])) ++runEnd;
    const bool reachesEnd = rangeReachesEnd && runEnd == range.size();
    if (!encodeRun(range.Sub(i, runEnd - i), reachesEnd)) return false;
    i = runEnd;
  }
  return true;
}

}  // namespace korvex::internal
