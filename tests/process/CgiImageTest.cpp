#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>

#include "process/CgiResponse.h"
#include "support/CaseName.h"
#include "support/Decoders.h"
#include "support/ReadBack.h"

using namespace korvex::internal;

namespace {

// The decoded image of a GET request that must succeed.
std::optional<PngInfo> FetchImage(const std::string& query) {
  const ProcessResult result = RunCgi(GetRequest(query));
  EXPECT_TRUE(result.exited && !result.timedOut) << query;
  EXPECT_EQ(result.exitStatus, 0) << query;
  EXPECT_EQ(result.errorOutput, "") << query;
  PngInfo png;
  std::string error;
  if (!ReadPngResponse(result.output, png, error)) {
    ADD_FAILURE() << query << ": " << error;
    return std::nullopt;
  }
  return png;
}

// Default picture: 12 x 12 symbol, 5 pixels per module, one module of quiet zone.
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kQuietX = 2, kQuietY = 2;              // inside the quiet zone
constexpr uint32_t kCornerX = 7, kCornerY = 7;            // top left module, always dark
constexpr uint32_t kLightX = 12, kLightY = 7;             // second module of the top row, always light

TEST(CgiImageTest, DefaultRequestReadsBack) {
  const auto png = FetchImage("");
  ASSERT_TRUE(png);
  const auto zxing = ReadWithZxing(ToRaster(*png));
  ASSERT_TRUE(zxing);
  EXPECT_EQ(zxing->bytes, "1234567");
  const auto dmtx = ReadWithDmtx(ToRaster(*png));
  ASSERT_TRUE(dmtx);
  EXPECT_EQ(dmtx->bytes, "1234567");
}

TEST(CgiImageTest, PostedDataIsDecodedAndEncoded) {
  const std::string body = "w=200&h=200&data=A+B%2C+C%26x%3D1";
  const ProcessResult result = RunCgi(PostRequest(std::to_string(body.size())), body);
  ASSERT_EQ(result.exitStatus, 0) << result.errorOutput;
  PngInfo png;
  std::string error;
  ASSERT_TRUE(ReadPngResponse(result.output, png, error)) << error;
  const auto decoded = ReadWithZxing(ToRaster(png));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->bytes, "A B, C&x=1");
}

class IgnoredValues : public ::testing::TestWithParam<const char*> {};

TEST_P(IgnoredValues, DrawExactlyTheDefault) {
  static const std::optional<PngInfo> reference = FetchImage("");
  ASSERT_TRUE(reference);
  const auto png = FetchImage(GetParam());
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, reference->width);
  EXPECT_EQ(png->height, reference->height);
  EXPECT_TRUE(png->rgb == reference->rgb) << "pixels differ from the default picture";
}

INSTANTIATE_TEST_SUITE_P(Cases, IgnoredValues,
                         ::testing::Values("fmt=31", "fmt=-1", "fmt=0", "mode=7", "mode=-1", "angle=45", "angle=-90",
                                           "angle=360", "alignh=3", "alignv=3", "alignh=-1", "quiet=2", "qsize=1",
                                           "xdim=0", "xdim=-3", "w=700", "h=0", "help", "debug=1", "data=1234567",
                                           "bcolor=ffffff", "fcolor=000000", "fcolor=", "Data=xyz", "W=50",
                                           "unknown=1", "fmt=40", "shape=3", "shape=2", "shape=1&fmt=2", "dmre=0",
                                           "fmt=31&dmre=0", "xmm=0.5", "dpi=0&xmm=0.5", "dpi=4801&xmm=0.5",
                                           "dpi=300&xmm=0", "dpi=300&xmm=x"),
                         [](const auto& info) { return CaseName(info.param); });

// The response of a GET request that must succeed, without its time fields.
std::string TimelessResponse(const std::string& query) {
  const ProcessResult result = RunCgi(GetRequest(query));
  EXPECT_EQ(result.exitStatus, 0) << query;
  return WithoutPngTime(result.output);
}

TEST(PhysicalSize, ModuleSizeFromMillimetresAtTheResolution) {
  const auto printed = FetchImage("dpi=300&xmm=0.5");
  const auto sixPixels = FetchImage("xdim=6");
  ASSERT_TRUE(printed && sixPixels);
  EXPECT_EQ(printed->width, 14u * 6);  // 12 x 12 modules and a one-module quiet zone, 6 pixels each
  EXPECT_EQ(printed->height, 14u * 6);
  EXPECT_TRUE(printed->rgb == sixPixels->rgb);
  const PngChunk* phys = printed->FindChunk("pHYs");
  ASSERT_NE(phys, nullptr);
  EXPECT_EQ(ReadBigEndian32(phys->data, 0), 11811u);
  EXPECT_EQ(ReadBigEndian32(phys->data, 4), 11811u);
  EXPECT_EQ(phys->data.at(8), 1);  // per metre
  EXPECT_EQ(sixPixels->FindChunk("pHYs"), nullptr);
}

// dpi alone changes nothing but the added chunk; xmm alone changes nothing at all.
TEST(PhysicalSize, ResolutionAloneOnlyAddsThePhysChunk) {
  for (const char* query : {"data=1234567", "data=DMRE&shape=1&dmre=1&angle=90"}) {
    SCOPED_TRACE(query);
    const std::string plain = TimelessResponse(query);
    std::string withDpi = TimelessResponse(std::string(query) + "&dpi=300");
    const std::size_t type = withDpi.find("pHYs");
    ASSERT_NE(type, std::string::npos);
    withDpi.erase(type - 4, 4 + 4 + 9 + 4);  // length, type, payload, CRC
    EXPECT_TRUE(withDpi == plain);
    EXPECT_TRUE(TimelessResponse(std::string(query) + "&xmm=0.5") == plain);
  }
}

