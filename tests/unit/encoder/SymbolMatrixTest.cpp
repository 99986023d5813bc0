#include "encoder/SymbolMatrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "encoder/PlacementGrid.h"
#include "support/VariedMatrix.h"

using namespace korvex::internal;

namespace korvex::internal {
// Names the format in test listings and failure output instead of dumping its bytes; static so
// that it cannot clash with other test files.
static void PrintTo(const FormatInfo& format, std::ostream* os) {
  *os << "format " << format.id << " (" << format.symbolRows << " x " << format.symbolCols << ")";
}
}  // namespace korvex::internal

namespace {

// The ISO formats and the DMRE rectangles.
std::vector<FormatInfo> AllFormats() {
  std::vector<FormatInfo> formats(FormatTable.begin(), FormatTable.begin() + kFormatCount);
  formats.insert(formats.end(), DmreFormatTable.begin(), DmreFormatTable.begin() + kDmreFormatCount);
  return formats;
}

const FormatInfo& Format(int32_t id) {
  const FormatInfo* format = FindFormat(id);
  EXPECT_NE(format, nullptr);
  return *format;
}

std::size_t CodewordCount(const FormatInfo& format) {
  return static_cast<std::size_t>(format.dataCodewords) + format.eccCodewords;
}

CodewordBuffer Filled(const FormatInfo& format, uint8_t value) { return CodewordBuffer(CodewordCount(format), value); }

// The stored matrix, top row first, X dark and '.' light.
std::vector<std::string> Picture(const SymbolMatrix& matrix) {
  std::vector<std::string> rows;
  for (int row = 0; row < matrix.Rows(); ++row) {
    std::string line;
    for (int col = 0; col < matrix.Cols(); ++col) line += matrix.Module(row, col) ? 'X' : '.';
    rows.push_back(line);
  }
  return rows;
}

TEST(SymbolMatrixTest, StartsEmpty) {
  const SymbolMatrix matrix;
  EXPECT_TRUE(matrix.Empty());
  EXPECT_EQ(matrix.Rows(), 0);
  EXPECT_EQ(matrix.Cols(), 0);
}

TEST(SymbolMatrixTest, CompleteTenByTenSymbol) {
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(Format(1), {142, 164, 186, 114, 25, 5, 88, 102}));
  const std::vector<std::string> expected = {
      "X.X.X.X.X.", "XX..X.XX.X", "XX.....X..", "XX...XXX.X", "XX....X...",
      "X.....XXXX", "XXX.XX....", "XXXX.XX..X", "X..XXX.X..", "XXXXXXXXXX",
  };
  EXPECT_EQ(Picture(matrix), expected);
}

struct BorderCase {
  int32_t formatId;
  std::vector<int> solidRows;
  std::vector<int> solidCols;
  std::vector<int> alternatingRows;  // dark at even columns
  std::vector<int> alternatingCols;  // dark at odd rows
};

void PrintTo(const BorderCase& c, std::ostream* os) { *os << "format " << c.formatId; }

class SymbolMatrixBorderTest : public ::testing::TestWithParam<std::tuple<BorderCase, int>> {};

