// Symbols built in-process by the encoder and placement, drawn into a plain raster and read
// back by two independent decoders.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "encoder/DataMatrixBarcode.h"
#include "support/Decoders.h"

namespace {

constexpr int kModulePixels = 4;
constexpr int kQuietModules = 2;

// Characters each mode encodes one for one.
std::string SampleData(int mode, std::size_t length, uint32_t seed) {
  std::mt19937 random(seed);
  std::string data;
  for (std::size_t i = 0; i < length; ++i) {
    switch (mode) {
      case 5: data += static_cast<char>(32 + random() % 63); break;  // EDIFACT set 32..94
      case 4: {
        // Any byte but NUL and the tilde, which would start an escape.
        char c = static_cast<char>(1 + random() % 255);
        data += c == '~' ? 'x' : c;
        break;
      }
      default: data += static_cast<char>('A' + random() % 26); break;
    }
  }
  return data;
}

struct ReadBack {
  bool zxingOk = false;
  bool dmtxOk = false;
  std::string zxingBytes;
  std::string dmtxBytes;
};

ReadBack ReadSymbol(const SymbolMatrix& matrix) {
  const Raster raster = RenderMatrix(matrix, kModulePixels, kQuietModules);
  ReadBack result;
  if (auto decoded = ReadWithZxing(raster)) {
    result.zxingOk = true;
    result.zxingBytes = decoded->bytes;
  }
  if (auto decoded = ReadWithDmtx(raster)) {
    result.dmtxOk = true;
    result.dmtxBytes = decoded->bytes;
  }
  return result;
}

void ExpectReadsAs(const SymbolMatrix& matrix, const std::string& expected) {
  const ReadBack read = ReadSymbol(matrix);
  EXPECT_TRUE(read.zxingOk) << "zxing could not read " << Printable(expected);
  EXPECT_TRUE(read.dmtxOk) << "libdmtx could not read " << Printable(expected);
  if (read.zxingOk) {
    EXPECT_EQ(Printable(read.zxingBytes), Printable(expected)) << "zxing";
  }
  if (read.dmtxOk) {
    EXPECT_EQ(Printable(read.dmtxBytes), Printable(expected)) << "libdmtx";
  }
}

// The longest sample that the mode fits into the format, so that the symbol is as full as it gets.
std::string FillingData(DataMatrixBarcode& barcode, int mode, const FormatInfo& format, uint32_t seed) {
  const std::size_t start = mode == 5 ? format.dataCodewords * 4 / 3 + 2 : format.dataCodewords;
  for (std::size_t length = start; length > 0; --length) {
    const std::string data = SampleData(mode, length, seed);
    if (barcode.SetDataToEncode(data) == Result::Ok) return data;
  }
  return {};
}

}  // namespace

class EveryFormat : public testing::TestWithParam<int> {};

