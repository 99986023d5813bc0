// The compact PNG (compact=1) against today's 24-bit PNG of the same request: the same pixels
// and result codes over a table of varied requests, one bit per pixel in the colour type the
// colours allow, no text, time or gamma chunk, the pHYs of dpi kept, the same bytes every time,
// at most 0.35 x the bytes for the three requests the benchmarks use, and readable by zxing-cpp.
// Below the requests, the writer on layouts that clip the symbol at the image's edges and on
// streams that fail part-way.

#include "png/CompactPngWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "request/QueryString.h"
#include "request/RequestHandler.h"
#include "request/DataMatrixBarcode.h"
#include "render/DrawingGeometry.h"
#include "render/RgbImage.h"
#include "render/SymbolLayout.h"
#include "support/CaseName.h"
#include "support/Decoders.h"
#include "support/PngReader.h"
#include "support/ReadBack.h"

using namespace korvex::internal;

namespace {

constexpr int kGrey = 0;     // PNG colour type of a greyscale image
constexpr int kPalette = 3;  // and of a palette image

Answer AnswerTo(const std::string& query, const RequestLimits& limits = RequestLimits()) {
  QueryString parameters(query.c_str());
  return AnswerParameters(parameters, limits);
}

// compact=1 put first, where the lookup finds it whatever the rest says.
std::string Compact(const std::string& query) { return query.empty() ? "compact=1" : "compact=1&" + query; }

PngInfo ReadBackPng(const std::string& bytes) {
  PngInfo png;
  std::string error;
  EXPECT_TRUE(ReadPng(bytes, png, &error)) << error;
  return png;
}

struct CompactCase {
  std::string query;
  int colorType;      // of the compact image
  int paletteSize;    // entries of its PLTE (palette images only)
  bool readable;      // dark modules on a light background, which a reader takes as they are
};

void PrintTo(const CompactCase& c, std::ostream* os) { *os << (c.query.empty() ? "(no parameters)" : c.query); }

class CompactPngRequest : public ::testing::TestWithParam<CompactCase> {};

TEST_P(CompactPngRequest, HasTodaysPixelsInOneBitAndNoClock) {
  const CompactCase& c = GetParam();
  const Answer today = AnswerTo(c.query);
  const Answer compact = AnswerTo(Compact(c.query));
  ASSERT_EQ(today.code, 0);
  ASSERT_EQ(compact.code, 0) << compact.detail;
  EXPECT_EQ(std::string(compact.ContentType()), "image/png");
  EXPECT_FALSE(today.reproducible);
  EXPECT_TRUE(compact.reproducible);
  EXPECT_EQ(AnswerTo(Compact(c.query)).body, compact.body) << "the same request, other bytes";

  const PngInfo expected = ReadBackPng(today.body);
  const PngInfo png = ReadBackPng(compact.body);
  ASSERT_EQ(png.width, expected.width);
  ASSERT_EQ(png.height, expected.height);
  EXPECT_TRUE(png.rgb == expected.rgb) << "the pixels differ from today's PNG";
  EXPECT_EQ(png.bitDepth, 1);
  EXPECT_EQ(png.colorType, c.colorType);
  EXPECT_EQ(png.interlace, 0);
  const PngChunk* palette = png.FindChunk("PLTE");
  if (c.colorType == kPalette) {
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette->data.size(), 3u * static_cast<std::size_t>(c.paletteSize));
  } else {
    EXPECT_EQ(palette, nullptr);
  }
  for (const char* absent : {"tEXt", "zTXt", "iTXt", "tIME", "gAMA"}) EXPECT_EQ(png.FindChunk(absent), nullptr) << absent;
  // The pHYs chunk exactly when today's PNG has one, with the same values.
  const PngChunk* phys = png.FindChunk("pHYs");
  const PngChunk* expectedPhys = expected.FindChunk("pHYs");
  ASSERT_EQ(phys != nullptr, expectedPhys != nullptr);
  if (phys != nullptr) {
    EXPECT_EQ(phys->data, expectedPhys->data);
  }
  EXPECT_LT(compact.body.size(), today.body.size());

