#include "encoder/PlacementGrid.h"

namespace korvex::internal {

namespace {

constexpr int32_t kFixedDark = 1;

// Shift applied along the other axis when a position wraps around an edge of size s.
int WrapCorrection(int size) { return 4 - ((size + 4) % 8); }

struct Offset {
  int row;
  int col;
};

// Bits 1..8 of the standard codeword shape, relative to its lower right module.
constexpr Offset kUtahShape[8] = {{-2, -2}, {-2, -1}, {-1, -2}, {-1, -1}, {-1, 0}, {0, -2}, {0, -1}, {0, 0}};

// Bits 1..8 of the four corner shapes. A position counts from the top or left edge, or, where
// it is negative, from the bottom or right one (-1 is the last row or column).
constexpr Offset kCornerShapes[4][8] = {
    {{-1, 0}, {-1, 1}, {-1, 2}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}},
    {{-3, 0}, {-2, 0}, {-1, 0}, {0, -4}, {0, -3}, {0, -2}, {0, -1}, {1, -1}},
    {{-3, 0}, {-2, 0}, {-1, 0}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}},
    {{-1, 0}, {-1, -1}, {0, -3}, {0, -2}, {0, -1}, {1, -3}, {1, -2}, {1, -1}},
};

}  // namespace

PlacementGrid::PlacementGrid(uint16_t rows, uint16_t cols)
    : rows_(rows), cols_(cols), cells_(static_cast<std::size_t>(rows) * cols, 0) {
  Fill();
}

void PlacementGrid::PlaceModule(int row, int col, int codeword, int bit) {
  if (row < 0) {
    row += rows_;
    col += WrapCorrection(rows_);
  }
  if (col < 0) {
    col += cols_;
    row += WrapCorrection(cols_);
  }
  // The mapping is closed top to bottom as well: the left-edge fold of a 24-row mapping whose
  // width leaves 4 over 8 (the DMRE 26 x 40 and 26 x 48) lands below the last row and continues
  // at the top. No ISO size ever gets here.
  if (row >= rows_) row -= rows_;
  // Table formats always fold inside; other sizes must not write past the cells.
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_) return;
  cells_[static_cast<std::size_t>(row) * cols_ + col] = 10 * codeword + bit;
}

void PlacementGrid::PlaceUtah(int row, int col, int codeword) {
  for (int bit = 1; bit <= 8; ++bit) {
    const Offset& offset = kUtahShape[bit - 1];
    PlaceModule(row + offset.row, col + offset.col, codeword, bit);
  }
}

void PlacementGrid::PlaceCorner(int corner, int codeword) {
  for (int bit = 1; bit <= 8; ++bit) {
    const Offset& offset = kCornerShapes[corner - 1][bit - 1];
    PlaceModule(offset.row < 0 ? rows_ + offset.row : offset.row, offset.col < 0 ? cols_ + offset.col : offset.col,
                codeword, bit);
  }
}

void PlacementGrid::Fill() {
  const int nr = rows_;
  const int nc = cols_;
  if (nr == 0 || nc == 0) return;
  // Positions outside the grid count as taken, so the sweeps never read past the cells.
  const auto isFree = [&](int row, int col) {
    return row >= 0 && row < nr && col >= 0 && col < nc && Cell(row, col) == 0;
  };

  int codeword = 1;
  int row = 4;
  int col = 0;
  do {
    if (row == nr && col == 0) {
      PlaceCorner(1, codeword++);
    } else if (row == nr - 2 && col == 0 && nc % 4 != 0) {
      PlaceCorner(2, codeword++);
    } else if (row == nr - 2 && col == 0 && nc % 8 == 4) {
      PlaceCorner(3, codeword++);
    } else if (row == nr + 4 && col == 2 && nc % 8 == 0) {
      PlaceCorner(4, codeword++);
    }

    do {
      if (row < nr && col >= 0 && isFree(row, col)) PlaceUtah(row, col, codeword++);
      row -= 2;
      col += 2;
    } while (row >= 0 && col < nc);
    row += 1;
    col += 3;

    do {
      if (row >= 0 && col < nc && isFree(row, col)) PlaceUtah(row, col, codeword++);
      row += 2;
      col -= 2;
    } while (row < nr && col >= 0);
    row += 3;
    col += 1;
  } while (row < nr || col < nc);

  // Some mapping sizes leave the lower right 2 x 2 block uncovered by the sweeps; it then gets
  // a fixed checkerboard so the corner is never a blank patch.
  if (Cell(nr - 1, nc - 1) == 0) {
    cells_[static_cast<std::size_t>(nr - 1) * nc + (nc - 1)] = kFixedDark;
    if (nr >= 2 && nc >= 2) cells_[static_cast<std::size_t>(nr - 2) * nc + (nc - 2)] = kFixedDark;
  }
}

}  // namespace korvex::internal
