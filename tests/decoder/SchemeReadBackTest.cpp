// Every encodation mode at every data length in the small formats, and automatic encodation on
// random data, encoded in-process and read back by the decoders.
#include <gtest/gtest.h>

#include <iostream>
#include <ostream>
#include <random>
#include <string>

#include "request/DataMatrixBarcode.h"
#include "support/ReadBack.h"

using namespace korvex::internal;

namespace {

constexpr int kModulePixels = 3;
constexpr int kQuietModules = 2;

// zxing judges every symbol; libdmtx all but those it misreads although they are valid (a latch
// followed directly by the unlatch, and the 144 x 144 error-correction order).
void ExpectReadsBack(const DataMatrixBarcode& barcode, const std::string& expected, bool withDmtx = true) {
  const Raster raster = RenderMatrix(barcode.Matrix(), kModulePixels, kQuietModules);
  const auto zxing = ReadWithZxing(raster);
  ASSERT_TRUE(zxing.has_value()) << "zxing could not read " << Printable(expected);
  EXPECT_EQ(Printable(zxing->bytes), Printable(expected)) << "zxing";
  const FormatInfo& format = barcode.CurrentFormat();
  if (!withDmtx || format.id == 24 || HasLatchThenUnlatch(barcode.Codewords(), format.dataCodewords)) return;
  const auto dmtx = ReadWithDmtx(raster);
  ASSERT_TRUE(dmtx.has_value()) << "libdmtx could not read " << Printable(expected);
  EXPECT_EQ(Printable(dmtx->bytes), Printable(expected)) << "libdmtx";
}

struct LengthCase {
  int mode;
  int format;
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << "mode " << c.mode << ", format " << c.format; }

std::string Name(const testing::TestParamInfo<LengthCase>& info) {
  return "mode" + std::to_string(info.param.mode) + "_format" + std::to_string(info.param.format);
}

std::vector<LengthCase> SmallFormatsInModes() {
  std::vector<LengthCase> cases;
  for (int mode : {0, 2, 3, 5, 6}) {
    for (int format : {1, 2, 3, 4, 5, 6, 7, 8, 9, 25, 26, 27, 28, 29, 30}) cases.push_back({mode, format});
  }
  return cases;
}

}  // namespace

class EveryLength : public testing::TestWithParam<LengthCase> {};

// Every length from 1 to the format's capacity meets every position of a run's end against the
// format's last data codewords.
TEST_P(EveryLength, ReadsBack) {
  const LengthCase c = GetParam();
  std::mt19937 random(static_cast<unsigned>(c.mode * 100 + c.format));
  const std::string alphabet = SchemeAlphabet(c.mode);
  DataMatrixBarcode barcode;
  barcode.SetUpdateLock(true);
  barcode.SetEncodingMode(c.mode);
  barcode.SetPreferredFormat(c.format);
  barcode.SetUpdateLock(false);
  std::size_t longest = 0;
  int misses = 0;
  for (std::size_t length = 1; misses < 3; ++length) {
    const std::string data = RandomText(alphabet, length, random);
    const ResultCode result = barcode.SetDataToEncode(data);
    if (result == Result::DataDoesNotFit) {
      ++misses;
      continue;
    }
    ASSERT_EQ(result, Result::Ok) << length;
    misses = 0;
    longest = length;
    SCOPED_TRACE(testing::Message() << "length " << length << " data " << Printable(data));
    ExpectReadsBack(barcode, data);
  }
  // Each scheme packs at least one character per codeword.
  EXPECT_GE(longest, FindFormat(c.format)->dataCodewords - 2u);
}

INSTANTIATE_TEST_SUITE_P(SmallFormats, EveryLength, testing::ValuesIn(SmallFormatsInModes()), Name);

// Automatic encodation picks a scheme that works for any data: it never refuses data, and every
// symbol it makes reads back.
TEST(AutomaticEncodation, NeverRefusesAndAlwaysReadsBack) {
  std::mt19937 random(160221u);
  const std::string alphabets[] = {SchemeAlphabet(0), SchemeAlphabet(2), SchemeAlphabet(3), SchemeAlphabet(4),
                                   SchemeAlphabet(5), SchemeAlphabet(6), "0123456789", "AAAAAAzA*A*** \r>"};
  int fitted = 0;
  int tooLong = 0;
  for (int i = 0; i < 10000; ++i) {
    std::string data;
    const int pieces = 1 + static_cast<int>(random() % 5);
    const std::size_t pieceLength = 1 + random() % (i % 10 == 0 ? 400 : 40);
    for (int p = 0; p < pieces; ++p) {
      data += RandomText(alphabets[random() % std::size(alphabets)], pieceLength, random);
    }
    DataMatrixBarcode barcode;
    barcode.SetEncodingMode(0);
    const ResultCode result = barcode.SetDataToEncode(data);
    SCOPED_TRACE(testing::Message() << "input " << i << " " << Printable(data));
    ASSERT_TRUE(result == Result::Ok || result == Result::NoFittingFormat) << result;
    if (result != Result::Ok) {
      ++tooLong;
      continue;
    }
    ++fitted;
    ExpectReadsBack(barcode, data, false);
  }
  std::cout << "[ automatic ] " << fitted << " symbols read back, " << tooLong << " inputs fit no format\n";
}

// Long inputs where the look-ahead switches between schemes, up to the largest symbol.
TEST(AutomaticEncodation, LongMixedDataFillsLargeSymbols) {
  std::mt19937 random(99u);
  for (int i = 0; i < 40; ++i) {
    std::string data;
    while (data.size() < 1200 + 40 * static_cast<std::size_t>(i)) {
      const int mode = static_cast<int>(random() % 7);
      data += RandomText(SchemeAlphabet(mode), 5 + random() % 30, random);
    }
    DataMatrixBarcode barcode;
    barcode.SetEncodingMode(0);
    const ResultCode result = barcode.SetDataToEncode(data);
    ASSERT_TRUE(result == Result::Ok || result == Result::NoFittingFormat) << result;
    if (result == Result::Ok) {
      SCOPED_TRACE(testing::Message() << "input " << i << " format " << barcode.CurrentFormat().id);
      ExpectReadsBack(barcode, data);
    }
  }
}
