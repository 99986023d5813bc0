#pragma once

#include <cstdint>
#include <vector>

#include "encoder/DataItem.h"
#include "encoder/FormatTable.h"

namespace korvex::internal {

// The finished symbol, one byte per module (1 dark, 0 light), row 0 at the top, unrotated: a
// layout turns it as it reads it.
class SymbolMatrix {
 public:
  bool Build(const FormatInfo& format, const CodewordBuffer& codewords);
  void Release();

  uint8_t Module(int row, int col) const { return modules_[static_cast<std::size_t>(row) * cols_ + col]; }

  uint16_t Rows() const { return rows_; }
  uint16_t Cols() const { return cols_; }
  bool Empty() const { return modules_.empty(); }

 private:
  void DrawRegionBorder(int top, int left, int regionRows, int regionCols);
  void SetDark(int row, int col) { modules_[static_cast<std::size_t>(row) * cols_ + col] = 1; }

  std::vector<uint8_t> modules_;
  uint16_t rows_ = 0;
  uint16_t cols_ = 0;
};

// 1 if bit b (1 = 0x80 ... 8 = 0x01) of the codeword is set.
inline int CodewordBit(uint8_t codeword, int b) { return (codeword >> (8 - b)) & 1; }

}  // namespace korvex::internal
