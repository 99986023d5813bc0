#include "encoder/ReedSolomonCoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

using namespace korvex::internal;

namespace korvex::internal {
// Names the format in test listings and failure output instead of dumping its bytes; static so
// that it cannot clash with other test files.
static void PrintTo(const FormatInfo& format, std::ostream* os) {
  *os << "format " << format.id << " (" << format.symbolRows << " x " << format.symbolCols << ")";
}
}  // namespace korvex::internal

namespace {

// Shift-and-add multiplication in GF(256) modulo 0x12D, independent of the coder's tables.
int32_t ReferenceMultiply(int32_t a, int32_t b) {
  int32_t product = 0;
  while (b != 0) {
    if (b & 1) product ^= a;
    b >>= 1;
    a <<= 1;
    if (a & 0x100) a ^= 0x12D;
  }
  return product;
}

int32_t ReferencePower(int exponent) {
  int32_t value = 1;
  for (int i = 0; i < exponent; ++i) value = ReferenceMultiply(value, 2);
  return value;
}

// Evaluates a polynomial given highest degree first (the order codewords are sent in).
int32_t EvaluateHighestFirst(const std::vector<uint8_t>& coefficients, int32_t x) {
  int32_t result = 0;
  for (uint8_t c : coefficients) result = ReferenceMultiply(result, x) ^ c;
  return result;
}

// A Reed-Solomon codeword with roots alpha^1..alpha^k has all these syndromes zero.
void ExpectValidCodeword(const std::vector<uint8_t>& codeword, std::size_t eccLength) {
  for (std::size_t i = 1; i <= eccLength; ++i) {
    EXPECT_EQ(EvaluateHighestFirst(codeword, ReferencePower(static_cast<int>(i))), 0) << "syndrome " << i;
  }
}

std::vector<uint8_t> EccOf(const std::vector<uint8_t>& data, uint16_t k) {
  const ReedSolomonCoder coder(k);
  std::vector<uint8_t> out(data.size() + k);
  coder.EncodeBlock(data.data(), data.size(), out.data());
  return {out.begin() + static_cast<std::ptrdiff_t>(data.size()), out.end()};
}

// Data codewords that differ from position to position and from format to format.
CodewordBuffer SampleData(std::size_t count, unsigned seed) {
  CodewordBuffer data(count);
  unsigned state = seed * 2654435761u + 12345u;
  for (auto& codeword : data) {
    state = state * 1103515245u + 12345u;
    codeword = static_cast<uint8_t>(state >> 16);
  }
  return data;
}

const FormatInfo& Format(int32_t id) {
  const FormatInfo* format = FindFormat(id);
  EXPECT_NE(format, nullptr);
  return *format;
}

std::vector<FormatInfo> AllFormats() { return {FormatTable.begin(), FormatTable.begin() + kFormatCount}; }

// Where block b's error-correction codewords sit within each group of blockCount: the
// 144 x 144 symbol puts blocks 9 and 10 first.
std::size_t ExpectedEccSlot(const FormatInfo& format, std::size_t block) {
  if (format.id != 24) return block;
  return block <= 8 ? block + 2 : block - 8;
}

TEST(ReedSolomonFieldTest, FirstPowersOfTwo) {
  const ReedSolomonCoder coder(0);
  const int32_t expected[] = {1, 2, 4, 8, 16, 32, 64, 128, 45, 90};
  for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(coder.Exp(i), expected[i]) << "exp[" << i << "]";
  EXPECT_EQ(coder.Exp(254), 150);
  EXPECT_EQ(coder.Exp(255), 1);
}

TEST(ReedSolomonFieldTest, ExponentsCoverEveryNonZeroElementOnce) {
  const ReedSolomonCoder coder(0);
  std::set<int32_t> seen;
  for (std::size_t i = 0; i <= 254; ++i) {
    const int32_t value = coder.Exp(i);
    EXPECT_GE(value, 1);
    EXPECT_LE(value, 255);
    seen.insert(value);
  }
  EXPECT_EQ(seen.size(), 255u);
}

TEST(ReedSolomonFieldTest, UpperHalfRepeatsTheCycle) {
  const ReedSolomonCoder coder(0);
  for (std::size_t i = 1; i <= 255; ++i) EXPECT_EQ(coder.Exp(i + 255), coder.Exp(i)) << "exp[" << i + 255 << "]";
}

TEST(ReedSolomonFieldTest, LogarithmInvertsExponent) {
  const ReedSolomonCoder coder(0);
  EXPECT_EQ(coder.Log(1), 0);
  EXPECT_EQ(coder.Log(2), 1);
  EXPECT_EQ(coder.Log(45), 8);
  for (std::size_t v = 1; v <= 255; ++v) {
    EXPECT_LE(coder.Log(v), 254) << "log[" << v << "]";
    EXPECT_EQ(coder.Exp(static_cast<std::size_t>(coder.Log(v))), static_cast<int32_t>(v)) << "log[" << v << "]";
  }
}

TEST(ReedSolomonFieldTest, MultiplyMatchesShiftAndAdd) {
  const ReedSolomonCoder coder(0);
  for (int32_t a = 0; a < 256; ++a) {
    for (int32_t b = 0; b < 256; ++b) {
      ASSERT_EQ(coder.GfMultiply(a, b), ReferenceMultiply(a, b)) << a << " x " << b;
    }
  }
}

struct GeneratorCase {
  uint16_t k;
  std::vector<int32_t> lowCoefficients;  // x^0 .. x^(k-1)
};

void PrintTo(const GeneratorCase& c, std::ostream* os) { *os << "k = " << c.k; }

class ReedSolomonGeneratorTest : public ::testing::TestWithParam<GeneratorCase> {};

TEST_P(ReedSolomonGeneratorTest, KnownCoefficients) {
  const GeneratorCase& c = GetParam();
  const ReedSolomonCoder coder(c.k);
  EXPECT_EQ(coder.EccLength(), c.k);
  const int32_t* gen = coder.Generator();
  for (std::size_t j = 0; j < c.k; ++j) EXPECT_EQ(gen[j], c.lowCoefficients[j]) << "x^" << j;
  EXPECT_EQ(gen[c.k], 1);
  for (std::size_t j = c.k + 1; j <= ReedSolomonCoder::kMaxEccLength; ++j) EXPECT_EQ(gen[j], 0) << "x^" << j;
}

INSTANTIATE_TEST_SUITE_P(Lengths, ReedSolomonGeneratorTest,
                         ::testing::Values(GeneratorCase{2, {8, 6}},  // (x + 2)(x + 4)
                                           GeneratorCase{5, {228, 48, 15, 111, 62}},
                                           GeneratorCase{7, {23, 68, 144, 134, 240, 92, 254}}),
                         [](const auto& info) { return "k" + std::to_string(info.param.k); });

// Every error-correction length of the table: the generator vanishes at alpha^1..alpha^k.
TEST(ReedSolomonGeneratorRootsTest, RootsAreConsecutivePowers) {
  std::set<uint16_t> lengths;
  for (const FormatInfo& format : AllFormats()) lengths.insert(static_cast<uint16_t>(format.eccCodewords / format.blockCount));
  for (uint16_t k : lengths) {
    SCOPED_TRACE("k = " + std::to_string(k));
    const ReedSolomonCoder coder(k);
    std::vector<uint8_t> highestFirst;
    for (std::size_t j = k + 1; j-- > 0;) highestFirst.push_back(static_cast<uint8_t>(coder.Generator()[j]));
    for (int i = 1; i <= k; ++i) EXPECT_EQ(EvaluateHighestFirst(highestFirst, ReferencePower(i)), 0) << "alpha^" << i;
    EXPECT_NE(EvaluateHighestFirst(highestFirst, ReferencePower(k + 1)), 0);
  }
}

struct BlockCase {
  std::vector<uint8_t> data;
  std::vector<uint8_t> ecc;
};

// The codewords joined by separator: a block's data names its case.
std::string Codewords(const std::vector<uint8_t>& codewords, const char* separator) {
  std::string text;
  for (const uint8_t codeword : codewords) {
    text += (text.empty() ? "" : separator) + std::to_string(codeword);
  }
  return text;
}

void PrintTo(const BlockCase& c, std::ostream* os) { *os << "data " << Codewords(c.data, " "); }

class ReedSolomonEncodeBlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ReedSolomonEncodeBlockTest, KnownErrorCorrection) {
  const BlockCase& c = GetParam();
  const auto k = static_cast<uint16_t>(c.ecc.size());
  const ReedSolomonCoder coder(k);
  std::vector<uint8_t> out(c.data.size() + k, 0xEE);
  coder.EncodeBlock(c.data.data(), c.data.size(), out.data());
  std::vector<uint8_t> expected = c.data;
  expected.insert(expected.end(), c.ecc.begin(), c.ecc.end());
  EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(Vectors, ReedSolomonEncodeBlockTest,
                         ::testing::Values(BlockCase{{142, 164, 186}, {114, 25, 5, 88, 102}},
                                           BlockCase{{66, 129, 70}, {138, 234, 82, 82, 95}}),
                         [](const auto& info) { return "Data_" + Codewords(info.param.data, "_"); });

TEST(ReedSolomonEncodeBlockRootsTest, EveryTableBlockShapeGivesAValidCodeword) {
  for (const FormatInfo& format : AllFormats()) {
    SCOPED_TRACE("format " + std::to_string(format.id));
    const auto k = static_cast<uint16_t>(format.eccCodewords / format.blockCount);
    const std::size_t n = (format.dataCodewords + format.blockCount - 1) / format.blockCount;
    const CodewordBuffer data = SampleData(n, static_cast<unsigned>(format.id));
    std::vector<uint8_t> codeword = data;
    const std::vector<uint8_t> ecc = EccOf(data, k);
    codeword.insert(codeword.end(), ecc.begin(), ecc.end());
    ExpectValidCodeword(codeword, k);
  }
}

struct SymbolCase {
  int32_t formatId;
  std::vector<uint8_t> data;
  std::vector<uint8_t> full;
};

void PrintTo(const SymbolCase& c, std::ostream* os) {
  *os << "format " << c.formatId << ", data " << Codewords(c.data, " ");
}

class AppendErrorCorrectionVectorTest : public ::testing::TestWithParam<SymbolCase> {};

TEST_P(AppendErrorCorrectionVectorTest, SmallestSymbol) {
  const SymbolCase& c = GetParam();
  CodewordBuffer buffer = c.data;
  ASSERT_TRUE(AppendErrorCorrection(Format(c.formatId), buffer));
  EXPECT_EQ(buffer, c.full);
}

INSTANTIATE_TEST_SUITE_P(Vectors, AppendErrorCorrectionVectorTest,
                         ::testing::Values(SymbolCase{1, {142, 164, 186}, {142, 164, 186, 114, 25, 5, 88, 102}},
                                           SymbolCase{1, {66, 129, 70}, {66, 129, 70, 138, 234, 82, 82, 95}}),
                         [](const auto& info) {
                           return "Format" + std::to_string(info.param.formatId) + "_Data_" +
                                  Codewords(info.param.data, "_");
                         });

TEST(AppendErrorCorrectionTest, OneBlockAppendsEccDirectlyAfterData) {
  const FormatInfo& format = Format(27);
  const CodewordBuffer data = SampleData(format.dataCodewords, 27);
  CodewordBuffer buffer = data;
  ASSERT_TRUE(AppendErrorCorrection(format, buffer));
  CodewordBuffer expected = data;
  const std::vector<uint8_t> ecc = EccOf(data, format.eccCodewords);
  expected.insert(expected.end(), ecc.begin(), ecc.end());
  EXPECT_EQ(buffer, expected);
}

TEST(AppendErrorCorrectionTest, TwoBlocksAlternateFromPosition205) {
  const FormatInfo& format = Format(15);
  ASSERT_EQ(format.dataCodewords, 204);
  const CodewordBuffer data = SampleData(format.dataCodewords, 15);
  CodewordBuffer buffer = data;
  ASSERT_TRUE(AppendErrorCorrection(format, buffer));
  ASSERT_EQ(buffer.size(), 288u);

  CodewordBuffer odd;
  CodewordBuffer even;
  for (std::size_t position = 1; position <= 204; ++position) (position % 2 == 1 ? odd : even).push_back(data[position - 1]);
  ASSERT_EQ(odd.size(), 102u);
  ASSERT_EQ(even.size(), 102u);
  const std::vector<uint8_t> firstEcc = EccOf(odd, 42);
  const std::vector<uint8_t> secondEcc = EccOf(even, 42);
  for (std::size_t j = 0; j < 42; ++j) {
    EXPECT_EQ(buffer[205 + 2 * j - 1], firstEcc[j]) << "position " << 205 + 2 * j;
    EXPECT_EQ(buffer[206 + 2 * j - 1], secondEcc[j]) << "position " << 206 + 2 * j;
  }
}

TEST(AppendErrorCorrectionTest, LargestSymbolStartsEachGroupWithItsShortBlocks) {
  const FormatInfo& format = Format(24);
  const CodewordBuffer data = SampleData(format.dataCodewords, 24);
  CodewordBuffer buffer = data;
  ASSERT_TRUE(AppendErrorCorrection(format, buffer));
  ASSERT_EQ(buffer.size(), 2178u);

  std::vector<std::vector<uint8_t>> eccByBlock(11);
  for (std::size_t block = 1; block <= 10; ++block) {
    CodewordBuffer gathered;
    for (std::size_t position = block; position <= 1558; position += 10) gathered.push_back(data[position - 1]);
    EXPECT_EQ(gathered.size(), block <= 8 ? 156u : 155u) << "block " << block;
    eccByBlock[block] = EccOf(gathered, 62);
  }
  EXPECT_EQ(buffer[1559 - 1], eccByBlock[9][0]);
  EXPECT_EQ(buffer[1560 - 1], eccByBlock[10][0]);
  EXPECT_EQ(buffer[1561 - 1], eccByBlock[1][0]);
  EXPECT_EQ(buffer[1568 - 1], eccByBlock[8][0]);
  EXPECT_EQ(buffer[1569 - 1], eccByBlock[9][1]);
  EXPECT_EQ(buffer[2178 - 1], eccByBlock[8][61]);
  EXPECT_NE(eccByBlock[9][0], eccByBlock[1][0]);  // the sample data tells the blocks apart
}

class AppendErrorCorrectionFormatTest : public ::testing::TestWithParam<FormatInfo> {};

// Rebuilds every block from its interleaved positions and checks it is a valid codeword.
TEST_P(AppendErrorCorrectionFormatTest, EveryBlockIsAValidCodeword) {
  const FormatInfo& format = GetParam();
  const CodewordBuffer data = SampleData(format.dataCodewords, static_cast<unsigned>(format.id) + 100);
  CodewordBuffer buffer = data;
  ASSERT_TRUE(AppendErrorCorrection(format, buffer));
  ASSERT_EQ(buffer.size(), static_cast<std::size_t>(format.dataCodewords) + format.eccCodewords);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer.begin()));

  const auto blocks = static_cast<std::size_t>(format.blockCount);
  const std::size_t k = format.eccCodewords / blocks;
  for (std::size_t block = 1; block <= blocks; ++block) {
    SCOPED_TRACE("block " + std::to_string(block));
    std::vector<uint8_t> codeword;
    for (std::size_t position = block; position <= format.dataCodewords; position += blocks) codeword.push_back(buffer[position - 1]);
    const std::size_t slot = ExpectedEccSlot(format, block);
    for (std::size_t j = 0; j < k; ++j) codeword.push_back(buffer[format.dataCodewords + j * blocks + slot - 1]);
    ExpectValidCodeword(codeword, k);
  }
}

TEST_P(AppendErrorCorrectionFormatTest, RejectsABufferThatIsNotExactlyTheData) {
  const FormatInfo& format = GetParam();
  for (std::size_t count : {static_cast<std::size_t>(format.dataCodewords) - 1, static_cast<std::size_t>(format.dataCodewords) + 1}) {
    CodewordBuffer buffer = SampleData(count, 7);
    const CodewordBuffer before = buffer;
    EXPECT_FALSE(AppendErrorCorrection(format, buffer)) << count << " codewords";
    EXPECT_EQ(buffer, before);
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, AppendErrorCorrectionFormatTest, ::testing::ValuesIn(AllFormats()),
                         [](const auto& info) { return "Format" + std::to_string(info.param.id); });

TEST(AppendErrorCorrectionTest, RejectsARowWithoutBlocks) {
  CodewordBuffer buffer;
  EXPECT_FALSE(AppendErrorCorrection(FormatTable[kFormatCount], buffer));
  EXPECT_TRUE(buffer.empty());
}

}  // namespace
