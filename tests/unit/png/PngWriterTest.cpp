#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "encoder/EncodingPipeline.h"
#include "png/PngWriter.h"
#include "render/DrawingGeometry.h"
#include "render/RgbImage.h"
#include "render/SymbolLayout.h"
#include "support/CaseName.h"
#include "support/PngReader.h"

using namespace korvex::internal;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Everything WritePng writes, read back from a temporary file.
std::string WriteToString(RgbImage& image) {
  FilePtr file(std::tmpfile());
  if (!file) {
    ADD_FAILURE() << "tmpfile failed";
    return {};
  }
  image.WritePng(file.get());
  std::fflush(file.get());
  std::rewind(file.get());
  std::string bytes;
  std::array<char, 4096> buffer{};
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) bytes.append(buffer.data(), got);
  return bytes;
}

// An image with a few colours in it, so that every pixel byte matters.
std::unique_ptr<RgbImage> PatternImage(int32_t width, int32_t height) {
  auto image = std::make_unique<RgbImage>(width, height, kWhite, -2);
  if (!image->AllocateRows()) return image;
  image->FillRect(0, 0, width / 2 + 1, height / 2 + 1, 0x0000FF);
  image->FillRect(width / 3, height / 3, width / 2 + 1, 2, 0x563412);
  image->FillRect(width - 1, 0, 1, height, 0x808080);
  image->FillRect(0, height - 1, width, 1, 0x00FF00);
  return image;
}

// Pseudo-random pixels, so that the compressed data is large.
std::unique_ptr<RgbImage> NoiseImage(int32_t width, int32_t height) {
  auto image = std::make_unique<RgbImage>(width, height, kWhite, -2);
  if (!image->AllocateRows()) return image;
  uint32_t state = 12345;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      image->FillRect(x, y, 1, 1, state >> 8);
    }
  }
  return image;
}

std::vector<uint8_t> RasterBytes(const RgbImage& image) {
  std::vector<uint8_t> bytes;
  for (int32_t y = 0; y < image.Height(); ++y) {
    bytes.insert(bytes.end(), image.Row(y), image.Row(y) + 3 * image.Width());
  }
  return bytes;
}

PngInfo ReadOrFail(const std::string& bytes) {
  PngInfo info;
  std::string error;
  EXPECT_TRUE(ReadPng(bytes, info, &error)) << error;
  return info;
}

std::vector<uint8_t> IdatData(const PngInfo& info) {
  std::vector<uint8_t> data;
  for (const PngChunk& chunk : info.chunks) {
    if (chunk.type == "IDAT") data.insert(data.end(), chunk.data.begin(), chunk.data.end());
  }
  return data;
}

// ---------------------------------------------------------------------------------------------

struct SizeCase {
  int32_t width;
  int32_t height;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.width << " x " << c.height; }

class PngHeaderTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PngHeaderTest, HeaderChunksAndPixels) {
  const SizeCase size = GetParam();
  auto image = PatternImage(size.width, size.height);
  const std::string bytes = WriteToString(*image);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  const PngInfo info = ReadOrFail(bytes);

  EXPECT_EQ(info.width, static_cast<uint32_t>(size.width));
  EXPECT_EQ(info.height, static_cast<uint32_t>(size.height));
  EXPECT_EQ(info.bitDepth, 8);
  EXPECT_EQ(info.colorType, 2);
  EXPECT_EQ(info.compression, 0);
  EXPECT_EQ(info.filter, 0);
  EXPECT_EQ(info.interlace, 0);

  const std::vector<std::string> types = info.ChunkTypes();
  const std::vector<std::string> head{"IHDR", "gAMA", "tIME", "tEXt", "tEXt", "tEXt", "tEXt", "tEXt"};
  ASSERT_GE(types.size(), head.size() + 2);
  EXPECT_EQ(std::vector<std::string>(types.begin(), types.begin() + static_cast<long>(head.size())), head);
  for (std::size_t i = head.size(); i + 1 < types.size(); ++i) EXPECT_EQ(types[i], "IDAT") << "chunk " << i;
  EXPECT_EQ(types.back(), "IEND");

  EXPECT_EQ(info.rgb, RasterBytes(*image));
}

