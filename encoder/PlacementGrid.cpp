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

void PlacementGrid::PlaceCorner1(int codeword) {
  const int nr = rows_;
  const int nc = cols_;
  PlaceModule(nr - 1, 0, codeword, 1);
  PlaceModule(nr - 1, 1, codeword, 2);
  PlaceModule(nr - 1, 2, codeword, 3);
  PlaceModule(0, nc - 2, codeword, 4);
  PlaceModule(0, nc - 1, codeword, 5);
  PlaceModule(1, nc - 1, codeword, 6);
  PlaceModule(2, nc - 1, codeword, 7);
  PlaceModule(3, nc - 1, codeword, 8);
}

void PlacementGrid::PlaceCorner2(int codeword) {
  const int nr = rows_;
  const int nc = cols_;
  PlaceModule(nr - 3, 0, codeword, 1);
  PlaceModule(nr - 2, 0, codeword, 2);
  PlaceModule(nr - 1, 0, codeword, 3);
  PlaceModule(0, nc - 4, codeword, 4);
  PlaceModule(0, nc - 3, codeword, 5);
  PlaceModule(0, nc - 2, codeword, 6);
  PlaceModule(0, nc - 1, codeword, 7);
  PlaceModule(1, nc - 1, codeword, 8);
}

void PlacementGrid::PlaceCorner3(int codeword) {
  const int nr = rows_;
  const int nc = cols_;
  PlaceModule(nr - 3, 0, codeword, 1);
  PlaceModule(nr - 2, 0, codeword, 2);
  PlaceModule(nr - 1, 0, codeword, 3);
  PlaceModule(0, nc - 2, codeword, 4);
  PlaceModule(0, nc - 1, codeword, 5);
  PlaceModule(1, nc - 1, codeword, 6);
  PlaceModule(2, nc - 1, codeword, 7);
  PlaceModule(3, nc - 1, codeword, 8);
}

void PlacementGrid::PlaceCorner4(int codeword) {
  const int nr = rows_;
  const int nc = cols_;
  PlaceModule(nr - 1, 0, codeword, 1);
  PlaceModule(nr - 1, nc - 1, codeword, 2);
  PlaceModule(0, nc - 3, codeword, 3);
  PlaceModule(0, nc - 2, codeword, 4);
  PlaceModule(0, nc - 1, codeword, 5);
  PlaceModule(1, nc - 3, codeword, 6);
  PlaceModule(1, nc - 2, codeword, 7);
  PlaceModule(1, nc - 1, codeword, 8);
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
      PlaceCorner1(codeword++);
    } else if (row == nr - 2 && col == 0 && nc % 4 != 0) {
      PlaceCorner2(codeword++);
    } else if (row == nr - 2 && col == 0 && nc % 8 == 4) {
      PlaceCorner3(codeword++);
    } else if (row == nr + 4 && col == 2 && nc % 8 == 0) {
      PlaceCorner4(codeword++);
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
