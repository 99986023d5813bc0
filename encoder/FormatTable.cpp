#include "encoder/FormatTable.h"

namespace {
constexpr FormatInfo Row(int32_t id, uint16_t rows, uint16_t cols, uint16_t mapRows, uint16_t mapCols, uint16_t data,
                         uint16_t ecc, uint16_t regionRows, uint16_t regionCols, int32_t blocks) {
  return FormatInfo{id, rows, cols, mapRows, mapCols, data, ecc, regionRows, regionCols, blocks};
}
}  // namespace

// Squares first in ascending size, so the first row that holds the data is the smallest
// square; rectangles are reached only when named.
const std::array<FormatInfo, kFormatCount + 1> FormatTable = {{
    Row(1, 10, 10, 8, 8, 3, 5, 8, 8, 1),
    Row(2, 12, 12, 10, 10, 5, 7, 10, 10, 1),
    Row(3, 14, 14, 12, 12, 8, 10, 12, 12, 1),
    Row(4, 16, 16, 14, 14, 12, 12, 14, 14, 1),
    Row(5, 18, 18, 16, 16, 18, 14, 16, 16, 1),
    Row(6, 20, 20, 18, 18, 22, 18, 18, 18, 1),
    Row(7, 22, 22, 20, 20, 30, 20, 20, 20, 1),
    Row(8, 24, 24, 22, 22, 36, 24, 22, 22, 1),
    Row(9, 26, 26, 24, 24, 44, 28, 24, 24, 1),
    Row(10, 32, 32, 28, 28, 62, 36, 14, 14, 1),
    Row(11, 36, 36, 32, 32, 86, 42, 16, 16, 1),
    Row(12, 40, 40, 36, 36, 114, 48, 18, 18, 1),
    Row(13, 44, 44, 40, 40, 144, 56, 20, 20, 1),
    Row(14, 48, 48, 44, 44, 174, 68, 22, 22, 1),
    Row(15, 52, 52, 48, 48, 204, 84, 24, 24, 2),
    Row(16, 64, 64, 56, 56, 280, 112, 14, 14, 2),
    Row(17, 72, 72, 64, 64, 368, 144, 16, 16, 4),
    Row(18, 80, 80, 72, 72, 456, 192, 18, 18, 4),
    Row(19, 88, 88, 80, 80, 576, 224, 20, 20, 4),
    Row(20, 96, 96, 88, 88, 696, 272, 22, 22, 4),
    Row(21, 104, 104, 96, 96, 816, 336, 24, 24, 6),
    Row(22, 120, 120, 108, 108, 1050, 408, 18, 18, 6),
    Row(23, 132, 132, 120, 120, 1304, 496, 20, 20, 8),
    Row(24, 144, 144, 132, 132, 1558, 620, 22, 22, 10),
    Row(25, 8, 18, 6, 16, 5, 7, 6, 16, 1),
    Row(26, 8, 32, 6, 28, 10, 11, 6, 14, 1),
    Row(27, 12, 26, 10, 24, 16, 14, 10, 24, 1),
    Row(28, 12, 36, 10, 32, 22, 18, 10, 16, 1),
    Row(29, 16, 36, 14, 32, 32, 24, 14, 16, 1),
    Row(30, 16, 48, 14, 44, 49, 28, 14, 22, 1),
    Row(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0),
}};

const FormatInfo* FindFormat(int32_t id) {
  for (const FormatInfo& row : FormatTable) {
    if (row.id == -1) break;
    if (row.id == id) return &row;
  }
  return nullptr;
}

ResultCode SelectFormat(int32_t preferredFormat, std::size_t count, FormatInfo& format) {
  if (preferredFormat != 0) {
    const FormatInfo* row = FindFormat(preferredFormat);
    if (row == nullptr) return Result::InvalidPreferredFormat;
    format = *row;
    return count > row->dataCodewords ? Result::DataDoesNotFit : Result::Ok;
  }
  for (const FormatInfo& row : FormatTable) {
    if (row.id == -1) break;
    if (row.dataCodewords >= count) {
      format = row;
      return Result::Ok;
    }
  }
  return Result::NoFittingFormat;
}