TEST_P(SymbolMatrixBorderTest, FinderAndClockPatterns) {
  const auto& [c, fill] = GetParam();
  const FormatInfo& format = Format(c.formatId);
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(format, Filled(format, static_cast<uint8_t>(fill))));
  ASSERT_EQ(matrix.Rows(), format.symbolRows);
  ASSERT_EQ(matrix.Cols(), format.symbolCols);

  const auto contains = [](const std::vector<int>& lines, int line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  for (int row = 0; row < matrix.Rows(); ++row) {
    for (int col = 0; col < matrix.Cols(); ++col) {
      SCOPED_TRACE("module (" + std::to_string(row) + ", " + std::to_string(col) + ")");
      if (contains(c.solidRows, row) || contains(c.solidCols, col)) {
        EXPECT_EQ(matrix.Module(row, col), 1);
      } else if (contains(c.alternatingRows, row)) {
        EXPECT_EQ(matrix.Module(row, col), col % 2 == 0 ? 1 : 0);
      } else if (contains(c.alternatingCols, col)) {
        EXPECT_EQ(matrix.Module(row, col), row % 2 == 1 ? 1 : 0);
      } else {
        // Every other module carries a codeword bit: all set or all clear with these fills.
        EXPECT_EQ(matrix.Module(row, col), fill == 0xFF ? 1 : 0);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Symbols, SymbolMatrixBorderTest,
    ::testing::Combine(::testing::Values(BorderCase{26, {7}, {0, 16}, {0}, {15, 31}},
                                         BorderCase{10, {15, 31}, {0, 16}, {0, 16}, {15, 31}}),
                       ::testing::Values(0x00, 0xFF)),
    [](const auto& info) {
      return "Format" + std::to_string(std::get<0>(info.param).formatId) + (std::get<1>(info.param) ? "_Dark" : "_Light");
    });

class SymbolMatrixFormatTest : public ::testing::TestWithParam<FormatInfo> {};

TEST_P(SymbolMatrixFormatTest, TopRightLightBottomLeftDark) {
  const FormatInfo& format = GetParam();
  for (uint8_t fill : {0x00, 0xFF}) {
    SymbolMatrix matrix;
    ASSERT_TRUE(matrix.Build(format, Filled(format, fill)));
    EXPECT_EQ(matrix.Module(0, matrix.Cols() - 1), 0) << "fill " << int{fill};
    EXPECT_EQ(matrix.Module(matrix.Rows() - 1, 0), 1) << "fill " << int{fill};
  }
}

// Each region block: solid left column and bottom row, alternating top row and right column.
TEST_P(SymbolMatrixFormatTest, EveryRegionHasItsBorder) {
  const FormatInfo& format = GetParam();
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(format, VariedCodewords(format)));
  ASSERT_EQ(matrix.Rows(), format.symbolRows);
  ASSERT_EQ(matrix.Cols(), format.symbolCols);
  const int blockRows = format.regionRows + 2;
  const int blockCols = format.regionCols + 2;
  for (int top = 0; top < matrix.Rows(); top += blockRows) {
    for (int left = 0; left < matrix.Cols(); left += blockCols) {
      SCOPED_TRACE("block at (" + std::to_string(top) + ", " + std::to_string(left) + ")");
      for (int k = 0; k < blockRows; ++k) {
        EXPECT_EQ(matrix.Module(top + k, left), 1);
        EXPECT_EQ(matrix.Module(top + k, left + blockCols - 1), k % 2 == 1 ? 1 : 0) << "right edge " << k;
      }
      for (int k = 0; k < blockCols; ++k) {
        EXPECT_EQ(matrix.Module(top + blockRows - 1, left + k), 1);
        EXPECT_EQ(matrix.Module(top, left + k), k % 2 == 0 ? 1 : 0) << "top edge " << k;
      }
    }
  }
}

// Each mapping module lands inside its region, past the borders, and reads its codeword bit.
TEST_P(SymbolMatrixFormatTest, DataModulesFollowThePlacement) {
  const FormatInfo& format = GetParam();
  const CodewordBuffer codewords = VariedCodewords(format);
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(format, codewords));
  const PlacementGrid grid(format.mappingRows, format.mappingCols);
  int mismatches = 0;
  for (int i = 0; i < grid.Rows(); ++i) {
    for (int j = 0; j < grid.Cols(); ++j) {
      const int32_t cell = grid.Cell(i, j);
      const int expected = cell <= 1 ? cell : CodewordBit(codewords[static_cast<std::size_t>(cell / 10 - 1)], cell % 10);
      const int row = i / format.regionRows * (format.regionRows + 2) + i % format.regionRows + 1;
      const int col = j / format.regionCols * (format.regionCols + 2) + j % format.regionCols + 1;
      mismatches += matrix.Module(row, col) != expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, SymbolMatrixFormatTest, ::testing::ValuesIn(AllFormats()),
                         [](const auto& info) { return "Format" + std::to_string(info.param.id); });

TEST(CodewordBitTest, MostSignificantBitFirst) {
  const uint8_t codeword = 0xA5;  // 1010 0101
  const int expected[] = {1, 0, 1, 0, 0, 1, 0, 1};
  for (int b = 1; b <= 8; ++b) EXPECT_EQ(CodewordBit(codeword, b), expected[b - 1]) << "bit " << b;
}

TEST(SymbolMatrixTest, BuildReplacesThePreviousSymbol) {
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(Format(30), VariedCodewords(Format(30))));
  EXPECT_EQ(matrix.Rows(), 16);
  EXPECT_EQ(matrix.Cols(), 48);
  ASSERT_TRUE(matrix.Build(Format(1), {142, 164, 186, 114, 25, 5, 88, 102}));
  EXPECT_EQ(matrix.Rows(), 10);
  EXPECT_EQ(matrix.Cols(), 10);
  EXPECT_EQ(Picture(matrix)[1], "XX..X.XX.X");
}

TEST(SymbolMatrixTest, ReleaseLeavesItEmpty) {
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(Format(2), VariedCodewords(Format(2))));
  EXPECT_FALSE(matrix.Empty());
  matrix.Release();
  EXPECT_TRUE(matrix.Empty());
  EXPECT_EQ(matrix.Rows(), 0);
  EXPECT_EQ(matrix.Cols(), 0);
}

TEST(SymbolMatrixTest, RefusesTooFewCodewords) {
  const FormatInfo& format = Format(5);
  CodewordBuffer codewords = VariedCodewords(format);
  codewords.pop_back();
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(Format(1), {142, 164, 186, 114, 25, 5, 88, 102}));
  EXPECT_FALSE(matrix.Build(format, codewords));
  EXPECT_TRUE(matrix.Empty());
}

TEST(SymbolMatrixTest, RefusesTheTerminatorRow) {
  SymbolMatrix matrix;
  EXPECT_FALSE(matrix.Build(FormatTable[kFormatCount], {}));
  EXPECT_TRUE(matrix.Empty());
}

}  // namespace
