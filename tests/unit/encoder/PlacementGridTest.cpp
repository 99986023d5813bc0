#include "encoder/PlacementGrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "encoder/FormatTable.h"

using namespace korvex::internal;

namespace korvex::internal {
// Names the format in test listings and failure output instead of dumping its bytes; static so
// that it cannot clash with other test files.
static void PrintTo(const FormatInfo& format, std::ostream* os) {
  *os << "format " << format.id << " (" << format.symbolRows << " x " << format.symbolCols << ")";
}
}  // namespace korvex::internal

namespace {

struct Position {
  int row;
  int col;
};

// The eight positions of each corner shape, bits 1..8, in a grid of nr x nc.
std::vector<Position> CornerShape(int corner, int nr, int nc) {
  switch (corner) {
    case 1:
      return {{nr - 1, 0}, {nr - 1, 1}, {nr - 1, 2}, {0, nc - 2}, {0, nc - 1}, {1, nc - 1}, {2, nc - 1}, {3, nc - 1}};
    case 2:
      return {{nr - 3, 0}, {nr - 2, 0}, {nr - 1, 0}, {0, nc - 4}, {0, nc - 3}, {0, nc - 2}, {0, nc - 1}, {1, nc - 1}};
    case 3:
      return {{nr - 3, 0}, {nr - 2, 0}, {nr - 1, 0}, {0, nc - 2}, {0, nc - 1}, {1, nc - 1}, {2, nc - 1}, {3, nc - 1}};
    default:
      return {{nr - 1, 0}, {nr - 1, nc - 1}, {0, nc - 3}, {0, nc - 2}, {0, nc - 1}, {1, nc - 3}, {1, nc - 2}, {1, nc - 1}};
  }
}

// The corner shapes whose eight positions all carry one codeword, bits 1..8 in order.
std::set<int> CornersFound(const PlacementGrid& grid) {
  std::set<int> found;
  for (int corner = 1; corner <= 4; ++corner) {
    const std::vector<Position> shape = CornerShape(corner, grid.Rows(), grid.Cols());
    const int32_t first = grid.Cell(shape[0].row, shape[0].col);
    if (first < 11 || first % 10 != 1) continue;
    bool whole = true;
    for (int bit = 1; bit <= 8; ++bit) {
      const Position& p = shape[static_cast<std::size_t>(bit - 1)];
      whole = whole && grid.Cell(p.row, p.col) == (first / 10) * 10 + bit;
    }
    if (whole) found.insert(corner);
  }
  return found;
}

// The ISO formats and the DMRE rectangles.
std::vector<FormatInfo> AllFormats() {
  std::vector<FormatInfo> formats(FormatTable.begin(), FormatTable.begin() + kFormatCount);
  formats.insert(formats.end(), DmreFormatTable.begin(), DmreFormatTable.begin() + kDmreFormatCount);
  return formats;
}

// "n.b" written as the cell value 10 x n + b.
int32_t ParseCell(const std::string& text) {
  const std::size_t dot = text.find('.');
  return std::stoi(text.substr(0, dot)) * 10 + std::stoi(text.substr(dot + 1));
}

TEST(PlacementGridTest, TenByTenSymbolMapping) {
  const std::vector<std::string> rows = {
      "2.1 2.2 3.6 3.7 3.8 4.3 4.4 4.5", "2.3 2.4 2.5 5.1 5.2 4.6 4.7 4.8", "2.6 2.7 2.8 5.3 5.4 5.5 1.1 1.2",
      "1.5 6.1 6.2 5.6 5.7 5.8 1.3 1.4", "1.8 6.3 6.4 6.5 8.1 8.2 1.6 1.7", "7.2 6.6 6.7 6.8 8.3 8.4 8.5 7.1",
      "7.4 7.5 3.1 3.2 8.6 8.7 8.8 7.3", "7.7 7.8 3.3 3.4 3.5 4.1 4.2 7.6",
  };
  const PlacementGrid grid(8, 8);
  ASSERT_EQ(grid.Rows(), 8);
  ASSERT_EQ(grid.Cols(), 8);
  for (int row = 0; row < 8; ++row) {
    std::istringstream cells(rows[static_cast<std::size_t>(row)]);
    std::string cell;
    for (int col = 0; col < 8; ++col) {
      ASSERT_TRUE(cells >> cell);
      EXPECT_EQ(grid.Cell(row, col), ParseCell(cell)) << "cell (" << row << ", " << col << ")";
    }
  }
}

class PlacementGridFormatTest : public ::testing::TestWithParam<FormatInfo> {};

// Each codeword bit is written by exactly one call. If all 8 x N bits show up in distinct cells,
// no write fell outside the grid (it would be missing) and none landed on a cell written before
// (the earlier bit would be missing).
TEST_P(PlacementGridFormatTest, EveryBitOfEveryCodewordPlacedExactlyOnce) {
  const FormatInfo& format = GetParam();
  const PlacementGrid grid(format.mappingRows, format.mappingCols);
  const int total = format.dataCodewords + format.eccCodewords;

  std::vector<int> timesSeen(static_cast<std::size_t>(total + 1) * 10, 0);
  int highest = 0;
  int codewordCells = 0;
  for (int row = 0; row < grid.Rows(); ++row) {
    for (int col = 0; col < grid.Cols(); ++col) {
      const int32_t cell = grid.Cell(row, col);
      if (cell <= 1) continue;
      ++codewordCells;
      const int number = cell / 10;
      const int bit = cell % 10;
      ASSERT_GE(number, 1) << "cell (" << row << ", " << col << ") = " << cell;
      ASSERT_LE(number, total) << "cell (" << row << ", " << col << ")";
      ASSERT_TRUE(bit >= 1 && bit <= 8) << "cell (" << row << ", " << col << ") = " << cell;
      ++timesSeen[static_cast<std::size_t>(cell)];
      highest = std::max(highest, number);
    }
  }
  EXPECT_EQ(highest, total);
  EXPECT_EQ(codewordCells, 8 * total);
  for (int number = 1; number <= total; ++number) {
    for (int bit = 1; bit <= 8; ++bit) {
      EXPECT_EQ(timesSeen[static_cast<std::size_t>(number * 10 + bit)], 1) << "codeword " << number << " bit " << bit;
    }
  }
}

TEST_P(PlacementGridFormatTest, FixedPatternOnlyInTheFourSmallMappingsThatNeedIt) {
  const FormatInfo& format = GetParam();
  const PlacementGrid grid(format.mappingRows, format.mappingCols);
  const int nr = grid.Rows();
  const int nc = grid.Cols();
  const std::set<int> fixedSizes = {10, 14, 18, 22};
  const bool expectFixed = nr == nc && fixedSizes.count(nr) == 1;

  int fixedDark = 0;
  int unassigned = 0;
  for (int row = 0; row < nr; ++row) {
    for (int col = 0; col < nc; ++col) {
      fixedDark += grid.Cell(row, col) == 1;
      unassigned += grid.Cell(row, col) == 0;
    }
  }
  if (expectFixed) {
    EXPECT_EQ(grid.Cell(nr - 2, nc - 2), 1);
    EXPECT_EQ(grid.Cell(nr - 2, nc - 1), 0);
    EXPECT_EQ(grid.Cell(nr - 1, nc - 2), 0);
    EXPECT_EQ(grid.Cell(nr - 1, nc - 1), 1);
    EXPECT_EQ(fixedDark, 2);
    EXPECT_EQ(unassigned, 2);
  } else {
    EXPECT_EQ(fixedDark, 0);
    EXPECT_EQ(unassigned, 0);
  }
}

TEST_P(PlacementGridFormatTest, CornerShapesUsedByMappingSize) {
  const FormatInfo& format = GetParam();
  const std::vector<std::pair<int, std::vector<std::pair<int, int>>>> cornersBySize = {
      {1, {{12, 12}, {20, 20}, {28, 28}, {36, 36}, {44, 44}, {108, 108}, {132, 132}, {20, 44}}},
      {2, {{14, 14}, {22, 22}}},
      {3, {{6, 28}, {14, 44}, {6, 44}, {6, 108}, {6, 132}, {22, 44}}},
      {4, {{6, 16}, {14, 32}, {6, 56}, {6, 72}, {6, 88}, {14, 56}, {22, 56}}},
  };
  std::set<int> expected;
  for (const auto& [corner, sizes] : cornersBySize) {
    for (const auto& [rows, cols] : sizes) {
      if (rows == format.mappingRows && cols == format.mappingCols) expected.insert(corner);
    }
  }
  const PlacementGrid grid(format.mappingRows, format.mappingCols);
  EXPECT_EQ(CornersFound(grid), expected);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, PlacementGridFormatTest, ::testing::ValuesIn(AllFormats()),
                         [](const auto& info) {
                           return "Format" + std::to_string(info.param.id) + "_" + std::to_string(info.param.mappingRows) +
                                  "x" + std::to_string(info.param.mappingCols);
                         });

// Sizes outside the table must still stay inside the cells (the sanitizer build checks it).
TEST(PlacementGridTest, UnusualSizesKeepEveryCellValid) {
  const std::vector<std::pair<uint16_t, uint16_t>> sizes = {{0, 0}, {1, 1}, {2, 2}, {3, 5}, {4, 4}, {7, 9}, {2, 30}, {30, 2}};
  for (const auto& [rows, cols] : sizes) {
    SCOPED_TRACE(std::to_string(rows) + " x " + std::to_string(cols));
    const PlacementGrid grid(rows, cols);
    EXPECT_EQ(grid.Rows(), rows);
    EXPECT_EQ(grid.Cols(), cols);
    for (int row = 0; row < rows; ++row) {
      for (int col = 0; col < cols; ++col) {
        const int32_t cell = grid.Cell(row, col);
        EXPECT_TRUE(cell == 0 || cell == 1 || (cell >= 11 && cell % 10 >= 1 && cell % 10 <= 8)) << cell;
      }
    }
  }
}

}  // namespace
