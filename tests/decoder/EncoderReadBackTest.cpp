// Symbols built in-process by the encoder and placement, drawn into a plain raster and read
// back by two independent decoders.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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

// libdmtx searches long before it gives up on a symbol it cannot read: it is asked only where
// it judges.
ReadBack ReadSymbol(const SymbolMatrix& matrix, bool withDmtx) {
  const Raster raster = RenderMatrix(matrix, kModulePixels, kQuietModules);
  ReadBack result;
  if (auto decoded = ReadWithZxing(raster)) {
    result.zxingOk = true;
    result.zxingBytes = decoded->bytes;
  }
  if (!withDmtx) return result;
  if (auto decoded = ReadWithDmtx(raster)) {
    result.dmtxOk = true;
    result.dmtxBytes = decoded->bytes;
  }
  return result;
}

// libdmtx deals the error-correction codewords of the 144 x 144 symbol to its blocks in plain
// rotation, not in the order that symbol uses (see Format144), and reads no DMRE symbol; there
// zxing alone judges.
void ExpectReadsAs(const SymbolMatrix& matrix, const std::string& expected, bool dmre = false) {
  const bool dmtxJudges = matrix.Rows() != 144 && !dmre;
  const ReadBack read = ReadSymbol(matrix, dmtxJudges);
  EXPECT_TRUE(read.zxingOk) << "zxing could not read " << Printable(expected);
  EXPECT_TRUE(read.dmtxOk || !dmtxJudges) << "libdmtx could not read " << Printable(expected);
  if (read.zxingOk) {
    EXPECT_EQ(Printable(read.zxingBytes), Printable(expected)) << "zxing";
  }
  if (read.dmtxOk && dmtxJudges) {
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

// Test data is written with \xHH for bytes that C++ literals would glue to the next character.
std::string Unescape(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

}  // namespace

class EveryFormat : public testing::TestWithParam<int> {};

// DMRE symbols are read at every angle as well.
TEST_P(EveryFormat, FullSymbolsReadBackInAsciiBase256AndEdifact) {
  const bool dmre = GetParam() >= kFirstDmreFormatId;
  const FormatInfo& format = *FindFormat(GetParam(), dmre);
  for (int mode : {1, 4, 5}) {
    SCOPED_TRACE(testing::Message() << "format " << format.id << " mode " << mode);
    DataMatrixBarcode barcode;
    ASSERT_EQ(barcode.SetUpdateLock(true), Result::Ok);
    barcode.SetDmre(dmre);
    barcode.SetEncodingMode(mode);
    barcode.SetPreferredFormat(format.id);
    barcode.SetDataToEncode("A");
    ASSERT_EQ(barcode.SetUpdateLock(false), Result::Ok);
    const std::string data = FillingData(barcode, mode, format, 1000u + format.id * 7u + mode);
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(barcode.Encoded());
    ASSERT_EQ(barcode.CurrentFormat().id, format.id);
    for (int angle : dmre ? std::vector<int>{0, 90, 180, 270} : std::vector<int>{0}) {
      SCOPED_TRACE(angle);
      SymbolMatrix turned = barcode.Matrix();
      turned.SetOrientation(angle);
      ExpectReadsAs(turned, data, dmre);
    }
  }
}

namespace {
std::string FormatName(const testing::TestParamInfo<int>& info) { return "Format" + std::to_string(info.param); }
}  // namespace

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat, testing::Range(1, kLastDmreFormatId + 1), FormatName);

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
                         testing::Values(1, 2, 3, 4, 5, 6, 7, 8, 9, 25, 26, 27, 28, 29, 30), FormatName);

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
  std::string data;
  int mode;
  std::string zxingBytes;   // the data bytes as zxing reports them
  const char* symbologyId;  // ]d1 plain, ]d2 FNC1 in first position (GS1)
  std::string zxingEciForm; // the data with ECI designators as zxing writes them
  std::string dmtxBytes;    // as libdmtx reports them
};

