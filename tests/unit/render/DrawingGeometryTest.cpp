#include "render/DrawingGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "request/DataMatrixBarcode.h"
#include "encoder/FormatTable.h"
#include "render/RgbImage.h"
#include "render/SymbolLayout.h"
#include "encoder/SymbolMatrix.h"
#include "support/CaseName.h"
#include "support/VariedMatrix.h"

using namespace korvex::internal;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

const FormatInfo& FormatOfSize(uint16_t rows, uint16_t cols) {
  for (const FormatInfo& format : FormatTable) {
    if (format.symbolRows == rows && format.symbolCols == cols) return format;
  }
  ADD_FAILURE() << "no " << rows << "x" << cols << " format";
  return FormatTable.back();
}

DrawingProperties Props(int32_t orientation, bool quietZone, int32_t quietZoneSize) {
  DrawingProperties props;
  props.orientation = orientation;
  props.quietZone = quietZone;
  props.quietZoneSize = quietZoneSize;
  return props;
}

uint32_t StoredPixel(const RgbImage& image, int32_t x, int32_t y) {
  const uint8_t* p = image.Row(y) + 3 * x;
  return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

// A colour in the internal form 0x00BBGGRR as the bytes it is stored as, 0xRRGGBB.
uint32_t Stored(uint32_t color) {
  return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

// The stored modules, row after row.
std::vector<uint8_t> Picture(const SymbolMatrix& matrix) {
  std::vector<uint8_t> modules;
  for (int row = 0; row < matrix.Rows(); ++row) {
    for (int col = 0; col < matrix.Cols(); ++col) modules.push_back(matrix.Module(row, col));
  }
  return modules;
}

std::vector<uint8_t> AllBytes(const RgbImage& image) {
  std::vector<uint8_t> bytes;
  for (int32_t y = 0; y < image.Height(); ++y) {
    bytes.insert(bytes.end(), image.Row(y), image.Row(y) + 3 * image.Width());
  }
  return bytes;
}

// Checks every pixel of the image: inside the symbol block at (x0, y0) with square modules of
// size m, the matrix's (turned) modules in fore and back; elsewhere inside the rectangle the
// background; outside the rectangle white.
void ExpectSymbolAt(const RgbImage& image, const SymbolMatrix& matrix, int32_t orientation, int32_t x0, int32_t y0,
                    int32_t m, uint32_t fore, uint32_t back, const DrawRect& rect) {
  const bool columnsAcross = orientation == 0 || orientation == 180;
  const int32_t cols = columnsAcross ? matrix.Cols() : matrix.Rows();
  const int32_t rows = columnsAcross ? matrix.Rows() : matrix.Cols();
  int mismatches = 0;
  for (int32_t y = 0; y < image.Height() && mismatches < 5; ++y) {
    for (int32_t x = 0; x < image.Width() && mismatches < 5; ++x) {
      uint32_t expected = kWhite;
      if (x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom) expected = back;
      const bool inBlock = x >= x0 && x < x0 + cols * m && y >= y0 && y < y0 + rows * m;
      if (inBlock &&
          TurnedModule(matrix, orientation, static_cast<uint16_t>((y - y0) / m), static_cast<uint16_t>((x - x0) / m))) {
        expected = fore;
      }
      if (StoredPixel(image, x, y) != Stored(expected)) {
        ++mismatches;
        ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << StoredPixel(image, x, y) << ", expected "
                      << Stored(expected);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// ToPixels

struct ToPixelsCase {
  std::string name;
  double value;
  int32_t hres;
  int32_t vres;
  Unit unit;
  bool horizontal;
  bool ok;
  int32_t pixels;
};

void PrintTo(const ToPixelsCase& c, std::ostream* os) { *os << c.name; }

class ToPixelsTest : public ::testing::TestWithParam<ToPixelsCase> {};

TEST_P(ToPixelsTest, ConvertsAndRounds) {
  const ToPixelsCase c = GetParam();
  int32_t pixels = -12345;
  EXPECT_EQ(ToPixels(c.value, c.hres, c.vres, c.unit, c.horizontal, pixels), c.ok);
  if (c.ok) {
    EXPECT_EQ(pixels, c.pixels);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToPixelsTest,
    ::testing::Values(ToPixelsCase{"PixelsHalfRoundsUp", 2.5, 1, 1, Unit::Pixels, true, true, 3},
                      ToPixelsCase{"PixelsBelowHalf", 2.49, 1, 1, Unit::Pixels, true, true, 2},
                      ToPixelsCase{"PixelsWhole", 5.0, 1, 1, Unit::Pixels, false, true, 5},
                      ToPixelsCase{"PixelsIgnoreResolution", 7.0, 300, 0, Unit::Pixels, false, true, 7},
                      ToPixelsCase{"NegativeHalfCutTowardZero", -2.5, 1, 1, Unit::Pixels, true, true, -2},
                      ToPixelsCase{"NegativeCutTowardZero", -2.7, 1, 1, Unit::Pixels, true, true, -2},
                      ToPixelsCase{"SmallFraction", 0.49, 1, 1, Unit::Pixels, true, true, 0},
                      ToPixelsCase{"MilsHorizontal", 10.0, 300, 600, Unit::Mils, true, true, 3},
                      ToPixelsCase{"MilsVertical", 10.0, 300, 600, Unit::Mils, false, true, 6},
                      ToPixelsCase{"MilsHalf", 15.0, 100, 100, Unit::Mils, true, true, 2},
                      ToPixelsCase{"InchesHorizontal", 0.5, 100, 200, Unit::Inches, true, true, 50},
                      ToPixelsCase{"InchesVertical", 0.5, 100, 200, Unit::Inches, false, true, 100},
                      ToPixelsCase{"MillimetresOneInch", 25.4, 96, 96, Unit::Millimetres, true, true, 96},
                      ToPixelsCase{"MillimetresVertical", 2.0, 1, 254, Unit::Millimetres, false, true, 20},
                      ToPixelsCase{"UnitFour", 1.0, 1, 1, static_cast<Unit>(4), true, false, 0},
                      ToPixelsCase{"UnitMinusOne", 1.0, 1, 1, static_cast<Unit>(-1), true, false, 0},
                      ToPixelsCase{"NotANumber", std::nan(""), 1, 1, Unit::Pixels, true, false, 0},
                      ToPixelsCase{"BeyondInt32", 1e12, 1, 1, Unit::Pixels, true, false, 0},
                      ToPixelsCase{"Int32Max", 2147483647.0, 1, 1, Unit::Pixels, true, true, 2147483647},
                      ToPixelsCase{"RoundsPastInt32Max", 2147483647.5, 1, 1, Unit::Pixels, true, false, 0}),
    [](const ::testing::TestParamInfo<ToPixelsCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// ModuleCounts

struct CountsCase {
  std::string name;
  uint16_t rows, cols;
  int32_t orientation;
  bool quietZone;
  int32_t quietZoneSize;
  uint16_t across, down;
  bool tooLarge;
};

void PrintTo(const CountsCase& c, std::ostream* os) { *os << c.name; }

class ModuleCountsTest : public ::testing::TestWithParam<CountsCase> {};

TEST_P(ModuleCountsTest, CountsAcrossAndDown) {
  const CountsCase c = GetParam();
  const ModuleCountsResult counts =
      ModuleCounts(FormatOfSize(c.rows, c.cols), Props(c.orientation, c.quietZone, c.quietZoneSize));
  EXPECT_EQ(counts.across, c.across);
  EXPECT_EQ(counts.down, c.down);
  EXPECT_EQ(counts.tooLarge, c.tooLarge);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModuleCountsTest,
    ::testing::Values(CountsCase{"Square", 12, 12, 0, true, 1, 14, 14, false},
                      CountsCase{"RectangleUpright", 8, 18, 0, true, 1, 20, 10, false},
                      CountsCase{"RectangleHalfTurn", 8, 18, 180, true, 1, 20, 10, false},
                      CountsCase{"RectangleQuarterTurn", 8, 18, 90, true, 1, 10, 20, false},
                      CountsCase{"RectangleThreeQuarterTurn", 8, 18, 270, false, 1, 8, 18, false},
                      CountsCase{"UnknownOrientationCountsAsTurned", 8, 18, 45, false, 1, 8, 18, false},
                      CountsCase{"QuietZoneOff", 8, 18, 0, false, 5, 18, 8, false},
                      CountsCase{"QuietZoneSizeZero", 8, 18, 0, true, 0, 18, 8, false},
                      CountsCase{"LargestThatFits", 144, 144, 0, true, 32695, 65534, 65534, false},
                      CountsCase{"LargestOnRectangle", 12, 36, 0, true, 32749, 65534, 65510, false},
                      CountsCase{"WrapsToZero", 144, 144, 0, true, 32696, 0, 0, true},
                      CountsCase{"WrapsToSmall", 144, 144, 0, true, 32760, 128, 128, true},
                      CountsCase{"OnlyOneAxisTooLarge", 16, 48, 0, true, 32744, 0, 65504, true}),
    [](const ::testing::TestParamInfo<CountsCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// FitModuleSize

struct FitCase {
  std::string name;
  uint16_t rows, cols;
  int32_t orientation;
  bool quietZone;
  int32_t quietZoneSize;
  DrawRect rect;
  bool ok;
  int32_t moduleSize;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

class FitModuleSizeTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitModuleSizeTest, FindsTheLargestWholeModule) {
  const FitCase c = GetParam();
  int32_t moduleSize = -1;
  EXPECT_EQ(FitModuleSize(FormatOfSize(c.rows, c.cols), Props(c.orientation, c.quietZone, c.quietZoneSize), c.rect,
                          moduleSize),
            c.ok);
  if (c.ok) {
    EXPECT_EQ(moduleSize, c.moduleSize);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitModuleSizeTest,
    ::testing::Values(FitCase{"Square100", 12, 12, 0, true, 1, DrawRect(0, 0, 100, 100), true, 7},
                      FitCase{"Wide110", 12, 12, 0, true, 1, DrawRect(0, 0, 110, 100), true, 7},
                      FitCase{"HeightLimits", 12, 12, 0, true, 1, DrawRect(0, 0, 300, 30), true, 2},
                      FitCase{"ExactFit", 12, 12, 0, true, 1, DrawRect(0, 0, 14, 14), true, 1},
                      FitCase{"ExactDouble", 12, 12, 0, true, 1, DrawRect(0, 0, 28, 28), true, 2},
                      FitCase{"OnePixelShort", 12, 12, 0, true, 1, DrawRect(0, 0, 27, 28), true, 1},
                      FitCase{"TooNarrow", 12, 12, 0, true, 1, DrawRect(0, 0, 13, 100), false, 0},
                      FitCase{"TooNarrowWithoutQuietZone", 12, 12, 0, false, 1, DrawRect(0, 0, 13, 100), true, 1},
                      FitCase{"OffsetRectangle", 12, 12, 0, true, 1, DrawRect(50, 60, 150, 160), true, 7},
                      FitCase{"TurnedRectangle", 8, 18, 90, true, 1, DrawRect(0, 0, 50, 100), true, 5},
                      FitCase{"UprightRectangleInTallBox", 8, 18, 0, true, 1, DrawRect(0, 0, 50, 100), true, 2},
                      FitCase{"EmptyRectangle", 12, 12, 0, true, 1, DrawRect(10, 10, 10, 10), false, 0},
                      FitCase{"InvertedRectangle", 12, 12, 0, true, 1, DrawRect(100, 100, 0, 0), false, 0},
                      FitCase{"WrappedToZero", 144, 144, 0, true, 32696, DrawRect(0, 0, 1000, 1000), false, 0},
                      FitCase{"WrappedToSmall", 144, 144, 0, true, 32760, DrawRect(0, 0, 1000, 1000), false, 0}),
    [](const ::testing::TestParamInfo<FitCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// PaintSymbol: the modules of a layout, on the image's own white

// A layout of the matrix turned by orientation, its first module at (x, y), on white.
SymbolLayout ModulesAt(const SymbolMatrix& matrix, int32_t orientation, int32_t x, int32_t y, int32_t moduleSize,
                       uint32_t fore, const RgbImage& image) {
  const bool turned = orientation != 0 && orientation != 180;
  SymbolLayout layout;
  layout.area = DrawRect(0, 0, image.Width(), image.Height());
  layout.moduleSize = moduleSize;
  layout.x = x;
  layout.y = y;
  layout.orientation = orientation;
  layout.columns = turned ? matrix.Rows() : matrix.Cols();
  layout.rows = turned ? matrix.Cols() : matrix.Rows();
  layout.backColor = kWhite;
  layout.foreColor = fore;
  return layout;
}

class PaintSymbolTest : public ::testing::TestWithParam<int32_t> {};

// The two solid finder edges of the drawn symbol: which output edges they lie on.
struct SolidEdges {
  bool left, right, top, bottom;
};

SolidEdges SolidEdgesOf(int32_t orientation) {
  switch (orientation) {
    case 0: return {true, false, false, true};
    case 90: return {false, true, false, true};
    case 180: return {false, true, true, false};
    default: return {true, false, true, false};  // 270
  }
}

TEST_P(PaintSymbolTest, PaintsEveryDarkModuleTurnedAndNothingElse) {
  const int32_t orientation = GetParam();
  const SymbolMatrix matrix = VariedMatrix(FormatOfSize(8, 18));
  const bool turned = orientation == 90 || orientation == 270;
  const int32_t outCols = turned ? 8 : 18;
  const int32_t outRows = turned ? 18 : 8;
  constexpr int32_t kX = 3, kY = 5, kModule = 2;
  RgbImage image(kX + outCols * kModule + 4, kY + outRows * kModule + 3, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  PaintSymbol(image, matrix, ModulesAt(matrix, orientation, kX, kY, kModule, 0x00FF00, image));
  ExpectSymbolAt(image, matrix, orientation, kX, kY, kModule, 0x00FF00, kWhite,
                 DrawRect(0, 0, image.Width(), image.Height()));

  // The solid L lies where the orientation turns it, independent of TurnedModule.
  auto dark = [&](int32_t i, int32_t j) {
    return StoredPixel(image, kX + j * kModule + 1, kY + i * kModule + 1) == Stored(0x00FF00);
  };
  auto columnSolid = [&](int32_t j) {
    for (int32_t i = 0; i < outRows; ++i) {
      if (!dark(i, j)) return false;
    }
    return true;
  };
  auto rowSolid = [&](int32_t i) {
    for (int32_t j = 0; j < outCols; ++j) {
      if (!dark(i, j)) return false;
    }
    return true;
  };
  const SolidEdges edges = SolidEdgesOf(orientation);
  EXPECT_EQ(columnSolid(0), edges.left);
  EXPECT_EQ(columnSolid(outCols - 1), edges.right);
  EXPECT_EQ(rowSolid(0), edges.top);
  EXPECT_EQ(rowSolid(outRows - 1), edges.bottom);
}

INSTANTIATE_TEST_SUITE_P(Orientations, PaintSymbolTest, ::testing::Values(0, 90, 180, 270),
                         [](const auto& info) { return "Deg" + std::to_string(info.param); });

TEST(PaintSymbol, UnknownOrientationPaintsNothing) {
  const SymbolMatrix matrix = VariedMatrix(FormatOfSize(12, 12));
  RgbImage image(40, 40, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  PaintSymbol(image, matrix, ModulesAt(matrix, 45, 2, 2, 3, kBlack, image));
  for (const uint8_t byte : AllBytes(image)) ASSERT_EQ(byte, 0xFF);
}

TEST(PaintSymbol, ModulesPartlyOutsideTheImageAreClipped) {
  const SymbolMatrix matrix = VariedMatrix(FormatOfSize(10, 10));
  RgbImage image(10, 10, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  PaintSymbol(image, matrix, ModulesAt(matrix, 0, -1, -1, 1, kBlack, image));
  // Output column 0 (solid) starts at x = -1 and is gone; column 1 shows at x = 0.
  for (int32_t y = 0; y < 9; ++y) {
    EXPECT_EQ(StoredPixel(image, 0, y) == 0, matrix.Module(y + 1, 1) != 0) << y;
  }
  // Nothing beyond the symbol's extent: column 9 of the image lies past its right edge.
  for (int32_t y = 0; y < 10; ++y) EXPECT_EQ(StoredPixel(image, 9, y), 0xFFFFFFu);
}

// ---------------------------------------------------------------------------------------------
// DataMatrixBarcode: ComputeImageSize and Draw

// A barcode of the given size in ASCII mode.
void Configure(DataMatrixBarcode& barcode, uint16_t rows, uint16_t cols, const std::string& data) {
  barcode.SetUpdateLock(true);
  barcode.SetEncodingMode(1);
  barcode.SetDataToEncode(data);
  barcode.SetPreferredFormat(FormatOfSize(rows, cols).id);
  ASSERT_EQ(barcode.SetUpdateLock(false), Result::Ok);
  ASSERT_TRUE(barcode.Encoded());
  ASSERT_EQ(barcode.CurrentFormat().symbolRows, rows);
  ASSERT_EQ(barcode.CurrentFormat().symbolCols, cols);
}

struct SizeCase {
  std::string name;
  uint16_t rows, cols;
  int32_t orientation;
  bool quietZone;
  int32_t quietZoneSize;
  double xdim;
  int32_t hres, vres;
  Unit unitIn, unitOut;
  ResultCode result;
  double width, height;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }

class ComputeImageSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ComputeImageSizeTest, GivesTheSizeOrTheFailure) {
  const SizeCase c = GetParam();
  DataMatrixBarcode barcode;
  Configure(barcode, c.rows, c.cols, "12");
  barcode.SetOrientation(c.orientation);
  barcode.SetQuietZone(c.quietZone);
  barcode.SetQuietZoneSize(c.quietZoneSize);
  double width = -1;
  double height = -1;
  EXPECT_EQ(barcode.ComputeImageSize(c.xdim, c.hres, c.vres, c.unitIn, c.unitOut, width, height), c.result);
  if (c.result == Result::Ok) {
    EXPECT_NEAR(width, c.width, 1e-9);
    EXPECT_NEAR(height, c.height, 1e-9);
  } else {
    EXPECT_EQ(width, -1);
    EXPECT_EQ(height, -1);
  }
}

constexpr Unit P = Unit::Pixels;

INSTANTIATE_TEST_SUITE_P(
    Cases, ComputeImageSizeTest,
    ::testing::Values(
        SizeCase{"Square12", 12, 12, 0, true, 1, 5, 1, 1, P, P, Result::Ok, 70, 70},
        SizeCase{"Square10", 10, 10, 0, true, 1, 5, 1, 1, P, P, Result::Ok, 60, 60},
        SizeCase{"RectangleTurned", 8, 18, 90, true, 1, 5, 1, 1, P, P, Result::Ok, 50, 100},
        SizeCase{"RectangleUpright", 8, 18, 0, true, 1, 5, 1, 1, P, P, Result::Ok, 100, 50},
        SizeCase{"RectangleHalfTurn", 8, 18, 180, false, 1, 5, 1, 1, P, P, Result::Ok, 90, 40},
        SizeCase{"HalfPixelRoundsUp", 12, 12, 0, true, 1, 2.5, 1, 1, P, P, Result::Ok, 42, 42},
        SizeCase{"QuietZoneTwo", 12, 12, 0, true, 2, 3, 1, 1, P, P, Result::Ok, 48, 48},
        SizeCase{"QuietZoneOff", 12, 12, 0, false, 4, 3, 1, 1, P, P, Result::Ok, 36, 36},
        SizeCase{"WrapsModulo65536", 12, 12, 0, true, 1, 5000, 1, 1, P, P, Result::Ok, 4464, 4464},
        SizeCase{"WrapsToZero", 12, 12, 0, true, 2, 4096, 1, 1, P, P, Result::InvalidArgument, 0, 0},
        SizeCase{"ZeroXdim", 12, 12, 0, true, 1, 0.4, 1, 1, P, P, Result::InvalidArgument, 0, 0},
        SizeCase{"TooManyModules", 12, 12, 0, true, 32767, 1, 1, 1, P, P, Result::InvalidBarcodeSize, 0, 0},
        SizeCase{"TooManyModulesWrappingSmall", 12, 12, 0, true, 32790, 1, 1, 1, P, P, Result::InvalidBarcodeSize,
                 0, 0},
        SizeCase{"UnitInUnknown", 12, 12, 0, true, 1, 5, 1, 1, static_cast<Unit>(4), P, Result::InvalidArgument, 0, 0},
        SizeCase{"UnitOutUnknown", 12, 12, 0, true, 1, 5, 1, 1, P, static_cast<Unit>(-1), Result::InvalidArgument, 0, 0},
        SizeCase{"MilsToInches", 12, 12, 0, true, 1, 10, 300, 600, Unit::Mils, Unit::Inches, Result::Ok, 0.14, 0.14},
        SizeCase{"MilsToMils", 12, 12, 0, true, 1, 10, 300, 600, Unit::Mils, Unit::Mils, Result::Ok, 140, 140},
        SizeCase{"MilsToMillimetres", 12, 12, 0, true, 1, 10, 300, 600, Unit::Mils, Unit::Millimetres, Result::Ok,
                 3.556, 3.556},
        SizeCase{"TurnedSwapsResolutions", 8, 18, 90, true, 1, 10, 300, 600, Unit::Mils, Unit::Inches, Result::Ok, 0.1,
                 0.2},
        SizeCase{"PixelsToInches", 12, 12, 0, true, 1, 5, 70, 140, P, Unit::Inches, Result::Ok, 1, 0.5},
        SizeCase{"ZeroResolutionOut", 12, 12, 0, true, 1, 5, 0, 0, P, Unit::Inches, Result::InvalidArgument, 0, 0}),
    [](const ::testing::TestParamInfo<SizeCase>& info) { return info.param.name; });

struct DrawCase {
  std::string name;
  uint16_t rows, cols;
  int32_t orientation;
  bool quietZone;
  int32_t quietZoneSize;
  int32_t alignH, alignV;
  uint32_t back, fore;
  int32_t imageWidth, imageHeight;
  DrawRect rect;
  int32_t x0, y0, moduleSize;  // expected first module and module size
};

void PrintTo(const DrawCase& c, std::ostream* os) { *os << c.name; }

class DrawTest : public ::testing::TestWithParam<DrawCase> {};

TEST_P(DrawTest, PlacesTheSymbol) {
  const DrawCase c = GetParam();
  DataMatrixBarcode barcode;
  Configure(barcode, c.rows, c.cols, "1234");
  barcode.SetOrientation(c.orientation);
  barcode.SetQuietZone(c.quietZone);
  barcode.SetQuietZoneSize(c.quietZoneSize);
  barcode.SetAlignH(c.alignH);
  barcode.SetAlignV(c.alignV);
  barcode.SetBackColor(c.back);
  barcode.SetForeColor(c.fore);
  RgbImage image(c.imageWidth, c.imageHeight, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  const SymbolMatrix before = barcode.Matrix();
  ASSERT_EQ(barcode.Draw(image, c.rect), Result::Ok);
  // Drawing turns the symbol as it reads it, and leaves the symbol itself as it was.
  EXPECT_EQ(Picture(barcode.Matrix()), Picture(before));
  ExpectSymbolAt(image, barcode.Matrix(), c.orientation, c.x0, c.y0, c.moduleSize, c.fore, c.back, c.rect);
}

const DrawRect kSquare100(0, 0, 100, 100);
const DrawRect kWide110(0, 0, 110, 100);
const DrawRect kTall110(0, 0, 100, 110);

INSTANTIATE_TEST_SUITE_P(
    Cases, DrawTest,
    ::testing::Values(
        DrawCase{"Centred100", 12, 12, 0, true, 1, 1, 1, kWhite, kBlack, 100, 100, kSquare100, 8, 8, 7},
        DrawCase{"AlignLeft", 12, 12, 0, true, 1, 0, 1, kWhite, kBlack, 110, 100, kWide110, 7, 8, 7},
        DrawCase{"AlignCentre", 12, 12, 0, true, 1, 1, 1, kWhite, kBlack, 110, 100, kWide110, 13, 8, 7},
        DrawCase{"AlignRight", 12, 12, 0, true, 1, 2, 1, kWhite, kBlack, 110, 100, kWide110, 18, 8, 7},
        DrawCase{"AlignHThreeActsAsLeft", 12, 12, 0, true, 1, 3, 1, kWhite, kBlack, 110, 100, kWide110, 7, 8, 7},
        DrawCase{"AlignHNegativeActsAsLeft", 12, 12, 0, true, 1, -1, 1, kWhite, kBlack, 110, 100, kWide110, 7, 8, 7},
        DrawCase{"AlignTop", 12, 12, 0, true, 1, 1, 0, kWhite, kBlack, 100, 110, kTall110, 8, 7, 7},
        DrawCase{"AlignMiddle", 12, 12, 0, true, 1, 1, 1, kWhite, kBlack, 100, 110, kTall110, 8, 13, 7},
        DrawCase{"AlignBottom", 12, 12, 0, true, 1, 1, 2, kWhite, kBlack, 100, 110, kTall110, 8, 18, 7},
        DrawCase{"AlignVSevenActsAsTop", 12, 12, 0, true, 1, 1, 7, kWhite, kBlack, 100, 110, kTall110, 8, 7, 7},
        DrawCase{"QuietZoneOffFitsNarrow", 12, 12, 0, false, 1, 1, 1, kWhite, kBlack, 13, 100, DrawRect(0, 0, 13, 100),
                 0, 44, 1},
        DrawCase{"RedBackground", 12, 12, 0, true, 1, 1, 1, 0x0000FF, kBlack, 100, 100, kSquare100, 8, 8, 7},
        DrawCase{"GreyBackgroundGreenModules", 10, 10, 0, true, 2, 1, 1, 0x808080, 0x00FF00, 60, 60,
                 DrawRect(0, 0, 60, 60), 10, 10, 4},
        DrawCase{"BackgroundOnlyInsideRectangle", 12, 12, 0, true, 1, 1, 1, 0x0000FF, kBlack, 130, 140,
                 DrawRect(10, 20, 110, 120), 18, 28, 7},
        DrawCase{"TurnedRectangle", 8, 18, 90, true, 1, 1, 1, kWhite, kBlack, 50, 100, DrawRect(0, 0, 50, 100), 5, 5,
                 5},
        DrawCase{"HalfTurnRectangle", 8, 18, 180, true, 1, 1, 1, kWhite, kBlack, 100, 50, DrawRect(0, 0, 100, 50), 5,
                 5, 5},
        DrawCase{"ThreeQuarterTurnRectangle", 8, 18, 270, true, 1, 0, 0, kWhite, kBlack, 53, 103,
                 DrawRect(0, 0, 53, 103), 5, 5, 5},
        DrawCase{"EndAlignedNoFreeSpaceNoQuietZone", 12, 12, 0, false, 1, 2, 2, kWhite, kBlack, 12, 12,
                 DrawRect(0, 0, 12, 12), 0, 0, 1},
        DrawCase{"EndAlignedNoFreeSpaceQuietSizeZero", 12, 12, 0, true, 0, 2, 2, kWhite, kBlack, 24, 24,
                 DrawRect(0, 0, 24, 24), 0, 0, 2},
        DrawCase{"EndAlignedNoFreeSpaceEatsIntoQuietZone", 12, 12, 0, true, 1, 2, 2, 0x808080, kBlack, 28, 28,
                 DrawRect(0, 0, 28, 28), 1, 1, 2},
        DrawCase{"EndAlignedWithFreeSpaceNoQuietZone", 12, 12, 0, false, 1, 2, 2, kWhite, kBlack, 14, 13,
                 DrawRect(0, 0, 14, 13), 1, 0, 1}),
    [](const ::testing::TestParamInfo<DrawCase>& info) { return info.param.name; });

TEST(Draw, FrontEndSizeFromComputeImageSizeFitsAtTheXDimension) {
  DataMatrixBarcode barcode;
  Configure(barcode, 10, 10, "12");
  double width = 0, height = 0;
  ASSERT_EQ(barcode.ComputeImageSize(5, 1, 1, P, P, width, height), Result::Ok);
  RgbImage image(static_cast<int32_t>(width), static_cast<int32_t>(height), kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  ASSERT_EQ(barcode.Draw(image, DrawRect(0, 0, image.Width(), image.Height())), Result::Ok);
  ExpectSymbolAt(image, barcode.Matrix(), 0, 5, 5, 5, kBlack, kWhite, DrawRect(0, 0, 60, 60));
}

struct FailureCase {
  std::string name;
  bool breakEncoding;
  bool quietZone;
  int32_t quietZoneSize;
  DrawRect rect;
  ResultCode result;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class DrawFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DrawFailureTest, LeavesTheImageUntouched) {
  const FailureCase c = GetParam();
  DataMatrixBarcode barcode;
  Configure(barcode, 12, 12, "1234567");
  barcode.SetBackColor(0x0000FF);
  barcode.SetQuietZone(c.quietZone);
  barcode.SetQuietZoneSize(c.quietZoneSize);
  if (c.breakEncoding) {
    ASSERT_EQ(barcode.SetEncodingMode(9), Result::InvalidEncodingMode);
    ASSERT_FALSE(barcode.Encoded());
  }
  RgbImage image(100, 100, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  EXPECT_EQ(barcode.Draw(image, c.rect), c.result);
  for (const uint8_t byte : AllBytes(image)) ASSERT_EQ(byte, 0xFF);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DrawFailureTest,
    ::testing::Values(FailureCase{"TooNarrow", false, true, 1, DrawRect(0, 0, 13, 100), Result::InvalidBarcodeSize},
                      FailureCase{"TooShort", false, true, 1, DrawRect(0, 0, 100, 13), Result::InvalidBarcodeSize},
                      FailureCase{"NotEncoded", true, true, 1, DrawRect(0, 0, 100, 100), Result::InvalidData},
                      FailureCase{"SizeCheckedBeforeEncodedFlag", true, true, 1, DrawRect(0, 0, 13, 100),
                                  Result::InvalidBarcodeSize},
                      FailureCase{"CountWrapsToZero", false, true, 32762, DrawRect(0, 0, 100, 100),
                                  Result::InvalidBarcodeSize},
                      FailureCase{"CountWrapsToAFittingSize", false, true, 32790, DrawRect(0, 0, 100, 100),
                                  Result::InvalidBarcodeSize},
                      FailureCase{"HugeQuietZone", false, true, INT32_MAX, DrawRect(0, 0, 100, 100),
                                  Result::InvalidBarcodeSize}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

struct QuietPairCase {
  int32_t width, height, alignH, alignV, orientation;
};

void PrintTo(const QuietPairCase& c, std::ostream* os) {
  *os << c.width << " x " << c.height << ", align " << c.alignH << "/" << c.alignV << ", " << c.orientation
      << " degrees";
}

class QuietZoneSizeZeroTest : public ::testing::TestWithParam<QuietPairCase> {};

TEST_P(QuietZoneSizeZeroTest, DrawsExactlyAsQuietZoneOff) {
  const QuietPairCase c = GetParam();
  auto draw = [&](bool quietZone, int32_t quietZoneSize) {
    DataMatrixBarcode barcode;
    Configure(barcode, 12, 12, "1234567");
    barcode.SetQuietZone(quietZone);
    barcode.SetQuietZoneSize(quietZoneSize);
    barcode.SetAlignH(c.alignH);
    barcode.SetAlignV(c.alignV);
    barcode.SetOrientation(c.orientation);
    barcode.SetBackColor(0x808080);
    RgbImage image(c.width, c.height, kWhite, -2);
    EXPECT_TRUE(image.AllocateRows());
    EXPECT_EQ(barcode.Draw(image, DrawRect(0, 0, c.width, c.height)), Result::Ok);
    return AllBytes(image);
  };
  const std::vector<uint8_t> sizeZero = draw(true, 0);
  EXPECT_EQ(sizeZero, draw(false, 0));
  EXPECT_EQ(sizeZero, draw(false, 3));
  // And it differs from a real quiet zone, so the comparison can see one.
  EXPECT_NE(sizeZero, draw(true, 1));
}

INSTANTIATE_TEST_SUITE_P(Cases, QuietZoneSizeZeroTest,
                         ::testing::Values(QuietPairCase{100, 100, 1, 1, 0}, QuietPairCase{37, 50, 2, 2, 90},
                                           QuietPairCase{14, 14, 2, 0, 180}, QuietPairCase{25, 15, 0, 2, 270}),
                         [](const auto& info) {
                           const QuietPairCase& c = info.param;
                           return std::to_string(c.width) + "x" + std::to_string(c.height) + "_Align" +
                                  std::to_string(c.alignH) + std::to_string(c.alignV) + "_Deg" +
                                  std::to_string(c.orientation);
                         });

struct OrientationCase {
  int32_t orientation;
  uint32_t back;
};

void PrintTo(const OrientationCase& c, std::ostream* os) {
  *os << c.orientation << " degrees on " << std::hex << std::uppercase << c.back << std::nouppercase << std::dec;
}

class UnknownOrientationTest : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(UnknownOrientationTest, ShowsOnlyTheBackground) {
  const OrientationCase c = GetParam();
  DataMatrixBarcode barcode;
  Configure(barcode, 12, 12, "1234567");
  barcode.SetOrientation(c.orientation);
  barcode.SetBackColor(c.back);
  RgbImage image(100, 100, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  ASSERT_EQ(barcode.Draw(image, kSquare100), Result::Ok);
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 0; x < 100; ++x) ASSERT_EQ(StoredPixel(image, x, y), Stored(c.back)) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, UnknownOrientationTest,
                         ::testing::Values(OrientationCase{45, kWhite}, OrientationCase{-90, 0x808080},
                                           OrientationCase{360, 0x0000FF}),
                         [](const auto& info) { return "Deg_" + CaseName(info.param.orientation); });

TEST(Draw, DefaultColoursWriteOnlyBlackModules) {
  DataMatrixBarcode barcode;
  Configure(barcode, 12, 12, "1234567");
  RgbImage image(100, 100, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  ASSERT_EQ(barcode.Draw(image, kSquare100), Result::Ok);
  int dark = 0;
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 0; x < 100; ++x) {
      const uint32_t pixel = StoredPixel(image, x, y);
      ASSERT_TRUE(pixel == 0xFFFFFFu || pixel == 0u) << x << "," << y;
      if (pixel == 0) {
        ++dark;
        EXPECT_TRUE(x >= 8 && x <= 91 && y >= 8 && y <= 91) << x << "," << y;
      }
    }
  }
  // The symbol covers pixels 8 to 91: its solid left column and bottom row reach those edges.
  EXPECT_EQ(StoredPixel(image, 8, 8), 0u);
  EXPECT_EQ(StoredPixel(image, 8, 91), 0u);
  EXPECT_EQ(StoredPixel(image, 91, 91), 0u);
  EXPECT_EQ(dark % 49, 0);
}

TEST(Draw, RepeatsIdenticallyOnAnotherImage) {
  DataMatrixBarcode barcode;
  Configure(barcode, 8, 18, "1234567");
  barcode.SetOrientation(270);
  barcode.SetBackColor(0x563412);
  RgbImage first(80, 90, kWhite, -2);
  RgbImage second(80, 90, kWhite, -2);
  ASSERT_TRUE(first.AllocateRows());
  ASSERT_TRUE(second.AllocateRows());
  ASSERT_EQ(barcode.Draw(first, DrawRect(0, 0, 80, 90)), Result::Ok);
  ASSERT_EQ(barcode.Draw(second, DrawRect(0, 0, 80, 90)), Result::Ok);
  EXPECT_EQ(AllBytes(first), AllBytes(second));
}

}  // namespace
