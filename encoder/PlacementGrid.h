#pragma once

#include <cstdint>
#include <vector>

namespace korvex::internal {

// Which bit of which codeword each module of the mapping matrix carries: 0 unassigned (light),
// 1 a dark module of the fixed corner pattern, 10 x n + b bit b (1 = MSB) of codeword n.
class PlacementGrid {
 public:
  PlacementGrid(uint16_t rows, uint16_t cols);

  uint16_t Rows() const { return rows_; }
  uint16_t Cols() const { return cols_; }
  int32_t Cell(int row, int col) const { return cells_[static_cast<std::size_t>(row) * cols_ + col]; }

 private:
  void Fill();
  void PlaceModule(int row, int col, int codeword, int bit);
  void PlaceUtah(int row, int col, int codeword);
  void PlaceCorner(int corner, int codeword);

  uint16_t rows_;
  uint16_t cols_;
  std::vector<int32_t> cells_;
};

}  // namespace korvex::internal