// FNC1 in first position marks GS1 data; elsewhere readers return it as the group separator
// (0x1D; libdmtx also in first position). libdmtx returns an ECI designator as the byte of its
// number. zxing gives ECI designators as \NNNNNN in its ECI form, behind the symbology
// identifier with the ECI modifier (]d4 for ]d1, ]d5 for ]d2).
TEST(Escapes, ReadBackAsTheDecodersReportThem) {
  const EscapeCase cases[] = {
      {"FNC1 first, ASCII", "~10103453120000011", 1, "0103453120000011", "]d2", "]d50103453120000011",
       "\\x1D0103453120000011"},
      {"FNC1 first, Base256", "~1ABC", 4, "ABC", "]d2", "]d5ABC", "\\x1DABC"},
      {"FNC1 first, EDIFACT", "~1ABCDEFG", 5, "ABCDEFG", "]d2", "]d5ABCDEFG", "\\x1DABCDEFG"},
      {"FNC1 inside, ASCII", "AB~1CD", 1, "AB\\x1DCD", "]d1", "]d4AB\\x1DCD", "AB\\x1DCD"},
      {"FNC1 inside, Base256", "ab~1cd", 4, "ab\\x1Dcd", "]d1", "]d4ab\\x1Dcd", "ab\\x1Dcd"},
      {"FNC1 inside, EDIFACT", "ABCDE~1FGHIJ", 5, "ABCDE\\x1DFGHIJ", "]d1", "]d4ABCDE\\x1DFGHIJ", "ABCDE\\x1DFGHIJ"},
      {"ECI first, ASCII", "~7000026AB", 1, "AB", "]d1", "]d4\\x5C000026AB", "\\x1AAB"},
      {"ECI first, Base256", "~7000003\\xE9t\\xE9", 4, "\\xE9t\\xE9", "]d1", "]d4\\x5C000003\\xE9t\\xE9", "\\x03\\xE9t\\xE9"},
      {"ECI first, EDIFACT", "~7000026ABCDEF", 5, "ABCDEF", "]d1", "]d4\\x5C000026ABCDEF", "\\x1AABCDEF"},
  };
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    DataMatrixBarcode barcode;
    ASSERT_EQ(barcode.SetEncodingMode(c.mode), Result::Ok);
    ASSERT_EQ(barcode.SetDataToEncode(Unescape(c.data)), Result::Ok);
    const Raster raster = RenderMatrix(barcode.Matrix(), kModulePixels, kQuietModules);
    const auto zxing = ReadWithZxing(raster);
    ASSERT_TRUE(zxing.has_value());
    EXPECT_EQ(Printable(zxing->bytes), c.zxingBytes);
    EXPECT_EQ(zxing->symbologyId, c.symbologyId);
    EXPECT_EQ(Printable(zxing->bytesWithEci), c.zxingEciForm);
    const auto dmtx = ReadWithDmtx(raster);
    ASSERT_TRUE(dmtx.has_value()) << "libdmtx";
    EXPECT_EQ(Printable(dmtx->bytes), c.dmtxBytes) << "libdmtx";
  }
}

// The 144 x 144 symbol puts the error-correction codewords of blocks 9 and 10 first in every group
// of ten. zxing reads it so; libdmtx expects block 1 first. Dealing the same codewords back into
// plain order must make libdmtx read exactly the data (and zxing then refuse it), which shows
// that data, placement and error correction agree and only that convention differs.
TEST(Format144, ReadersDisagreeOnlyOnTheErrorCorrectionOrder) {
  DataMatrixBarcode barcode;
  barcode.SetEncodingMode(1);
  barcode.SetPreferredFormat(24);
  const std::string data = SampleData(1, 1500, 144);
  ASSERT_EQ(barcode.SetDataToEncode(data), Result::Ok);
  const FormatInfo& format = barcode.CurrentFormat();
  const int blocks = format.blockCount;
  const int eccPerBlock = format.eccCodewords / blocks;
  CodewordBuffer plainOrder = barcode.Codewords();
  for (int b = 1; b <= blocks; ++b) {
    for (int j = 0; j < eccPerBlock; ++j) {
      const int used = format.dataCodewords + j * blocks + (b <= 8 ? b + 2 : b - 8);
      plainOrder[format.dataCodewords + j * blocks + b - 1] = barcode.Codewords()[used - 1];
    }
  }
  const Raster asEncoded = RenderMatrix(barcode.Matrix(), 3, kQuietModules);
  const auto zxing = ReadWithZxing(asEncoded);
  ASSERT_TRUE(zxing.has_value());
  EXPECT_EQ(zxing->bytes, data);

  SymbolMatrix plain;
  ASSERT_TRUE(plain.Build(format, plainOrder));
  const auto dmtx = ReadWithDmtx(RenderMatrix(plain, 3, kQuietModules));
  ASSERT_TRUE(dmtx.has_value());
  EXPECT_EQ(dmtx->bytes, data);
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

// A one-block symbol with as many wrong codewords as its error correction can mend still reads
// back: one module placed in the wrong cell would add an error beyond that budget.
TEST(ErrorBudget, EveryOneBlockSymbolReadsWithItsFullBudgetSpent) {
  for (int id = 1; id <= kLastDmreFormatId; ++id) {
    const bool dmre = id >= kFirstDmreFormatId;
    const FormatInfo& format = *FindFormat(id, dmre);
    if (format.blockCount != 1) continue;
    SCOPED_TRACE(testing::Message() << "format " << id);
    DataMatrixBarcode barcode;
    barcode.SetUpdateLock(true);
    barcode.SetDmre(dmre);
    barcode.SetEncodingMode(1);
    barcode.SetPreferredFormat(id);
    barcode.SetUpdateLock(false);
    const std::string data = FillingData(barcode, 1, format, 500u + static_cast<uint32_t>(id));
    ASSERT_FALSE(data.empty());
    CodewordBuffer damaged = barcode.Codewords();
    for (int i = 0; i < format.eccCodewords / 2; ++i) damaged[static_cast<std::size_t>(i)] ^= 0xFF;
    SymbolMatrix matrix;
    ASSERT_TRUE(matrix.Build(format, damaged));
    const auto zxing = ReadWithZxing(RenderMatrix(matrix, kModulePixels, kQuietModules));
    ASSERT_TRUE(zxing.has_value());
    EXPECT_EQ(Printable(zxing->bytes), Printable(data));
  }
}