TEST_P(EveryFormat, FullSymbolsReadBackInAsciiBase256AndEdifact) {
  const FormatInfo& format = *FindFormat(GetParam());
  for (int mode : {1, 4, 5}) {
    SCOPED_TRACE(testing::Message() << "format " << format.id << " mode " << mode);
    DataMatrixBarcode barcode;
    ASSERT_EQ(barcode.SetUpdateLock(true), Result::Ok);
    barcode.SetEncodingMode(mode);
    barcode.SetPreferredFormat(format.id);
    barcode.SetDataToEncode("A");
    ASSERT_EQ(barcode.SetUpdateLock(false), Result::Ok);
    const std::string data = FillingData(barcode, mode, format, 1000u + format.id * 7u + mode);
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(barcode.Encoded());
    ASSERT_EQ(barcode.CurrentFormat().id, format.id);
    ExpectReadsAs(barcode.Matrix(), data);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat, testing::Range(1, 31));

class EdifactEveryLength : public testing::TestWithParam<int> {};

// Every data length meets every position of the run's end against the format's last codewords.
TEST_P(EdifactEveryLength, ReadsBackAtEveryLength) {
  const FormatInfo& format = *FindFormat(GetParam());
  DataMatrixBarcode barcode;
  barcode.SetUpdateLock(true);
  barcode.SetEncodingMode(5);
  barcode.SetPreferredFormat(format.id);
  barcode.SetUpdateLock(false);
  int encoded = 0;
  for (std::size_t length = 1; length <= format.dataCodewords * 4u / 3u + 2u; ++length) {
    const std::string data = SampleData(5, length, static_cast<uint32_t>(length));
    const ResultCode result = barcode.SetDataToEncode(data);
    if (result == Result::DataDoesNotFit) break;
    ASSERT_EQ(result, Result::Ok) << length;
    SCOPED_TRACE(testing::Message() << "length " << length);
    ExpectReadsAs(barcode.Matrix(), data);
    ++encoded;
  }
  EXPECT_GE(encoded, format.dataCodewords - 3);
}

INSTANTIATE_TEST_SUITE_P(SmallFormats, EdifactEveryLength,
                         testing::Values(1, 2, 3, 4, 5, 6, 7, 8, 9, 25, 26, 27, 28, 29, 30));

TEST(EdifactEveryLength, AutomaticFormatChoice) {
  DataMatrixBarcode barcode;
  ASSERT_EQ(barcode.SetEncodingMode(5), Result::Ok);
  for (std::size_t length = 1; length <= 120; ++length) {
    const std::string data = SampleData(5, length, 77u + static_cast<uint32_t>(length));
    ASSERT_EQ(barcode.SetDataToEncode(data), Result::Ok) << length;
    SCOPED_TRACE(testing::Message() << "length " << length);
    ExpectReadsAs(barcode.Matrix(), data);
  }
}

TEST(EdifactEnds, DigitsInTheLastCodewords) {
  DataMatrixBarcode barcode;
  ASSERT_EQ(barcode.SetEncodingMode(5), Result::Ok);
  ASSERT_EQ(barcode.SetDataToEncode("@@@@@@@@@@@@12"), Result::Ok);
  ExpectReadsAs(barcode.Matrix(), "@@@@@@@@@@@@12");
}

struct EscapeCase {
  const char* name;
  const char* data;
  int mode;
  const char* zxingBytes;  // as zxing reports the data
  const char* symbologyId;
};

// FNC1 in first position marks GS1 data (symbology identifier ]d2); elsewhere readers return it
// as the group separator. ECI designators are reported as \NNNNNN by zxing.
TEST(Escapes, ReadBackAsTheDecoderReportsThem) {
  const EscapeCase cases[] = {
      {"FNC1 first, ASCII", "~101034531200000111709112510ABCD1234", 1, "01034531200000111709112510ABCD1234", "]d2"},
      {"FNC1 first, Base256", "~1ABC", 4, "ABC", "]d2"},
      {"FNC1 first, EDIFACT", "~1ABCDEFG", 5, "ABCDEFG", "]d2"},
      {"FNC1 inside, ASCII", "AB~1CD", 1, "AB\x1D" "CD", "]d1"},
      {"FNC1 inside, Base256", "ab~1cd", 4, "ab\x1D" "cd", "]d1"},
      {"FNC1 inside, EDIFACT", "ABCDE~1FGHIJ", 5, "ABCDE\x1D" "FGHIJ", "]d1"},
      {"ECI first, ASCII", "~7000026AB", 1, "\\000026AB", "]d4"},
      {"ECI first, Base256", "~7000003\xE9t\xE9", 4, "\\000003\xE9t\xE9", "]d4"},
      {"ECI first, EDIFACT", "~7000026ABCDEF", 5, "\\000026ABCDEF", "]d4"},
  };
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    DataMatrixBarcode barcode;
    ASSERT_EQ(barcode.SetEncodingMode(c.mode), Result::Ok);
    ASSERT_EQ(barcode.SetDataToEncode(c.data), Result::Ok);
    const Raster raster = RenderMatrix(barcode.Matrix(), kModulePixels, kQuietModules);
    const auto zxing = ReadWithZxing(raster);
    ASSERT_TRUE(zxing.has_value());
    EXPECT_EQ(Printable(zxing->bytesWithEci), Printable(c.zxingBytes));
    EXPECT_EQ(zxing->symbologyId, c.symbologyId);
    EXPECT_TRUE(ReadWithDmtx(raster).has_value()) << "libdmtx";
  }
}

TEST(Orientation, EveryAngleReadsBack) {
  for (int angle : {0, 90, 180, 270}) {
    DataMatrixBarcode barcode;
    barcode.SetEncodingMode(1);
    barcode.SetPreferredFormat(28);
    barcode.SetDataToEncode("ROTATED 123");
    barcode.SetOrientation(angle);
    ASSERT_TRUE(barcode.Encoded());
    // The drawing writes the orientation into the matrix before reading it; do the same here.
    SymbolMatrix turned = barcode.Matrix();
    turned.SetOrientation(angle);
    SCOPED_TRACE(angle);
    ExpectReadsAs(turned, "ROTATED 123");
  }
}
