// Symbols built in-process by the encoder and placement, drawn into a plain raster and read
// back by two independent decoders.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "request/QueryString.h"
#include "request/RequestHandler.h"
#include "request/RequestSettings.h"
#include "encoder/AutoEncoder.h"
#include "encoder/C40TextEncoder.h"
#include "request/DataMatrixBarcode.h"
#include "request/EncoderData.h"
#include "encoder/MinimalEncoder.h"
#include "encoder/Preprocessor.h"
#include "encoder/ReedSolomonCoder.h"
#include "support/Decoders.h"
#include "support/ReadBack.h"

using namespace korvex::internal;

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
ReadBack ReadSymbol(const SymbolMatrix& matrix, bool withDmtx, int32_t orientation) {
  const Raster raster = RenderMatrix(matrix, kModulePixels, kQuietModules, orientation);
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
// The matrix is read turned by orientation.
void ExpectReadsAs(const SymbolMatrix& matrix, const std::string& expected, bool dmre = false, int32_t orientation = 0) {
  const bool dmtxJudges = matrix.Rows() != 144 && !dmre;
  const ReadBack read = ReadSymbol(matrix, dmtxJudges, orientation);
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
      ExpectReadsAs(barcode.Matrix(), data, dmre, angle);
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

// The C40 and Text ends for a run that fills the format exactly, which the shortest encodation
// may choose: no unlatch after the last triplet or after a padded last triplet, and a last
// character of one value in ASCII in the last codeword.
TEST(C40TextFullSymbolEnds, ReadBack) {
  struct Case {
    const char* data;
    bool useC40;
    int32_t format;
  };
  const Case cases[] = {
      {"AIM", true, 1},      {"aimaim", false, 2},           // triplets to the end
      {"AB", true, 1},       {"!", true, 1},                 // two values padded into the last two
      {"abcde", false, 2},   {"ABCDE", true, 25},            // codewords
      {"ABCDEFGHIJ", true, 3}, {"abcdefghijklmnop", false, 4}, // the last character in ASCII
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data);
    const FormatInfo* format = FindFormat(c.format);
    ASSERT_NE(format, nullptr);
    DataItemList items;
    PreprocessData(c.data, items);
    CodewordBuffer codewords;
    CodewordWriter out(codewords, format->dataCodewords);
    ASSERT_TRUE(EncodeC40Text(DataRange(items), c.useC40, true, out, true));
    ASSERT_EQ(codewords.size(), format->dataCodewords);  // filled exactly, no unlatch anywhere
    for (uint8_t codeword : codewords) ASSERT_NE(codeword, 254);
    ASSERT_TRUE(AppendErrorCorrection(*format, codewords));
    SymbolMatrix matrix;
    ASSERT_TRUE(matrix.Build(*format, codewords));
    ExpectReadsAs(matrix, c.data);
  }
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
    ASSERT_TRUE(barcode.Encoded());
    // The matrix read turned, as the layout reads it for the drawing.
    SCOPED_TRACE(angle);
    ExpectReadsAs(barcode.Matrix(), "ROTATED 123", false, angle);
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

namespace {

// One random request for minimal against the look-ahead: its query, and what zxing and
// libdmtx must read from either symbol.
struct RandomRequest {
  std::string query;
  std::string zxingBytes;
  std::string dmtxBytes;
  bool gs1 = false;  // read as the look-ahead's symbol reads
};

// Stretches of every class, FNC1 and bytes above 127 as escapes, a leading FNC1 or ECI now
// and then, in any format choice and now and then a fixed mode (where minimal does nothing).
RandomRequest MakeRandomRequest(std::mt19937& random) {
  static const std::string kPools[] = {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz", "0123456789",
                                       " *>\r", "!\"#$%&'()+,-./:;<=?@[\\]^_`{|}"};
  RandomRequest request;
  std::string data;
  switch (random() % 8) {
    case 0:
      data = "~1";
      request.dmtxBytes = "\x1D";
      break;
    case 1:
      data = "~7000026";
      request.dmtxBytes = "\x1A";
      break;
    default: break;
  }
  const std::size_t length = 1 + random() % (random() % 4 == 0 ? 400 : 40);
  while (request.zxingBytes.size() < length) {
    // Readers take FNC1 in the first or second codeword as GS1's or AIM's mark: FNC1 comes
    // only after three data characters, which take at least two codewords.
    const std::size_t kind = random() % (request.zxingBytes.size() < 3 ? 6 : 7);
    for (std::size_t i = 1 + random() % 10; i > 0; --i) {
      if (kind == 6) {
        data += "~1";
        request.zxingBytes += '\x1D';
        continue;
      }
      const uint8_t byte = kind < 5 ? static_cast<uint8_t>(kPools[kind][random() % kPools[kind].size()])
                                    : static_cast<uint8_t>(1 + random() % 255);
      char escape[5];
      std::snprintf(escape, sizeof escape, "~X%02X", byte);
      data += kind < 5 ? std::string(1, static_cast<char>(byte)) : std::string(escape);
      request.zxingBytes += static_cast<char>(byte);
    }
  }
  request.dmtxBytes += request.zxingBytes;
  request.query = "data=" + UrlEncode(data);
  if (random() % 10 == 0) {
    // GS1 element strings: an identifier, a date and a batch of random length.
    request.gs1 = true;
    const std::string batch = RandomText("ABC123-", 1 + random() % 20, random);
    request.query = "gs1=1&data=" + UrlEncode("(01)09501101530003(17)270630(10)" + batch);
  }
  if (random() % 5 == 0) request.query += "&fmt=" + std::to_string(1 + random() % 30);
  request.query += "&shape=" + std::to_string(random() % 3);
  if (random() % 4 == 0) request.query += "&dmre=1";
  if (random() % 10 == 0) request.query += "&mode=" + std::to_string(1 + random() % 6);
  return request;
}

// A request's symbol and the encoder settings it was encoded from, its data resolved.
struct EncodedQuery {
  EncodingSettings encoding;
  EncodedSymbol symbol;
};

ResultCode EncodeQuery(const std::string& query, EncodedQuery& encoded) {
  std::string text = query;
  QueryString parameters(text.c_str());
  const RequestSettings settings = GatherRequestSettings(parameters);
  const StatusOr<EncodingSettings> encoding = ResolveEncoderData(settings);
  if (encoding.Ok()) encoded.encoding = *encoding;
  StatusOr<EncodedSymbol> symbol = EncodeRequestedSymbol(settings);
  if (!symbol.Ok()) return symbol.Code();
  encoded.symbol = std::move(symbol).Value();
  return Result::Ok;
}

// The data codewords before the padding, written as the pipeline writes them for the request's
// data in its format.
std::size_t DataCodewordsOf(const EncodedQuery& encoded) {
  DataItemList items;
  PreprocessData(encoded.encoding.data, items);
  CodewordBuffer buffer;
  const std::size_t leading = CopyLeadingCodewords(items, buffer);
  const DataRange rest(items.data() + leading, items.size() - leading);
  CodewordWriter out(buffer, encoded.symbol.format.dataCodewords);
  const std::vector<Segment> plan =
      encoded.encoding.minimal ? MinimalEncoder(rest, leading).Plan(out.Capacity()) : PlanSegments(rest);
  EXPECT_TRUE(EncodeAuto(rest, plan, out));
  return buffer.size();
}

// Where the barcode's format comes in the order the automatic choice tries; a named format is
// its own order.
std::size_t CandidateIndex(const std::string& query, const EncodedQuery& encoded) {
  if (encoded.encoding.preferredFormat != 0) return static_cast<std::size_t>(encoded.encoding.preferredFormat);
  const auto& candidates = FormatCandidates(encoded.encoding.shape, encoded.encoding.dmre);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (candidates[i]->id == encoded.symbol.format.id) return i;
  }
  ADD_FAILURE() << "format " << encoded.symbol.format.id << " is no candidate of " << query;
  return 0;
}

}  // namespace

// minimal symbols never come later in the format order than the look-ahead's, take fewer
// codewords on a good share of mixed data, and read back as the data.
TEST(MinimalReadBack, RandomRequestsReadBackAndNeverGrow) {
  std::mt19937 random(22001);
  const int requests = 10000;
  int encoded = 0;
  int fewerCodewords = 0;
  int smallerSymbols = 0;
  int dmtxReads = 0;
  for (int i = 0; i < requests; ++i) {
    const RandomRequest request = MakeRandomRequest(random);
    SCOPED_TRACE(request.query);
    EncodedQuery lookAhead;
    EncodedQuery minimal;
    const ResultCode lookAheadCode = EncodeQuery(request.query, lookAhead);
    const ResultCode minimalCode = EncodeQuery(request.query + "&minimal=1", minimal);
    if (lookAheadCode == Result::Ok) {
      ASSERT_EQ(minimalCode, Result::Ok);
      const std::size_t lookAheadIndex = CandidateIndex(request.query, lookAhead);
      const std::size_t minimalIndex = CandidateIndex(request.query, minimal);
      ASSERT_LE(minimalIndex, lookAheadIndex);  // the same index when the format is named
      smallerSymbols += minimalIndex < lookAheadIndex;
      if (lookAhead.encoding.encodingMode != EncodingMode::Auto) {
        ASSERT_EQ(minimal.symbol.codewords, lookAhead.symbol.codewords);
      }
    }
    if (minimalCode != Result::Ok) {
      ASSERT_NE(lookAheadCode, Result::Ok);  // nothing holds the data
      continue;
    }
    ++encoded;
    const bool automatic = minimal.encoding.encodingMode == EncodingMode::Auto;
    if (automatic && lookAheadCode == Result::Ok) {
      fewerCodewords += DataCodewordsOf(minimal) < DataCodewordsOf(lookAhead);
    }
    const Raster raster = RenderMatrix(minimal.symbol.matrix, kModulePixels, kQuietModules);
    const auto zxing = ReadWithZxing(raster);
    ASSERT_TRUE(zxing.has_value()) << "zxing cannot read the minimal symbol";
    const FormatInfo& format = minimal.symbol.format;
    if (request.gs1) {
      if (lookAheadCode != Result::Ok) continue;
      const auto reference = ReadWithZxing(RenderMatrix(lookAhead.symbol.matrix, kModulePixels, kQuietModules));
      ASSERT_TRUE(reference.has_value());
      EXPECT_EQ(Printable(zxing->bytes), Printable(reference->bytes));
      // zxing names DMRE symbols by a symbology modifier of their own.
      if ((format.id >= kFirstDmreFormatId) == (lookAhead.symbol.format.id >= kFirstDmreFormatId)) {
        EXPECT_EQ(zxing->symbologyId, reference->symbologyId);
      }
      continue;
    }
    ASSERT_EQ(Printable(zxing->bytes), Printable(request.zxingBytes));
    // libdmtx searches long before it gives up: it judges one request in ten, in the ISO sizes
    // it reads (not 144 x 144, see Format144) and without a latch directly followed by its
    // unlatch (which it misreads).
    if (i % 10 != 0 || format.id == 24 || format.id >= kFirstDmreFormatId ||
        HasLatchThenUnlatch(minimal.symbol.codewords, format.dataCodewords)) {
      continue;
    }
    // libdmtx's finder misses the odd symbol at one module size; a misencoded one fails at every size.
    auto dmtx = ReadWithDmtx(raster);
    if (!dmtx) dmtx = ReadWithDmtx(RenderMatrix(minimal.symbol.matrix, kModulePixels + 1, kQuietModules));
    ASSERT_TRUE(dmtx.has_value()) << "libdmtx cannot read the minimal symbol";
    EXPECT_EQ(Printable(dmtx->bytes), Printable(request.dmtxBytes));
    ++dmtxReads;
  }
  std::printf("minimal: %d of %d requests encoded; fewer data codewords than the look-ahead in %d (%.1f %%), "
              "a smaller symbol in %d (%.1f %%); libdmtx read %d\n",
              encoded, requests, fewerCodewords, 100.0 * fewerCodewords / requests, smallerSymbols,
              100.0 * smallerSymbols / requests, dmtxReads);
  EXPECT_GT(encoded, requests * 4 / 5);  // a named format is often too small
  EXPECT_GT(fewerCodewords, requests / 5);
  EXPECT_GT(dmtxReads, requests / 20);
}