  if (c.readable) {
    const std::optional<Decoded> read = ReadWithZxing(OnPage(ToRaster(png), 20));
    EXPECT_TRUE(read.has_value()) << "zxing-cpp does not read the compact image";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, CompactPngRequest,
    ::testing::Values(
        CompactCase{"", kGrey, 0, true},
        CompactCase{"data=Korvex+label+0001234567&w=200&h=200", kGrey, 0, true},
        CompactCase{"fmt=24&w=699&h=699", kGrey, 0, true},
        // Colours: white on black is greyscale too, with the bits the other way round; any
        // other pair is a palette, of one entry when both are the same.
        CompactCase{"bcolor=000000&fcolor=ffffff&data=Inverted", kGrey, 0, false},
        CompactCase{"bcolor=ffff00&fcolor=000080&data=Colours", kPalette, 2, true},
        CompactCase{"fcolor=808080&data=Grey+modules", kPalette, 2, true},
        CompactCase{"bcolor=000000&fcolor=000000", kGrey, 0, false},
        CompactCase{"bcolor=ffffff&fcolor=ffffff", kGrey, 0, false},
        CompactCase{"bcolor=204080&fcolor=204080", kPalette, 1, false},
        CompactCase{"bcolor=000000&fcolor=ff0000&w=90&h=60", kPalette, 2, false},
        // Angles, alignments and sizes that are no multiple of a byte or of the module.
        CompactCase{"data=Turned&angle=90&fmt=27&w=211&h=150", kGrey, 0, true},
        // zxing-cpp misses this one, today's PNG of it too (libdmtx reads both).
        CompactCase{"data=Turned&angle=90&fmt=27&w=211&h=150&alignh=2&alignv=0", kGrey, 0, false},
        CompactCase{"data=Half+turn&angle=180&alignh=0&alignv=2&w=101&h=77", kGrey, 0, true},
        CompactCase{"data=Quarter&angle=270&quiet=0&w=97&h=131&alignh=1&alignv=1", kGrey, 0, true},
        CompactCase{"data=123456&quiet=0&alignh=2&alignv=2&w=12&h=12", kGrey, 0, false},
        CompactCase{"w=144&h=144&quiet=1&qsize=0&alignh=2&alignv=2&fmt=24", kGrey, 0, false},
        CompactCase{"data=Quiet+zone&qsize=4&xdim=3", kGrey, 0, true},
        CompactCase{"data=ABC&fmt=25&angle=90&xdim=1", kGrey, 0, false},
        CompactCase{"data=Rectangle&shape=1&xdim=7&bcolor=fff0e0", kPalette, 2, true},
        CompactCase{"data=DMRE+symbol&dmre=1&fmt=40&xdim=4", kGrey, 0, true},
        // Resolution: the pHYs chunk of today's PNG, from dpi alone and with xmm.
        CompactCase{"dpi=300&data=Printed", kGrey, 0, true},
        CompactCase{"dpi=600&xmm=0.5&data=Printed+at+0.5+mm", kGrey, 0, true},
        CompactCase{"gs1=1&data=(01)09501101530003(17)270630(10)AB-123", kGrey, 0, true},
        // The largest image the raster cap allows.
        CompactCase{"xdim=32&mode=1&data=" + std::string(3110, '7'), kGrey, 0, false}),
    // Named by the start of the query: the longest one holds 3,110 digits.
    [](const ::testing::TestParamInfo<CompactCase>& info) { return CaseName(info.param.query.substr(0, 80)); });

// The benchmarks' three requests: the default one, the 200 x 200 label and the 699 x 699 symbol.
TEST(CompactPng, TheBenchmarkRequestsTakeAtMost035TimesTodaysBytes) {
  for (const std::string query : {"", "data=Korvex+label+0001234567&w=200&h=200", "fmt=24&w=699&h=699"}) {
    const std::size_t today = AnswerTo(query).body.size();
    const std::size_t compact = AnswerTo(Compact(query)).body.size();
    std::printf("[ %s ] %zu bytes, compact %zu (%.3f x)\n", query.c_str(), today, compact,
                static_cast<double>(compact) / static_cast<double>(today));
    EXPECT_LE(static_cast<double>(compact), 0.35 * static_cast<double>(today)) << query;
  }
}

// Whatever today's PNG refuses, with its code, the compact one refuses alike; the SVG does not
// change with compact.
TEST(CompactPng, RefusesWhatTodaysPngRefusesAndLeavesTheSvgAlone) {
  RequestLimits small;
  small.maxPixels = 4000;  // below the default image's 70 x 70
  const struct {
    std::string query;
    RequestLimits limits;
  } cases[] = {
      {"w=11&h=11", {}},          {"w=11&h=11&debug=1", {}}, {"xdim=1000", {}},  {"xdim=1000&debug=1", {}},
      {"qsize=-1", {}},           {"fmt=1&data=123456789", {}}, {"w=100&h=100&qsize=40000", {}},
      {"xdim=33&mode=1&data=" + std::string(3110, '7'), {}}, {"", small}, {"debug=1", small},
      {"gs1=1&data=(01)09501101530004&debug=1", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const Answer today = AnswerTo(c.query, c.limits);
    const Answer compact = AnswerTo(Compact(c.query), c.limits);
    EXPECT_NE(today.code, 0);
    EXPECT_EQ(compact.code, today.code);
    EXPECT_EQ(compact.status, today.status);
    EXPECT_EQ(std::string(compact.ContentType()), today.ContentType());
    EXPECT_EQ(compact.body, today.body);
  }
  for (const std::string query : {"out=svg", "out=svg&angle=90&bcolor=204080&w=300&h=120&dpi=300"}) {
    EXPECT_EQ(AnswerTo(Compact(query)).body, AnswerTo(query).body) << query;
  }
  // compact=0, and a value without digits, leave today's PNG.
  for (const std::string query : {"compact=0", "compact=no", "compact="}) {
    EXPECT_EQ(ReadBackPng(AnswerTo(query).body).bitDepth, 8) << query;
  }
}

// ---------------------------------------------------------------------------------------------
// The writer on layouts the request handler does not make: modules cut off at every edge.

struct FailingSink {
  std::size_t limit = 0;
  std::string accepted;
  bool failed = false;
  int writesAfterFailure = 0;
};

ssize_t SinkWrite(void* cookie, const char* data, std::size_t size) {
  auto* sink = static_cast<FailingSink*>(cookie);
  if (sink->failed) {
    ++sink->writesAfterFailure;
    return 0;
  }
  if (sink->accepted.size() + size > sink->limit) {
    sink->failed = true;
    return 0;
  }
  sink->accepted.append(data, size);
  return static_cast<ssize_t>(size);
}

// What the writer puts into a stream that takes at most limit bytes, unbuffered; written
// tells whether the writer reported the stream whole.
FailingSink WriteIntoSink(const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t dpi, std::size_t limit,
                          bool& written) {
  FailingSink sink;
  sink.limit = limit;
  cookie_io_functions_t functions{};
  functions.write = SinkWrite;
  FILE* stream = fopencookie(&sink, "w", functions);
  if (stream == nullptr) {
    ADD_FAILURE() << "fopencookie failed";
    return sink;
  }
  std::setvbuf(stream, nullptr, _IONBF, 0);
  written = WriteCompactPng(stream, matrix, layout, dpi);
  std::fclose(stream);
  return sink;
}

struct Drawn {
  EncodedSymbol symbol;
  SymbolLayout layout;
};

// The symbol of data laid out in a width x height image, or nothing.
bool LayOut(Drawn& drawn, const std::string& data, int32_t width, int32_t height, uint32_t back, uint32_t fore) {
  DataMatrixBarcode barcode;
  if (barcode.SetDataToEncode(data) != Result::Ok) return false;
  DrawingProperties drawing;
  drawing.backColor = back;
  drawing.foreColor = fore;
  const StatusOr<SymbolLayout> layout = ComputeLayout(barcode.CurrentFormat(), drawing, DrawRect(0, 0, width, height));
  if (!layout.Ok()) return false;
  drawn.symbol = barcode.Symbol();
  drawn.layout = *layout;
  return true;
}

TEST(CompactPngWriter, ClipsModulesAtTheEdgesAsTheRasterDoes) {
  struct Shift {
    int32_t x, y, moduleSize;
  };
  // Symbol starting left of and above the image, running past its right and bottom edges,
  // and lying wholly outside it.
  const Shift shifts[] = {{-3, -2, 5}, {-17, 4, 3}, {40, 33, 7}, {1, 1, 11}, {-200, 0, 2}, {0, 90, 4}};
  for (const uint32_t fore : {0x000000u, 0x0000FFu}) {
    for (const Shift& shift : shifts) {
      SCOPED_TRACE("x " + std::to_string(shift.x) + ", y " + std::to_string(shift.y) + ", module " +
                   std::to_string(shift.moduleSize) + ", colour " + std::to_string(fore));
      Drawn drawn;
      ASSERT_TRUE(LayOut(drawn, "Clipped at the edges", 83, 61, 0xFFFFFF, fore));
      drawn.layout.x = shift.x;
      drawn.layout.y = shift.y;
      drawn.layout.moduleSize = shift.moduleSize;
      RgbImage raster(83, 61, 0xFFFFFF, -2);
      ASSERT_TRUE(raster.AllocateRows());
      PaintSymbol(raster, drawn.symbol.matrix, drawn.layout);
      std::vector<uint8_t> expected;
      for (int32_t y = 0; y < raster.Height(); ++y) expected.insert(expected.end(), raster.Row(y), raster.Row(y) + 3 * 83);

      bool written = false;
      const FailingSink sink = WriteIntoSink(drawn.symbol.matrix, drawn.layout, 0, 1 << 20, written);
      EXPECT_TRUE(written);
      EXPECT_TRUE(ReadBackPng(sink.accepted).rgb == expected);
      // And the bytes the request road gets are that stream.
      const StatusOr<std::string> bytes = WriteCompactPng(drawn.symbol.matrix, drawn.layout, 0);
      ASSERT_TRUE(bytes.Ok());
      EXPECT_EQ(*bytes, sink.accepted);
    }
  }
}

TEST(CompactPngWriter, StopsAtTheFirstFailedWriteAndSaysSo) {
  Drawn drawn;
  ASSERT_TRUE(LayOut(drawn, std::string(600, 'K'), 699, 699, 0xFFFFFF, 0));
  const SymbolMatrix& matrix = drawn.symbol.matrix;
  bool written = false;
  const std::size_t fullSize = WriteIntoSink(matrix, drawn.layout, 300, 1 << 22, written).accepted.size();
  ASSERT_TRUE(written);
  ASSERT_GT(fullSize, 2000u);
  // Nothing at all, inside the signature and header chunks, inside the image data, before IEND.
  for (const std::size_t limit : {std::size_t{0}, std::size_t{5}, std::size_t{30}, std::size_t{60}, fullSize / 2,
                                  fullSize - 12, fullSize - 1}) {
    SCOPED_TRACE(limit);
    const FailingSink sink = WriteIntoSink(matrix, drawn.layout, 300, limit, written);
    EXPECT_FALSE(written);
    EXPECT_TRUE(sink.failed);
    EXPECT_EQ(sink.writesAfterFailure, 0);
    PngInfo png;
    EXPECT_FALSE(ReadPng(sink.accepted, png));
  }
}

TEST(CompactPngWriter, WritesNothingWithoutAnImage) {
  Drawn drawn;
  ASSERT_TRUE(LayOut(drawn, "x", 40, 40, 0xFFFFFF, 0));
  const SymbolMatrix& matrix = drawn.symbol.matrix;
  bool written = true;
  EXPECT_FALSE(WriteCompactPng(nullptr, matrix, drawn.layout, 0));
  SymbolLayout moved = drawn.layout;
  moved.area = DrawRect(5, 0, 45, 40);
  EXPECT_EQ(WriteIntoSink(matrix, moved, 0, 1 << 20, written).accepted, "");
  EXPECT_FALSE(written);
  EXPECT_EQ(WriteCompactPng(matrix, moved, 0).Code(), Result::PngInitFailed);
  SymbolLayout empty = drawn.layout;
  empty.area = DrawRect(0, 0, 0, 40);
  EXPECT_EQ(WriteIntoSink(matrix, empty, 0, 1 << 20, written).accepted, "");
  EXPECT_FALSE(written);
  EXPECT_EQ(WriteCompactPng(matrix, empty, 0).Code(), Result::PngInitFailed);
}

}  // namespace
