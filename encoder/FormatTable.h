#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "result/ResultCode.h"

namespace korvex::internal {

// One ECC200 symbol format.
struct FormatInfo {
  int32_t id = -1;
  uint16_t symbolRows = 0;
  uint16_t symbolCols = 0;
  uint16_t mappingRows = 0;
  uint16_t mappingCols = 0;
  uint16_t dataCodewords = 0;
  uint16_t eccCodewords = 0;
  uint16_t regionRows = 0;
  uint16_t regionCols = 0;
  int32_t blockCount = 0;
};

constexpr std::size_t kFormatCount = 30;

// The 24 square formats in ascending size, then the 6 rectangles, then a terminator (id -1).
extern const std::array<FormatInfo, kFormatCount + 1> FormatTable;

constexpr std::size_t kDmreFormatCount = 18;
constexpr int32_t kFirstDmreFormatId = 31;
constexpr int32_t kLastDmreFormatId = 48;

// The rectangular extension sizes (DMRE), ids 31..48, each one Reed-Solomon block, then a
// terminator. They exist only for a barcode that asks for them.
extern const std::array<FormatInfo, kDmreFormatCount + 1> DmreFormatTable;

// Which formats the automatic choice walks, and in which order.
enum class SymbolShape : int32_t {
  Square = 0,     // the table order, so the smallest square that holds the data
  Rectangle = 1,  // rectangles only, by data capacity (then area, then id)
  Any = 2,        // squares and rectangles, by area (then id)
};

// How a symbol's format is chosen: a fixed id, or (id 0) the first candidate of the shape that
// holds the data; dmre adds the DMRE formats to both.
struct FormatChoice {
  int32_t preferredFormat = 0;
  SymbolShape shape = SymbolShape::Square;
  bool dmre = false;
};

// The row with the given id, or nullptr; DMRE rows only withDmre.
const FormatInfo* FindFormat(int32_t id, bool withDmre = false);

// The formats the automatic choice tries, in order. Square keeps the table order whatever withDmre
// says; any other value of shape has no candidates.
const std::vector<const FormatInfo*>& FormatCandidates(SymbolShape shape, bool withDmre);

// Chooses the format for count data codewords: the preferred one (0: the first candidate that
// holds them) copied into format. Returns 0, 7 (no such preferred format), 8 (none holds them)
// or 10 (the preferred format is too small; format then holds its row).
ResultCode SelectFormat(const FormatChoice& choice, std::size_t count, FormatInfo& format);

}  // namespace korvex::internal
