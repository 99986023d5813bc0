#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/EncodingPipeline.h"

using namespace korvex::internal;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes DataPart(const CodewordBuffer& codewords, const FormatInfo& format) {
  return Bytes(codewords.begin(), codewords.begin() + format.dataCodewords);
}

EncodingSettings Settings(const std::string& data, int32_t mode, int32_t preferred = 0) {
  EncodingSettings settings;
  settings.data = data;
  settings.encodingMode = static_cast<EncodingMode>(mode);  // the tables give the modes by number
  settings.preferredFormat = preferred;
  return settings;
}

}  // namespace

TEST(EncodingPipeline, PadsAreRandomisedFromTheSecondOn) {
  const uint8_t expected[] = {175, 70, 220, 115, 11, 161, 56, 206, 101, 251};
  for (std::size_t position = 2; position <= 11; ++position) {
    EXPECT_EQ(Randomize253(129, position), expected[position - 2]) << position;
  }
  CodewordBuffer codewords;
  AppendPadding(0, codewords);
  EXPECT_TRUE(codewords.empty());
  AppendPadding(3, codewords);
  EXPECT_EQ(codewords, (Bytes{129, 175, 70}));
}

TEST(EncodingPipeline, Randomize253WrapsAbove254) {
  // position 12: R = (12 * 149) mod 253 + 1 = 18; 250 + 18 = 268 -> 14
  EXPECT_EQ(Randomize253(250, 12), 14);
  // Positions count modulo 65536.
  EXPECT_EQ(Randomize253(129, 65536 + 2), Randomize253(129, 2));
}

struct PipelineCase {
  const char* name;
  std::string data;
  int32_t mode;
  int32_t preferred;
  ResultCode result;
  int32_t formatId;
  Bytes dataCodewords;  // empty: not checked
};

