#include "render/RgbImage.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "support/CaseName.h"

using namespace korvex::internal;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

// The three bytes of pixel (x, y) as 0xRRGGBB, in the order they stand in the row.
uint32_t StoredPixel(const RgbImage& image, int32_t x, int32_t y) {
  const uint8_t* p = image.Row(y) + 3 * x;
  return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

std::vector<uint8_t> AllBytes(const RgbImage& image) {
  std::vector<uint8_t> bytes;
  for (int32_t y = 0; y < image.Height(); ++y) {
    bytes.insert(bytes.end(), image.Row(y), image.Row(y) + 3 * image.Width());
  }
  return bytes;
}

struct SizeCase {
  int32_t width;
  int32_t height;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.width << " x " << c.height; }

std::string SizeName(const ::testing::TestParamInfo<SizeCase>& info) {
  return CaseName(info.param.width) + "_x_" + CaseName(info.param.height);
}

class AllocateRowsTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(AllocateRowsTest, EveryByteStartsWhiteAndRowsAreTheRowPointers) {
  const SizeCase size = GetParam();
  RgbImage image(size.width, size.height, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  ASSERT_NE(image.Rows(), nullptr);
  const std::vector<uint8_t> bytes = AllBytes(image);
  EXPECT_EQ(bytes.size(), static_cast<std::size_t>(size.width) * size.height * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0xFF) << "byte " << i;
  for (int32_t y = 0; y < size.height; ++y) {
    EXPECT_EQ(image.Rows()[y], image.Row(y)) << "row " << y;
    if (y > 0) {
      EXPECT_NE(image.Row(y), image.Row(y - 1));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AllocateRowsTest,
                         ::testing::Values(SizeCase{1, 1}, SizeCase{3, 2}, SizeCase{1, 7}, SizeCase{699, 699}),
                         SizeName);

TEST(RgbImage, ConstructionRecordsSettingsAndFixedDepthAndGamma) {
  RgbImage image(60, 40, kWhite, -2);
  EXPECT_EQ(image.Width(), 60);
  EXPECT_EQ(image.Height(), 40);
  EXPECT_EQ(image.InitialColor(), kWhite);
  EXPECT_EQ(image.CompressionLevel(), -2);
  EXPECT_EQ(image.BitDepth(), 8);
  EXPECT_DOUBLE_EQ(image.Gamma(), 0.5);
}

class RefusedSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RefusedSizeTest, AllocatesNothing) {
  const SizeCase size = GetParam();
  RgbImage image(size.width, size.height, kWhite, -2);
  EXPECT_FALSE(image.AllocateRows());
  EXPECT_EQ(image.Rows(), nullptr);
  image.FillRect(0, 0, 10, 10, 0);  // must not touch anything
}

// 4096 x 5462 x 3 bytes is the first row count past 64 MiB at that width.
INSTANTIATE_TEST_SUITE_P(Sizes, RefusedSizeTest,
                         ::testing::Values(SizeCase{4096, 5462}, SizeCase{65535, 65535}, SizeCase{INT32_MAX, INT32_MAX},
                                           SizeCase{INT32_MAX, 1}, SizeCase{0, 5}, SizeCase{5, 0},
                                           SizeCase{-1, 5}, SizeCase{5, -1}),
                         SizeName);

TEST(RgbImage, RasterJustBelowTheLimitIsAllocated) {
  static_assert(4096ull * 5461 * 3 <= RgbImage::kMaxRasterBytes, "case must lie below the limit");
  RgbImage image(4096, 5461, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  EXPECT_EQ(StoredPixel(image, 4095, 5460), 0xFFFFFFu);
}

struct ColorCase {
  uint32_t color;      // internal form 0x00BBGGRR, maybe with junk in the top byte
  uint32_t stored;     // expected bytes as 0xRRGGBB
};

std::string Hex(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%06X", value);
  return text;
}

void PrintTo(const ColorCase& c, std::ostream* os) { *os << Hex(c.color); }

class FillRectColorTest : public ::testing::TestWithParam<ColorCase> {};

TEST_P(FillRectColorTest, StoresRedGreenBlueAndLeavesTheRestAlone) {
  const ColorCase c = GetParam();
  RgbImage image(5, 4, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  // A background unlike every expected colour, so that each byte written shows.
  constexpr uint32_t kBackground = 0x3C2A19;  // stored as 19 2A 3C
  image.FillRect(0, 0, 5, 4, kBackground);
  image.FillRect(1, 1, 3, 2, c.color);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      const bool inside = x >= 1 && x <= 3 && y >= 1 && y <= 2;
      EXPECT_EQ(StoredPixel(image, x, y), inside ? c.stored : 0x192A3Cu) << "pixel " << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Colors, FillRectColorTest,
                         ::testing::Values(ColorCase{0x0000FF, 0xFF0000},     // red
                                           ColorCase{0x00FF00, 0x00FF00},     // green
                                           ColorCase{0xFF0000, 0x0000FF},     // blue
                                           ColorCase{0x808080, 0x808080},     // grey: block fill
                                           ColorCase{0x000000, 0x000000},     // black: block fill
                                           ColorCase{0xFFFFFF, 0xFFFFFF},     // white: block fill
                                           ColorCase{0x563412, 0x123456},     // all three bytes differ
                                           ColorCase{0x12FFFFFF, 0xFFFFFF},   // top byte ignored
                                           ColorCase{0xFF000000, 0x000000},   // top byte ignored, grey
                                           ColorCase{0xAB0000FF, 0xFF0000}),  // top byte ignored, colour
                         [](const auto& info) { return "Color" + Hex(info.param.color); });

TEST(RgbImage, FillingTheLastColumnChangesOnlyTheLastThreeBytesOfEachRow) {
  RgbImage image(6, 3, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  image.FillRect(5, 0, 1, 2, 0x0000FF);
  for (int32_t y = 0; y < 3; ++y) {
    const uint8_t* row = image.Row(y);
    for (int32_t i = 0; i < 15; ++i) EXPECT_EQ(row[i], 0xFF) << "row " << y << " byte " << i;
    const std::array<uint8_t, 3> last{row[15], row[16], row[17]};
    if (y < 2) {
      EXPECT_EQ(last, (std::array<uint8_t, 3>{0xFF, 0x00, 0x00})) << "row " << y;
    } else {
      EXPECT_EQ(last, (std::array<uint8_t, 3>{0xFF, 0xFF, 0xFF}));
    }
  }
}

TEST(RgbImage, ColourReplacesWhatWasThere) {
  RgbImage image(2, 1, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  image.FillRect(0, 0, 2, 1, 0x0000FF);
  image.FillRect(1, 0, 1, 1, 0x00FF00);
  EXPECT_EQ(StoredPixel(image, 0, 0), 0xFF0000u);
  EXPECT_EQ(StoredPixel(image, 1, 0), 0x00FF00u);
}

struct ClipCase {
  std::string name;
  int32_t x, y, w, h;
  // Pixels that must change, right and bottom exclusive (empty when left >= right).
  int32_t left, right, top, bottom;
};

void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.name; }

class FillRectClipTest : public ::testing::TestWithParam<ClipCase> {};

TEST_P(FillRectClipTest, WritesOnlyTheVisiblePart) {
  const ClipCase c = GetParam();
  constexpr int32_t kWidth = 5;
  constexpr int32_t kHeight = 4;
  for (const uint32_t color : {0x000000u, 0x0000FFu}) {  // block fill and per-pixel fill
    RgbImage image(kWidth, kHeight, kWhite, -2);
    ASSERT_TRUE(image.AllocateRows());
    image.FillRect(c.x, c.y, c.w, c.h, color);
    const uint32_t stored = color == 0 ? 0x000000u : 0xFF0000u;
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        const bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
        EXPECT_EQ(StoredPixel(image, x, y), inside ? stored : 0xFFFFFFu) << "pixel " << x << "," << y;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rects, FillRectClipTest,
    ::testing::Values(ClipCase{"Inside", 1, 1, 2, 2, 1, 3, 1, 3},
                      ClipCase{"Whole", 0, 0, 5, 4, 0, 5, 0, 4},
                      ClipCase{"OverTopLeft", -2, -2, 4, 4, 0, 2, 0, 2},
                      ClipCase{"OverBottomRight", 3, 1, 10, 10, 3, 5, 1, 4},
                      ClipCase{"CoversEverything", -100, -100, 1000, 1000, 0, 5, 0, 4},
                      ClipCase{"LeftOfImage", -10, 0, 5, 4, 0, 0, 0, 0},
                      ClipCase{"AtWidth", 5, 0, 1, 4, 0, 0, 0, 0},
                      ClipCase{"BelowImage", 0, 4, 5, 1, 0, 0, 0, 0},
                      ClipCase{"ZeroWidth", 0, 0, 0, 4, 0, 0, 0, 0},
                      ClipCase{"ZeroHeight", 0, 0, 5, 0, 0, 0, 0, 0},
                      ClipCase{"NegativeSize", 2, 2, -1, -1, 0, 0, 0, 0},
                      ClipCase{"EndOverflowsInt32", INT32_MAX - 1, 0, 10, 1, 0, 0, 0, 0},
                      ClipCase{"FarLeftHugeWidth", INT32_MIN, 1, INT32_MAX, 1, 0, 0, 0, 0},
                      ClipCase{"NegativeStartHugeSize", -5, -5, INT32_MAX, INT32_MAX, 0, 5, 0, 4}),
    [](const ::testing::TestParamInfo<ClipCase>& info) { return info.param.name; });

TEST(RgbImage, FillRectBeforeAllocationDoesNothing) {
  RgbImage image(4, 4, kWhite, -2);
  image.FillRect(0, 0, 4, 4, 0x0000FF);
  EXPECT_EQ(image.Rows(), nullptr);
}

TEST(RgbImage, AllocatingAgainStartsWhiteAgain) {
  RgbImage image(3, 3, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  image.FillRect(0, 0, 3, 3, 0);
  ASSERT_TRUE(image.AllocateRows());
  for (const uint8_t byte : AllBytes(image)) EXPECT_EQ(byte, 0xFF);
}

}  // namespace
