// TurnedModule: the module matrix read as a layout turns it.
#include "render/SymbolLayout.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "encoder/FormatTable.h"
#include "encoder/SymbolMatrix.h"
#include "support/CaseName.h"
#include "support/VariedMatrix.h"

using namespace korvex::internal;

namespace {

const FormatInfo& Format(int32_t id) {
  const FormatInfo* format = FindFormat(id);
  EXPECT_NE(format, nullptr);
  return *format;
}

CodewordBuffer Filled(const FormatInfo& format, uint8_t value) {
  return CodewordBuffer(static_cast<std::size_t>(format.dataCodewords) + format.eccCodewords, value);
}

// An empty matrix has nothing to turn: every position reads light.
TEST(TurnedModuleTest, EmptyMatrixReadsLight) {
  const SymbolMatrix matrix;
  EXPECT_EQ(TurnedModule(matrix, 0, 0, 0), 0);
  EXPECT_EQ(TurnedModule(matrix, 90, 0, 0), 0);
}

struct RotationCase {
  int32_t orientation;
  bool swapsSides;
  // Output row/col -> stored row/col, written out per angle.
  int (*storedRow)(int i, int j, int rows, int cols);
  int (*storedCol)(int i, int j, int rows, int cols);
};

void PrintTo(const RotationCase& c, std::ostream* os) { *os << c.orientation << " degrees"; }

class TurnedModuleTest : public ::testing::TestWithParam<RotationCase> {};

// A rectangle (8 x 18) shows whether rows and columns are exchanged.
TEST_P(TurnedModuleTest, ReadsTheTurnedSymbol) {
  const RotationCase& c = GetParam();
  const FormatInfo& format = Format(25);
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(format, VariedCodewords(format)));
  const int rows = matrix.Rows();
  const int cols = matrix.Cols();
  const int outRows = c.swapsSides ? cols : rows;
  const int outCols = c.swapsSides ? rows : cols;
  for (int i = 0; i < outRows; ++i) {
    for (int j = 0; j < outCols; ++j) {
      ASSERT_EQ(TurnedModule(matrix, c.orientation, static_cast<uint16_t>(i), static_cast<uint16_t>(j)),
                matrix.Module(c.storedRow(i, j, rows, cols), c.storedCol(i, j, rows, cols)))
          << "output (" << i << ", " << j << ")";
    }
  }
  // Past the turned symbol everything reads light.
  EXPECT_EQ(TurnedModule(matrix, c.orientation, static_cast<uint16_t>(outRows), 0), 0);
  EXPECT_EQ(TurnedModule(matrix, c.orientation, 0, static_cast<uint16_t>(outCols)), 0);
  EXPECT_EQ(TurnedModule(matrix, c.orientation, 65535, 65535), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Angles, TurnedModuleTest,
    ::testing::Values(
        RotationCase{0, false, [](int i, int, int, int) { return i; }, [](int, int j, int, int) { return j; }},
        RotationCase{90, true, [](int, int j, int, int) { return j; },
                     [](int i, int, int, int cols) { return cols - 1 - i; }},
        RotationCase{180, false, [](int i, int, int rows, int) { return rows - 1 - i; },
                     [](int, int j, int, int cols) { return cols - 1 - j; }},
        RotationCase{270, true, [](int, int j, int rows, int) { return rows - 1 - j; },
                     [](int i, int, int, int) { return i; }}),
    [](const auto& info) { return "Deg" + std::to_string(info.param.orientation); });

// Where the two solid finder edges end up in the output for each angle.
struct SolidEdgeCase {
  int32_t orientation;
  bool topRow;
  bool bottomRow;
  bool leftCol;
  bool rightCol;
};

void PrintTo(const SolidEdgeCase& c, std::ostream* os) { *os << c.orientation << " degrees"; }

class TurnedModuleSolidEdgeTest : public ::testing::TestWithParam<SolidEdgeCase> {};

TEST_P(TurnedModuleSolidEdgeTest, FinderEdgesFollowTheTurn) {
  const SolidEdgeCase& c = GetParam();
  const FormatInfo& format = Format(26);
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(format, VariedCodewords(format)));
  const bool turned = c.orientation == 90 || c.orientation == 270;
  const int outRows = turned ? matrix.Cols() : matrix.Rows();
  const int outCols = turned ? matrix.Rows() : matrix.Cols();
  const auto rowSolid = [&](int i) {
    for (int j = 0; j < outCols; ++j)
      if (!TurnedModule(matrix, c.orientation, static_cast<uint16_t>(i), static_cast<uint16_t>(j))) return false;
    return true;
  };
  const auto colSolid = [&](int j) {
    for (int i = 0; i < outRows; ++i)
      if (!TurnedModule(matrix, c.orientation, static_cast<uint16_t>(i), static_cast<uint16_t>(j))) return false;
    return true;
  };
  EXPECT_EQ(rowSolid(0), c.topRow);
  EXPECT_EQ(rowSolid(outRows - 1), c.bottomRow);
  EXPECT_EQ(colSolid(0), c.leftCol);
  EXPECT_EQ(colSolid(outCols - 1), c.rightCol);
}

INSTANTIATE_TEST_SUITE_P(Angles, TurnedModuleSolidEdgeTest,
                         ::testing::Values(SolidEdgeCase{0, false, true, true, false},
                                           SolidEdgeCase{90, false, true, false, true},
                                           SolidEdgeCase{180, true, false, false, true},
                                           SolidEdgeCase{270, true, false, true, false}),
                         [](const auto& info) { return "Deg" + std::to_string(info.param.orientation); });

TEST(TurnedModuleCornerTest, OutputOriginAtQuarterTurns) {
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(Format(1), {142, 164, 186, 114, 25, 5, 88, 102}));
  EXPECT_EQ(TurnedModule(matrix, 90, 0, 0), matrix.Module(0, matrix.Cols() - 1));
  EXPECT_EQ(TurnedModule(matrix, 90, 0, 0), 0);
  EXPECT_EQ(TurnedModule(matrix, 270, 0, 0), matrix.Module(matrix.Rows() - 1, 0));
  EXPECT_EQ(TurnedModule(matrix, 270, 0, 0), 1);
}

class TurnedModuleInvalidOrientationTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(TurnedModuleInvalidOrientationTest, EveryModuleLight) {
  const FormatInfo& format = Format(25);
  SymbolMatrix matrix;
  ASSERT_TRUE(matrix.Build(format, Filled(format, 0xFF)));
  int dark = 0;
  for (int i = 0; i < 20; ++i) {
    for (int j = 0; j < 20; ++j) dark += TurnedModule(matrix, GetParam(), static_cast<uint16_t>(i), static_cast<uint16_t>(j));
  }
  EXPECT_EQ(dark, 0);
}

INSTANTIATE_TEST_SUITE_P(Angles, TurnedModuleInvalidOrientationTest, ::testing::Values(45, -90, 360, 1, 89),
                         [](const auto& info) { return "Deg_" + CaseName(info.param); });

}  // namespace