TEST(EncodingPipeline, Examples) {
  const PipelineCase cases[] = {
      {"empty data pads a 10 x 10", "", 1, 0, Result::Ok, 1, {129, 175, 70}},
      {"single A", "A", 1, 0, Result::Ok, 1, {66, 129, 70}},
      {"six digits fill 10 x 10", "123456", 1, 0, Result::Ok, 1, {142, 164, 186}},
      {"four codewords take 12 x 12 with one pad", "12345678", 1, 0, Result::Ok, 2, {142, 164, 186, 208, 129}},
      {"five codewords take 12 x 12, not 8 x 18", "1234567890", 1, 0, Result::Ok, 2, {}},
      {"rectangle when named", "1234567890", 1, 25, Result::Ok, 25, {}},
      {"too much for the named rectangle", "123456789012", 1, 25, Result::DataDoesNotFit, 25, {}},
      {"unknown preferred format", "A", 1, 31, Result::InvalidPreferredFormat, -1, {}},
      {"negative preferred format", "A", 1, -1, Result::InvalidPreferredFormat, -1, {}},
      {"unknown mode", "A", 7, 0, Result::InvalidEncodingMode, -1, {}},
      {"negative mode", "A", -1, 0, Result::InvalidEncodingMode, -1, {}},
      {"X12 refuses lower case", "abc", 6, 0, Result::InvalidData, -1, {}},
      {"EDIFACT refuses lower case", "abc", 5, 0, Result::InvalidData, -1, {}},
      // The unlatch would be the last data codeword, which readers take in ASCII: the pad replaces it.
      {"leading FNC1 before the C40 latch", "~1AIM", 2, 0, Result::Ok, 2, {232, 230, 91, 11, 129}},
      {"leading FNC1, C40 run with room for the unlatch", "~1AIM", 2, 3, Result::Ok, 3, {232, 230, 91, 11, 254, 129, 161, 56}},
      {"automatic C40 run at 14 x 14's capacity", "SKBRE2KGA", 0, 0, Result::Ok, 3,
       {230, 203, 208, 196, 151, 153, 47, 129}},
      // C40 and Text runs end in full: a format that only holds them without the unlatch is too small.
      {"C40 AIM needs 12 x 12 for its unlatch", "AIM", 2, 0, Result::Ok, 2, {230, 91, 11, 254, 129}},
      {"C40 AIM does not fit 10 x 10", "AIM", 2, 1, Result::DataDoesNotFit, 1, {}},
      {"Text aim needs 12 x 12 for its unlatch", "aim", 3, 0, Result::Ok, 2, {239, 91, 11, 254, 129}},
      {"automatic C40 run with two values left", "HNNUA", 0, 0, Result::Ok, 3, {230, 135, 148, 214, 177, 254, 129, 56}},
      {"C40 unlatches before a last ASCII character", "u6hf f", 2, 0, Result::Ok, 4,
       {230, 15, 211, 13, 195, 37, 251, 254, 103, 129, 251, 147}},
      {"3116 digits fill 144 x 144", std::string(3116, '1'), 1, 0, Result::Ok, 24, {}},
      {"3118 digits fit nothing", std::string(3118, '1'), 1, 0, Result::NoFittingFormat, -1, {}},
      {"automatic mode never refuses", std::string(3000, 'z') + "~X80", 0, 0, Result::NoFittingFormat, -1, {}},
      {"automatic Base256 run too long for any format", [] {
         std::string data;
         for (int i = 0; i < 1600; ++i) data += "~X80";
         return data;
       }(), 0, 0, Result::NoFittingFormat, -1, {}},
      {"too long for a named format in automatic mode", std::string(60, 'a'), 0, 1, Result::DataDoesNotFit, 1, {}},
      {"base256 over 1555 bytes in fixed mode", std::string(1556, 'a'), 4, 0, Result::InvalidData, -1, {}},
  };
  for (const PipelineCase& c : cases) {
    SCOPED_TRACE(c.name);
    CodewordBuffer codewords;
    FormatInfo format;
    EXPECT_EQ(EncodeCodewords(Settings(c.data, c.mode, c.preferred), codewords, format), c.result);
    EXPECT_EQ(format.id, c.formatId);
    if (c.result == Result::Ok) {
      EXPECT_EQ(codewords.size(), static_cast<std::size_t>(format.dataCodewords + format.eccCodewords));
    }
    if (!c.dataCodewords.empty()) {
      EXPECT_EQ(DataPart(codewords, format), c.dataCodewords);
    }
  }
}

// minimal against the look-ahead on the same settings; it only acts in mode 0.
TEST(EncodingPipeline, MinimalTakesTheFewestCodewords) {
  struct Case {
    const char* name;
    std::string data;
    int32_t mode;
    int32_t preferred;
    SymbolShape shape;
    bool structuredAppend;
    ResultCode lookAheadResult;
    int32_t lookAheadFormat;
    int32_t minimalFormat;
    Bytes minimalData;  // empty: not checked
  };
  const Case cases[] = {
      // A in ASCII, then C40 triplets (X12's would take as many) up to the end of the format,
      // which needs no unlatch.
      {"ten letters", "ABCDEFGHIJ", 0, 0, SymbolShape::Square, false, Result::Ok, 4, 3,
       {66, 230, 96, 82, 115, 141, 134, 200}},
      {"a named format that only minimal fits", "ABCDEFGHIJ", 0, 3, SymbolShape::Square, false,
       Result::DataDoesNotFit, 3, 3, {}},
      {"behind a structured-append header", "ABCDEFGHIJ", 0, 0, SymbolShape::Square, true, Result::Ok, 5, 4, {}},
      {"mixed case and digits", "aB1cD2eF3gH4", 0, 0, SymbolShape::Square, false, Result::Ok, 5, 4, {}},
      {"rectangles", "ABCDEFGHIJKLM", 0, 0, SymbolShape::Rectangle, false, Result::Ok, 27, 26, {}},
      {"digits, where the look-ahead is already shortest", "12345678", 0, 0, SymbolShape::Square, false,
       Result::Ok, 2, 2, {142, 164, 186, 208, 129}},
      // Text triplets that end at the end of the format: 5 codewords, no unlatch (ASCII takes 6).
      {"Text triplets fill 12 x 12", "aimaim", 0, 0, SymbolShape::Square, false, Result::Ok, 3, 2,
       {239, 91, 11, 91, 11}},
      // The padded and the one-character ends take as many codewords as moving one or two
      // characters before the run into ASCII, which the search finds first; either way only an
      // end without the unlatch fits 14 x 14 (9 codewords otherwise).
      {"ASCII, then Text triplets that fill 14 x 14", "Aabcdefgh", 0, 0, SymbolShape::Square, false, Result::Ok,
       4, 3, {66, 98, 99, 239, 102, 187, 121, 246}},
      {"one letter, then Text triplets that fill 14 x 14", "abcdefghij", 0, 0, SymbolShape::Square, false,
       Result::Ok, 4, 3, {98, 239, 96, 82, 115, 141, 134, 200}},
      {"fixed C40: minimal has no effect", "ABCDEFGHIJ", 2, 0, SymbolShape::Square, false, Result::Ok, 4, 4, {}},
  };
  for (const Case& c : cases) {
    for (bool minimal : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (minimal ? ", minimal" : ""));
      EncodingSettings settings = Settings(c.data, c.mode, c.preferred);
      settings.shape = c.shape;
      settings.structuredAppend = c.structuredAppend;
      settings.minimal = minimal;
      CodewordBuffer codewords;
      FormatInfo format;
      const ResultCode result = EncodeCodewords(settings, codewords, format);
      EXPECT_EQ(result, minimal ? Result::Ok : c.lookAheadResult);
      EXPECT_EQ(format.id, minimal ? c.minimalFormat : c.lookAheadFormat);
      if (minimal && !c.minimalData.empty()) {
        EXPECT_EQ(DataPart(codewords, format), c.minimalData);
      }
    }
  }
}

