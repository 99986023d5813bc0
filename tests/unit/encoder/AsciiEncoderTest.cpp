#include "encoder/AsciiEncoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/Preprocessor.h"

using namespace korvex::internal;

namespace {

struct AsciiCase {
  std::string data;
  CodewordBuffer expected;
};

CodewordBuffer EncodeData(const std::string& data) {
  DataItemList items;
  PreprocessData(data, items);
  CodewordBuffer buffer;
  CodewordWriter out(buffer);
  EXPECT_TRUE(EncodeAscii(DataRange(items), out));
  return buffer;
}

}  // namespace

TEST(AsciiEncoderTest, CodewordsAndLengthByCase) {
  const std::vector<AsciiCase> cases = {
      {"", {}},
      {"A", {66}},
      {"12", {142}},
      {"123", {142, 52}},
      {"1234", {142, 164}},
      {"00", {130}},
      {"99", {229}},
      {"1A", {50, 66}},
      {"A1", {66, 50}},
      {"A12B3", {66, 142, 67, 52}},
      {"~XC8", {235, 73}},
      {"~X80", {235, 1}},
      {"~XFF", {235, 128}},
      {"~X7F", {128}},
      {"~X00", {1}},
      {"1~12", {50, 232, 51}},
      {"~1AB", {232, 66, 67}},
      {"1~70000032", {50, 241, 4, 51}},
      {"~", {127}},
      {"A~", {66, 127}},
      {"~N~R", {11, 14}},
      {"~X311", {141}},
  };
  for (const AsciiCase& row : cases) {
    SCOPED_TRACE("data: " + row.data);
    const CodewordBuffer encoded = EncodeData(row.data);
    EXPECT_EQ(encoded, row.expected);
    DataItemList items;
    PreprocessData(row.data, items);
    EXPECT_EQ(AsciiLength(DataRange(items)), row.expected.size());
  }
}

TEST(AsciiEncoderTest, PairsFormOnlyInsideTheRange) {
  DataItemList items;
  PreprocessData("1234", items);
  CodewordBuffer buffer;
  CodewordWriter out(buffer);
  EXPECT_TRUE(EncodeAscii(DataRange(items).Sub(1, 1), out));
  EXPECT_TRUE(EncodeAscii(DataRange(items).Sub(2, 2), out));
  EXPECT_EQ(buffer, (CodewordBuffer{51, 164}));
  EXPECT_EQ(AsciiLength(DataRange(items).Sub(1, 1)), 1u);
}

TEST(AsciiEncoderTest, AppendsBehindWhatTheBufferHolds) {
  DataItemList items;
  PreprocessData("AB", items);
  CodewordBuffer buffer = {233, 15, 0, 1};
  CodewordWriter out(buffer, 5);
  EXPECT_TRUE(EncodeAscii(DataRange(items), out));
  EXPECT_EQ(buffer, (CodewordBuffer{233, 15, 0, 1, 66, 67}));
  EXPECT_FALSE(out.Misread());
}