// The request tables below name each case after its query.
template <typename Case>
std::string QueryName(const ::testing::TestParamInfo<Case>& info) {
  return CaseName(info.param.query);
}

struct ColorCase {
  const char* query;
  uint32_t background;
  uint32_t foreground;
};

void PrintTo(const ColorCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.query); }

class Colors : public ::testing::TestWithParam<ColorCase> {};

TEST_P(Colors, PaintBackgroundAndModules) {
  const ColorCase& c = GetParam();
  const auto png = FetchImage(c.query);
  ASSERT_TRUE(png);
  ASSERT_EQ(png->width, 70u);
  EXPECT_EQ(png->PixelRgb(kQuietX, kQuietY), c.background);
  EXPECT_EQ(png->PixelRgb(kLightX, kLightY), c.background);
  EXPECT_EQ(png->PixelRgb(kCornerX, kCornerY), c.foreground);
  std::set<uint32_t> used;
  for (uint32_t y = 0; y < png->height; ++y) {
    for (uint32_t x = 0; x < png->width; ++x) {
      used.insert(png->PixelRgb(x, y));
    }
  }
  EXPECT_EQ(used, (std::set<uint32_t>{c.background, c.foreground}));
}

INSTANTIATE_TEST_SUITE_P(Cases, Colors,
                         ::testing::Values(ColorCase{"", kWhite, kBlack}, ColorCase{"bcolor=ff0000", 0xFF0000, kBlack},
                                           ColorCase{"bcolor=FF0000", 0xFF0000, kBlack},
                                           ColorCase{"bcolor=%23ff0000&fcolor=ffffff", kBlack, kWhite},
                                           ColorCase{"bcolor=ff00zz", 0x00FF00, kBlack},
                                           ColorCase{"fcolor=0000ff", kWhite, 0x0000FF},
                                           ColorCase{"fcolor=123456&bcolor=abcdef", 0xABCDEF, 0x123456},
                                           ColorCase{"fcolor=1ff0000", kWhite, 0xFF0000}),
                         QueryName<ColorCase>);

struct AlignCase {
  const char* query;
  uint32_t firstDarkColumn;
  uint32_t firstDarkRow;
};

void PrintTo(const AlignCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.query); }

class Alignment : public ::testing::TestWithParam<AlignCase> {};

// 14 x 14 modules in 110 x 110 pixels: 7 pixels per module, 12 pixels to spare each way.
TEST_P(Alignment, PlacesTheSymbol) {
  const AlignCase& c = GetParam();
  const auto png = FetchImage(std::string("w=110&h=110&") + c.query);
  ASSERT_TRUE(png);
  uint32_t left = png->width;
  uint32_t top = png->height;
  for (uint32_t y = 0; y < png->height; ++y) {
    for (uint32_t x = 0; x < png->width; ++x) {
      if (png->PixelRgb(x, y) == kBlack) {
        left = std::min(left, x);
        top = std::min(top, y);
      }
    }
  }
  EXPECT_EQ(left, c.firstDarkColumn);
  EXPECT_EQ(top, c.firstDarkRow);
}

INSTANTIATE_TEST_SUITE_P(Cases, Alignment,
                         ::testing::Values(AlignCase{"", 13, 13}, AlignCase{"alignh=0", 7, 13},
                                           AlignCase{"alignh=left", 7, 13}, AlignCase{"alignh=1", 13, 13},
                                           AlignCase{"alignh=2", 18, 13}, AlignCase{"alignh=3", 13, 13},
                                           AlignCase{"alignv=0", 13, 7}, AlignCase{"alignv=top", 13, 7},
                                           AlignCase{"alignv=2", 13, 18}, AlignCase{"alignv=3", 13, 13},
                                           AlignCase{"alignh=2&alignv=0&quiet=0", 1, 0}),
                         QueryName<AlignCase>);

struct TurnCase {
  const char* query;
  // Where pixel (x, y) of the turned picture comes from in the upright one (side n).
  std::function<std::pair<uint32_t, uint32_t>(uint32_t x, uint32_t y, uint32_t n)> source;
};

void PrintTo(const TurnCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.query); }

class Orientation : public ::testing::TestWithParam<TurnCase> {};

TEST_P(Orientation, TurnsTheDefaultPicture) {
  static const std::optional<PngInfo> upright = FetchImage("");
  ASSERT_TRUE(upright);
  const auto turned = FetchImage(GetParam().query);
  ASSERT_TRUE(turned);
  ASSERT_EQ(turned->width, upright->width);
  ASSERT_EQ(turned->height, upright->height);
  const uint32_t n = upright->width;
  uint32_t mismatches = 0;
  for (uint32_t y = 0; y < n; ++y) {
    for (uint32_t x = 0; x < n; ++x) {
      const auto [sx, sy] = GetParam().source(x, y, n);
      mismatches += turned->PixelRgb(x, y) != upright->PixelRgb(sx, sy) ? 1 : 0;
    }
  }
  EXPECT_EQ(mismatches, 0u);
  const auto decoded = ReadWithZxing(ToRaster(*turned));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->bytes, "1234567");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Orientation,
    ::testing::Values(
        // 90: a quarter turn counter-clockwise, the upright top row becomes the left column.
        TurnCase{"angle=90", [](uint32_t x, uint32_t y, uint32_t n) { return std::make_pair(n - 1 - y, x); }},
        TurnCase{"angle=180", [](uint32_t x, uint32_t y, uint32_t n) { return std::make_pair(n - 1 - x, n - 1 - y); }},
        TurnCase{"angle=270", [](uint32_t x, uint32_t y, uint32_t n) { return std::make_pair(y, n - 1 - x); }}),
    QueryName<TurnCase>);

}  // namespace