TEST(EncodingPipeline, FullSymbolOfA) {
  CodewordBuffer codewords;
  FormatInfo format;
  ASSERT_EQ(EncodeCodewords(Settings("A", 1), codewords, format), Result::Ok);
  EXPECT_EQ(codewords, (Bytes{66, 129, 70, 138, 234, 82, 82, 95}));
}

TEST(EncodingPipeline, StructuredAppendHeader) {
  struct Case {
    int32_t index, total, fileId;
    Bytes header;
  };
  const Case cases[] = {
      {1, 2, 1, {233, 15, 0, 1}},
      {16, 16, 64516, {233, 241, 253, 1}},
      {3, 5, 255, {233, 44, 1, 0}},
  };
  for (const Case& c : cases) {
    EncodingSettings settings = Settings("A", 1);
    settings.structuredAppend = true;
    settings.structuredAppendIndex = c.index;
    settings.structuredAppendTotal = c.total;
    settings.structuredAppendFileId = c.fileId;
    CodewordBuffer codewords;
    FormatInfo format;
    ASSERT_EQ(EncodeCodewords(settings, codewords, format), Result::Ok);
    EXPECT_EQ(Bytes(codewords.begin(), codewords.begin() + 4), c.header);
    EXPECT_EQ(codewords[4], 66);  // the data follows the header
  }
}

TEST(EncodingPipeline, HeaderCountsForPadPositions) {
  EncodingSettings settings = Settings("", 1);
  settings.structuredAppend = true;
  CodewordBuffer codewords;
  FormatInfo format;
  ASSERT_EQ(EncodeCodewords(settings, codewords, format), Result::Ok);
  ASSERT_EQ(format.id, 2);  // four header codewords + one pad
  EXPECT_EQ(codewords[4], 129);
}

TEST(EncodingPipeline, EdifactEndSettledWithTheFormat) {
  // Twelve characters fill three groups (9 codewords after the latch); the two digits then sit
  // in the last data codewords of the 12-codeword format, where a reader expects ASCII.
  CodewordBuffer codewords;
  FormatInfo format;
  ASSERT_EQ(EncodeCodewords(Settings("@@@@@@@@@@@@12", 5), codewords, format), Result::Ok);
  EXPECT_EQ(format.id, 4);
  const Bytes data = DataPart(codewords, format);
  EXPECT_EQ(data.front(), 240);
  EXPECT_EQ(data[10], 142);  // "12" as an ASCII digit pair, no unlatch before it
  EXPECT_EQ(data[11], 129);
}

