#pragma once

// Builders for the item lists and codeword vectors that the encoder tests compare.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

namespace korvex::internal {

namespace test_items {

using Bytes = std::vector<uint8_t>;

constexpr DataItem kFnc1 = CodewordItem(232);
constexpr std::size_t kUnknown = CodewordWriter::kUnknownCapacity;

// Each byte of the text as a data character.
inline DataItemList Items(const std::string& text) {
  DataItemList items;
  for (unsigned char c : text) items.push_back(DataCharItem(c));
  return items;
}

inline DataItemList Concat(std::initializer_list<DataItemList> parts) {
  DataItemList items;
  for (const DataItemList& part : parts) items.insert(items.end(), part.begin(), part.end());
  return items;
}

inline DataItemList Repeat(uint8_t byte, std::size_t count) { return DataItemList(count, DataCharItem(byte)); }

}  // namespace test_items

}  // namespace korvex::internal
