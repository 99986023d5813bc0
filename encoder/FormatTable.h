#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "cgi/ResultCode.h"

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

// The row with the given id, or nullptr.
const FormatInfo* FindFormat(int32_t id);

// Chooses the format for count data codewords: the preferred one (0: the first row that holds
// them) copied into format. Returns 0, 7 (no such preferred format), 8 (none holds them) or
// 10 (the preferred format is too small; format then holds its row).
ResultCode SelectFormat(int32_t preferredFormat, std::size_t count, FormatInfo& format);