namespace {

// GF(256) product by shift and add, reduced by x^8 + x^5 + x^3 + x^2 + 1 (301): an arithmetic
// of its own, apart from the coder's log tables.
uint8_t GfProduct(uint8_t a, uint8_t b) {
  unsigned product = 0;
  unsigned shifted = a;
  for (; b != 0; b >>= 1) {
    if (b & 1) product ^= shifted;
    shifted <<= 1;
    if (shifted & 0x100) shifted ^= 301;
  }
  return static_cast<uint8_t>(product);
}

// The k check codewords of one block: the remainder of data(x) x^k divided by
// (x + 2^1)(x + 2^2)...(x + 2^k), highest power first.
Bytes CheckCodewords(const Bytes& data, int k) {
  Bytes generator{1};
  uint8_t root = 1;
  for (int i = 1; i <= k; ++i) {
    root = GfProduct(root, 2);
    Bytes next(generator.size() + 1, 0);
    for (std::size_t j = 0; j < generator.size(); ++j) {
      next[j] ^= generator[j];
      next[j + 1] ^= GfProduct(generator[j], root);
    }
    generator = next;
  }
  Bytes rest = data;
  rest.resize(data.size() + static_cast<std::size_t>(k), 0);
  for (std::size_t i = 0; i < data.size(); ++i) {
    const uint8_t factor = rest[i];
    for (std::size_t j = 1; j < generator.size(); ++j) rest[i + j] ^= GfProduct(generator[j], factor);
  }
  return Bytes(rest.end() - k, rest.end());
}

// Digit pairs in ASCII, then the first pad and the randomised pads, worked out from the
// encodation rules.
Bytes DigitPairSymbolData(const std::string& digits, std::size_t capacity) {
  Bytes data;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    data.push_back(static_cast<uint8_t>(130 + (digits[i] - '0') * 10 + (digits[i + 1] - '0')));
  }
  if (data.size() < capacity) data.push_back(129);
  while (data.size() < capacity) {
    const std::size_t position = data.size() + 1;
    unsigned pad = 129 + (149 * position) % 253 + 1;
    if (pad > 254) pad -= 254;
    data.push_back(static_cast<uint8_t>(pad));
  }
  return data;
}

}  // namespace

TEST(EncodingPipeline, IndependentCheckCodewordsAgreeOnAKnownSymbol) {
  EXPECT_EQ(CheckCodewords({66, 129, 70}, 5), (Bytes{138, 234, 82, 82, 95}));
}

// One DMRE symbol of each row height, three codewords short of full so that pads follow.
TEST(EncodingPipeline, DmreSymbolsOfEveryHeight) {
  struct Case {
    int32_t id;
    std::size_t dataCodewords;
    int ecc;
  };
  const Case cases[] = {{31, 18, 15}, {37, 43, 27}, {39, 62, 36}, {40, 44, 28},
                        {43, 72, 38}, {44, 80, 41}, {46, 70, 38}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    std::string digits;
    for (std::size_t i = 0; i < 2 * (c.dataCodewords - 3); ++i) digits += static_cast<char>('0' + (i * 7 + c.id) % 10);
    EncodingSettings settings = Settings(digits, 1, c.id);
    CodewordBuffer codewords;
    FormatInfo format;
    EXPECT_EQ(EncodeCodewords(settings, codewords, format), Result::InvalidPreferredFormat);
    settings.dmre = true;
    ASSERT_EQ(EncodeCodewords(settings, codewords, format), Result::Ok);
    EXPECT_EQ(format.id, c.id);
    Bytes expected = DigitPairSymbolData(digits, c.dataCodewords);
    const Bytes check = CheckCodewords(expected, c.ecc);
    expected.insert(expected.end(), check.begin(), check.end());
    EXPECT_EQ(codewords, expected);
  }
}