INSTANTIATE_TEST_SUITE_P(Sizes, PngHeaderTest,
                         ::testing::Values(SizeCase{60, 60}, SizeCase{1, 1}, SizeCase{699, 3}, SizeCase{3, 699},
                                           SizeCase{699, 699}),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

// Pixels per metre in both directions and the unit byte (1 = metre), as the pHYs chunk holds them.
struct ResolutionCase {
  int32_t dpi;
  uint32_t pixelsPerMetre;
};

TEST(PngWriter, ResolutionAddsOnlyAPhysChunk) {
  auto plain = PatternImage(20, 10);
  const PngInfo without = ReadOrFail(WriteToString(*plain));
  EXPECT_EQ(without.FindChunk("pHYs"), nullptr);
  const ResolutionCase cases[] = {{300, 11811}, {1, 39}, {72, 2835}, {600, 23622}, {4800, 188976}};
  for (const ResolutionCase& c : cases) {
    SCOPED_TRACE(c.dpi);
    auto image = PatternImage(20, 10);
    image->SetResolutionDpi(c.dpi);
    const PngInfo info = ReadOrFail(WriteToString(*image));
    const PngChunk* phys = info.FindChunk("pHYs");
    ASSERT_NE(phys, nullptr);
    ASSERT_EQ(phys->data.size(), 9u);
    EXPECT_EQ(ReadBigEndian32(phys->data, 0), c.pixelsPerMetre);
    EXPECT_EQ(ReadBigEndian32(phys->data, 4), c.pixelsPerMetre);
    EXPECT_EQ(phys->data[8], 1);
    // The same stream otherwise: every other chunk in its place, the pixels unchanged.
    std::vector<std::string> types = info.ChunkTypes();
    const auto at = std::find(types.begin(), types.end(), "pHYs");
    EXPECT_LT(at - types.begin(), std::find(types.begin(), types.end(), "IDAT") - types.begin());
    types.erase(at);
    EXPECT_EQ(types, without.ChunkTypes());
    EXPECT_EQ(info.rgb, without.rgb);
  }
}

TEST(PngWriter, RedPixelDecodesAsPureRed) {
  RgbImage image(2, 1, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  image.FillRect(0, 0, 1, 1, 0x0000FF);
  const PngInfo info = ReadOrFail(WriteToString(image));
  ASSERT_EQ(info.rgb.size(), 6u);
  EXPECT_EQ(info.PixelRgb(0, 0), 0xFF0000u);
  EXPECT_EQ(info.PixelRgb(1, 0), 0xFFFFFFu);
}

TEST(PngWriter, TextEntriesInOrder) {
  RgbImage image(60, 60, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  const PngInfo info = ReadOrFail(WriteToString(image));
  ASSERT_EQ(info.texts.size(), 5u);
  EXPECT_EQ(info.texts[0], (std::pair<std::string, std::string>{"Title", "Title_Text"}));
  EXPECT_EQ(info.texts[1], (std::pair<std::string, std::string>{"Author", "Author_Text"}));
  EXPECT_EQ(info.texts[2], (std::pair<std::string, std::string>{"Description", "Description_Text"}));
  EXPECT_EQ(info.texts[3].first, "Creation Time");
  EXPECT_EQ(info.texts[4], (std::pair<std::string, std::string>{"Software", "Software_Text"}));
}

TEST(PngWriter, CreationTimeMatchesTimeChunkAndTheClock) {
  RgbImage image(60, 60, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  const std::time_t before = std::time(nullptr);
  const PngInfo info = ReadOrFail(WriteToString(image));
  const std::time_t after = std::time(nullptr);

  const std::string* creationTime = info.FindText("Creation Time");
  ASSERT_NE(creationTime, nullptr);
  const std::regex rfc1123(
      "^[1-9][0-9]? (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} \\+0000$");
  EXPECT_TRUE(std::regex_match(*creationTime, rfc1123)) << *creationTime;

  const PngChunk* time = info.FindChunk("tIME");
  ASSERT_NE(time, nullptr);
  ASSERT_EQ(time->data.size(), 7u);
  const int year = (time->data[0] << 8) | time->data[1];
  const int month = time->data[2];
  const int day = time->data[3];
  const int hour = time->data[4];
  const int minute = time->data[5];
  const int second = time->data[6];
  ASSERT_GE(month, 1);
  ASSERT_LE(month, 12);
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char expected[40];
  std::snprintf(expected, sizeof expected, "%d %s %d %02d:%02d:%02d +0000", day, kMonths[month - 1], year, hour,
                minute, second);
  EXPECT_EQ(*creationTime, expected);

  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  const std::time_t written = timegm(&fields);
  EXPECT_GE(written, before);
  EXPECT_LE(written, after);
}

struct GammaCase {
  double gamma;
  uint32_t stored;
  double gammaAfterWrite;
};

void PrintTo(const GammaCase& c, std::ostream* os) { *os << "gamma " << c.gamma; }

class PngGammaTest : public ::testing::TestWithParam<GammaCase> {};

TEST_P(PngGammaTest, GamaChunkCarriesTheGamma) {
  const GammaCase c = GetParam();
  RgbImage image(4, 4, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  image.SetGamma(c.gamma);
  const PngInfo info = ReadOrFail(WriteToString(image));
  const PngChunk* gama = info.FindChunk("gAMA");
  ASSERT_NE(gama, nullptr);
  ASSERT_EQ(gama->data.size(), 4u);
  EXPECT_EQ(ReadBigEndian32(gama->data, 0), c.stored);
  EXPECT_DOUBLE_EQ(image.Gamma(), c.gammaAfterWrite);
}

INSTANTIATE_TEST_SUITE_P(Cases, PngGammaTest,
                         ::testing::Values(GammaCase{0.5, 50000, 0.5}, GammaCase{0.1, 10000, 0.1},
                                           GammaCase{0.05, 70000, 0.7}, GammaCase{0.0, 70000, 0.7},
                                           GammaCase{1.0, 100000, 1.0}, GammaCase{0.45455, 45455, 0.45455}),
                         [](const auto& info) { return "Gamma_" + CaseName(info.param.gamma); });

TEST(PngWriter, DefaultGammaOfANewImageIs50000) {
  RgbImage image(60, 60, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  const PngInfo info = ReadOrFail(WriteToString(image));
  const PngChunk* gama = info.FindChunk("gAMA");
  ASSERT_NE(gama, nullptr);
  EXPECT_EQ(ReadBigEndian32(gama->data, 0), 50000u);
}

struct LevelCase {
  int32_t level;
  int zlibLevelFlag;  // FLEVEL of the zlib stream header
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << "level " << c.level; }

class PngCompressionTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(PngCompressionTest, PassesTheLevelToZlib) {
  const LevelCase c = GetParam();
  RgbImage image(50, 40, kWhite, c.level);
  ASSERT_TRUE(image.AllocateRows());
  image.FillRect(5, 5, 20, 20, 0x0000FF);
  const PngInfo info = ReadOrFail(WriteToString(image));
  const std::vector<uint8_t> idat = IdatData(info);
  ASSERT_GE(idat.size(), 2u);
  EXPECT_EQ(idat[1] >> 6, c.zlibLevelFlag);
  EXPECT_EQ(info.rgb, RasterBytes(image));
}

INSTANTIATE_TEST_SUITE_P(Levels, PngCompressionTest,
                         ::testing::Values(LevelCase{-2, 2}, LevelCase{6, 2}, LevelCase{0, 0}, LevelCase{1, 0},
                                           LevelCase{3, 1}, LevelCase{9, 3}),
                         [](const auto& info) { return "Level_" + CaseName(info.param.level); });

TEST(PngWriter, DefaultLevelWritesTheSameDataAsLevelSix) {
  auto defaultLevel = NoiseImage(40, 30);
  RgbImage levelSix(40, 30, kWhite, 6);
  ASSERT_TRUE(levelSix.AllocateRows());
  for (int32_t y = 0; y < 30; ++y) {
    for (int32_t x = 0; x < 40; ++x) {
      const uint8_t* p = defaultLevel->Row(y) + 3 * x;
      levelSix.FillRect(x, y, 1, 1, p[0] | (p[1] << 8) | (p[2] << 16));
    }
  }
  EXPECT_EQ(IdatData(ReadOrFail(WriteToString(*defaultLevel))), IdatData(ReadOrFail(WriteToString(levelSix))));
}

TEST(PngWriter, SecondWriteIsAnotherCompleteStream) {
  auto image = PatternImage(30, 20);
  const PngInfo first = ReadOrFail(WriteToString(*image));
  const PngInfo second = ReadOrFail(WriteToString(*image));
  ASSERT_EQ(first.chunks.size(), second.chunks.size());
  for (std::size_t i = 0; i < first.chunks.size(); ++i) {
    const PngChunk& a = first.chunks[i];
    const PngChunk& b = second.chunks[i];
    EXPECT_EQ(a.type, b.type);
    const bool timeDependent = a.type == "tIME" || (i == 6 && a.type == "tEXt");  // "Creation Time"
    if (!timeDependent) {
      EXPECT_EQ(a.data, b.data) << "chunk " << i << " " << a.type;
    }
  }
  EXPECT_EQ(second.rgb, RasterBytes(*image));
}

TEST(PngWriter, ImageWithoutRowsWritesNothing) {
  RgbImage refused(70000, 70000, kWhite, -2);
  EXPECT_FALSE(refused.AllocateRows());
  EXPECT_EQ(WriteToString(refused), "");
  RgbImage unallocated(10, 10, kWhite, -2);
  EXPECT_EQ(WriteToString(unallocated), "");
  unallocated.WritePng(nullptr);
}

// ---------------------------------------------------------------------------------------------
// A stream that fails part way through.

struct FailingSink {
  std::size_t limit = 0;
  std::string accepted;
  bool failed = false;
  int writesAfterFailure = 0;
};

ssize_t SinkWrite(void* cookie, const char* data, std::size_t size) {
  auto* sink = static_cast<FailingSink*>(cookie);
  // A failed write reports 0 bytes written: glibc's fwrite does not pass a cookie's -1 on as a
  // short write, so the failure would not reach fwrite's caller.
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

// Writes the image into a sink that takes at most limit bytes.
FailingSink WriteIntoSink(RgbImage& image, std::size_t limit) {
  FailingSink sink;
  sink.limit = limit;
  cookie_io_functions_t functions{};
  functions.write = SinkWrite;
  FILE* stream = fopencookie(&sink, "w", functions);
  if (stream == nullptr) {
    ADD_FAILURE() << "fopencookie failed";
    return sink;
  }
  // Unbuffered, so that every write of the writer reaches the sink at once.
  std::setvbuf(stream, nullptr, _IONBF, 0);
  image.WritePng(stream);
  const int writesBeforeClose = sink.writesAfterFailure;
  std::fclose(stream);
  EXPECT_EQ(sink.writesAfterFailure, writesBeforeClose);
  return sink;
}

class PngFailingStreamTest : public ::testing::TestWithParam<double> {};

TEST_P(PngFailingStreamTest, StopsAtTheFirstFailedWrite) {
  auto image = NoiseImage(200, 150);
  const std::size_t fullSize = WriteToString(*image).size();
  ASSERT_GT(fullSize, 20000u);
  const auto limit = static_cast<std::size_t>(GetParam() * static_cast<double>(fullSize));
  const FailingSink sink = WriteIntoSink(*image, limit);
  EXPECT_TRUE(sink.failed);
  EXPECT_EQ(sink.writesAfterFailure, 0);
  EXPECT_LE(sink.accepted.size(), limit);
  if (sink.accepted.size() >= 8) {
    EXPECT_EQ(sink.accepted.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  }
  PngInfo info;
  EXPECT_FALSE(ReadPng(sink.accepted, info));
}

// Fractions of the full stream: nothing, inside the header chunks, inside the image data, and
// just before the end.
INSTANTIATE_TEST_SUITE_P(Limits, PngFailingStreamTest, ::testing::Values(0.0, 0.0001, 0.001, 0.5, 0.9, 0.99999),
                         [](const auto& info) { return "Fraction_" + CaseName(info.param); });

TEST(PngWriter, FailsAtEachBoundaryOfTheHeaderChunks) {
  RgbImage image(60, 60, kWhite, -2);
  ASSERT_TRUE(image.AllocateRows());
  const std::string full = WriteToString(image);
  // Every limit from 0 to the end of the first tEXt chunk (8 + 25 + 16 + 19 + 28 bytes).
  for (std::size_t limit = 0; limit <= 96; ++limit) {
    const FailingSink sink = WriteIntoSink(image, limit);
    EXPECT_TRUE(sink.failed) << limit;
    EXPECT_EQ(sink.writesAfterFailure, 0) << limit;
    // Up to the tIME chunk the stream does not depend on the clock.
    const std::size_t stable = std::min<std::size_t>(sink.accepted.size(), 49);
    EXPECT_EQ(sink.accepted.substr(0, stable), full.substr(0, stable)) << limit;
  }
}

TEST(PngWriter, EnoughRoomWritesTheWholeStream) {
  auto image = PatternImage(40, 40);
  const std::size_t fullSize = WriteToString(*image).size();
  const FailingSink sink = WriteIntoSink(*image, fullSize + 100);
  EXPECT_FALSE(sink.failed);
  const PngInfo info = ReadOrFail(sink.accepted);
  EXPECT_EQ(info.rgb, RasterBytes(*image));
}

TEST(PngWriter, LibpngErrorInsideTheImageDataEndsTheStream) {
  // zlib refuses this level, so libpng fails when it starts compressing the rows.
  RgbImage image(20, 20, kWhite, 42);
  ASSERT_TRUE(image.AllocateRows());
  const FailingSink sink = WriteIntoSink(image, 1u << 20);
  EXPECT_FALSE(sink.failed);
  EXPECT_EQ(sink.accepted.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(sink.accepted.find("IDAT"), std::string::npos);
  EXPECT_EQ(sink.accepted.find("IEND"), std::string::npos);
  PngInfo info;
  EXPECT_FALSE(ReadPng(sink.accepted, info));
}

void WriteToDevFull() {
  FILE* stream = std::fopen("/dev/full", "w");
  if (stream == nullptr) std::_Exit(3);
  static char buffer[64];
  std::setvbuf(stream, buffer, _IOFBF, sizeof buffer);
  auto image = NoiseImage(100, 100);
  image->WritePng(stream);
  std::fclose(stream);
  std::exit(0);
}

void WriteToClosedPipe() {
  std::signal(SIGPIPE, SIG_IGN);
  int fds[2];
  if (pipe(fds) != 0) std::_Exit(3);
  close(fds[0]);
  FILE* stream = fdopen(fds[1], "w");
  if (stream == nullptr) std::_Exit(3);
  std::setvbuf(stream, nullptr, _IONBF, 0);
  auto image = NoiseImage(100, 100);
  image->WritePng(stream);
  std::fclose(stream);
  std::exit(0);
}

TEST(PngWriterDeathTest, FullDeviceEndsTheWriteAndTheProcessExitsNormally) {
  EXPECT_EXIT(WriteToDevFull(), ::testing::ExitedWithCode(0), "");
}

TEST(PngWriterDeathTest, ClosedPipeEndsTheWriteAndTheProcessExitsNormally) {
  EXPECT_EXIT(WriteToClosedPipe(), ::testing::ExitedWithCode(0), "");
}

// The writer the request road calls: the raster that PaintRaster paints, as PNG bytes, for
// layouts that fill the image, turn the symbol or clip it; a layout without pixels has no raster.
TEST(WritePng, WritesThePaintedRasterOrFails) {
  EncodingSettings settings;
  settings.data = "WritePng";
  const StatusOr<EncodedSymbol> symbol = EncodeSymbol(settings);
  ASSERT_TRUE(symbol.Ok());
  const struct {
    int32_t orientation, width, height;
    uint32_t back;
    ResultCode code;
  } cases[] = {{0, 70, 70, kWhite, Result::Ok},
               {90, 83, 61, 0x0000FF, Result::Ok},
               {270, 30, 200, 0x808080, Result::Ok},
               {0, 0, 70, kWhite, Result::PngInitFailed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.orientation) + " degrees, " + std::to_string(c.width) + " x " +
                 std::to_string(c.height));
    DrawingProperties drawing;
    drawing.orientation = c.orientation;
    drawing.backColor = c.back;
    SymbolLayout layout;
    const StatusOr<SymbolLayout> fitted = ComputeLayout(symbol->format, drawing, DrawRect(0, 0, 200, 200));
    ASSERT_TRUE(fitted.Ok());
    layout = *fitted;
    layout.area = DrawRect(0, 0, c.width, c.height);
    const StatusOr<std::string> bytes = WritePng(symbol->matrix, layout, 300);
    ASSERT_EQ(bytes.Code(), c.code);
    if (c.code != Result::Ok) continue;
    std::vector<uint8_t> expected;
    ASSERT_TRUE(PaintRaster(symbol->matrix, layout, 300, [&](RgbImage& image) {
                  for (int32_t y = 0; y < image.Height(); ++y) {
                    expected.insert(expected.end(), image.Row(y), image.Row(y) + 3 * image.Width());
                  }
                }).Ok());
    PngInfo png;
    std::string error;
    ASSERT_TRUE(ReadPng(*bytes, png, &error)) << error;
    EXPECT_EQ(png.width, static_cast<uint32_t>(c.width));
    EXPECT_TRUE(png.rgb == expected);
    EXPECT_NE(png.FindChunk("pHYs"), nullptr);
  }
}

TEST(WriteToMemory, HoldsWhatWasWrittenOrFails) {
  // Bytes, not text: a NUL byte inside stays.
  const StatusOr<std::string> written =
      WriteToMemory([](FILE* stream) { return std::fwrite("a\0b", 1, 3, stream) == 3; });
  ASSERT_TRUE(written.Ok());
  EXPECT_EQ(*written, std::string("a\0b", 3));
  const StatusOr<std::string> refused = WriteToMemory([](FILE* stream) {
    std::fputs("part of it", stream);
    return false;
  });
  EXPECT_EQ(refused.Code(), Result::PngInitFailed);
}

}  // namespace
