#include "encoder/Preprocessor.h"
#include "encoder/Utf8Text.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

using namespace korvex::internal;

namespace {

DataItemList Chars(const std::string& text) {
  DataItemList items;
  for (char c : text) items.push_back(DataCharItem(static_cast<uint8_t>(c)));
  return items;
}

DataItemList Codewords(std::initializer_list<uint8_t> values) {
  DataItemList items;
  for (uint8_t value : values) items.push_back(CodewordItem(value));
  return items;
}

DataItemList Join(std::initializer_list<DataItemList> parts) {
  DataItemList joined;
  for (const DataItemList& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

DataItemList Preprocess(const std::string& data) {
  DataItemList items;
  PreprocessData(data, items);
  return items;
}

struct EscapeCase {
  std::string data;
  DataItemList expected;
};

void ExpectAll(const std::vector<EscapeCase>& cases) {
  for (const EscapeCase& row : cases) {
    SCOPED_TRACE("data: " + row.data);
    EXPECT_EQ(Preprocess(row.data), row.expected);
  }
}

}  // namespace

TEST(PreprocessorTest, PlainDataBecomesDataCharacters) {
  ExpectAll({
      {"", {}},
      {"ABC", Chars("ABC")},
      {"\xC8\xFF\x80", {DataCharItem(200), DataCharItem(255), DataCharItem(128)}},
      {"a b\t", Chars("a b\t")},
  });
}

TEST(PreprocessorTest, EveryEscapeOfTheTable) {
  ExpectAll({
      {"~1AB", Join({Codewords({232}), Chars("AB")})},
      {"A~1B", Join({Chars("A"), Codewords({232}), Chars("B")})},
      {"AB~1", Join({Chars("AB"), Codewords({232})})},
      {"~3AB", Join({Codewords({234}), Chars("AB")})},
      {"~5AB", Join({Codewords({236}), Chars("AB")})},
      {"~6AB", Join({Codewords({237}), Chars("AB")})},
      {"~7000003", Codewords({241, 4})},
      {"A~7000003B", Join({Chars("A"), Codewords({241, 4}), Chars("B")})},
      {"~N", {DataCharItem(10)}},
      {"A~NB", Join({Chars("A"), {DataCharItem(10)}, Chars("B")})},
      {"~R", {DataCharItem(13)}},
      {"~X41", Chars("A")},
      {"~x41", Chars("A")},
      {"~Xff", {DataCharItem(255)}},
      {"~XaF", {DataCharItem(0xAF)}},
      {"~X00", {DataCharItem(0)}},
      {"~X4142", Join({Chars("A"), Chars("42")})},
      {"~~", Chars("~")},
  });
}

TEST(PreprocessorTest, EciEscapesGiveTheirCodewords) {
  ExpectAll({
      {"~7000000", Codewords({241, 1})},
      {"~7000003", Codewords({241, 4})},
      {"~7000126", Codewords({241, 127})},
      {"~7000127", Codewords({241, 128, 1})},
      {"~7016382", Codewords({241, 191, 254})},
      {"~7016383", Codewords({241, 192, 1, 1})},
      {"~7999999", Codewords({241, 207, 63, 129})},
      {"~70000031", Join({Codewords({241, 4}), Chars("1")})},
  });
}

TEST(PreprocessorTest, FailingConditionsLeaveALiteralTilde) {
  ExpectAll({
      {"A~3", Chars("A~3")},
      {"A~5", Chars("A~5")},
      {"A~6", Chars("A~6")},
      {"~1~3", Join({Codewords({232}), Chars("~3")})},
      {"~712345", Chars("~712345")},
      {"~7", Chars("~7")},
      {"~70000a3", Chars("~70000a3")},
      {"~7 00003", Chars("~7 00003")},
      {"~XG1", Chars("~XG1")},
      {"~Xg1", Chars("~Xg1")},
      {"~X4G", Chars("~X4G")},
      {"~X4", Chars("~X4")},
      {"~X", Chars("~X")},
      {"~n", Chars("~n")},
      {"~r", Chars("~r")},
      {"~Q", Chars("~Q")},
      {"~2", Chars("~2")},
  });
}

TEST(PreprocessorTest, TildePairsAndTrailingTilde) {
  ExpectAll({
      {"~", Chars("~")},
      {"A~", Chars("A~")},
      {"~~1", Chars("~1")},
      {"~~~", Chars("~~")},
      {"~~~1", Join({Chars("~"), Codewords({232})})},
      // After a failed escape the next tilde starts an escape of its own.
      {"~X~41", Chars("~X~41")},
      {"~Z~1", Join({Chars("~Z"), Codewords({232})})},
      {"~7~X41", Join({Chars("~7"), Chars("A")})},
  });
}

TEST(PreprocessorTest, DataEndsAtTheFirstNulByte) {
  EXPECT_EQ(Preprocess(std::string("AB\0~1", 5)), Chars("AB"));
  EXPECT_EQ(Preprocess(std::string("\0AB", 3)), DataItemList{});
  EXPECT_EQ(Preprocess(std::string("~X\0" "41", 5)), Chars("~X"));
}

TEST(PreprocessorTest, ReplacesWhatTheListHeldAndReservesRoom) {
  DataItemList items = Chars("old content");
  PreprocessData("~1A", items);
  EXPECT_EQ(items, Join({Codewords({232}), Chars("A")}));
  EXPECT_GE(items.capacity(), 3u + 100u);
}

TEST(PreprocessorTest, AppendEciCodewordsByNumberRange) {
  struct Row {
    uint32_t number;
    std::vector<uint8_t> expected;
  };
  const std::vector<Row> rows = {
      {0, {241, 1}},
      {3, {241, 4}},
      {126, {241, 127}},
      {127, {241, 128, 1}},
      {380, {241, 128, 254}},
      {381, {241, 129, 1}},
      {16382, {241, 191, 254}},
      {16383, {241, 192, 1, 1}},
      {16637, {241, 192, 2, 1}},
      {999999, {241, 207, 63, 129}},
      // Beyond six digits there is no number encoding; only the ECI codeword is written.
      {1000000, {241}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.number);
    std::vector<uint8_t> out = {7};
    AppendEciCodewords(row.number, out);
    std::vector<uint8_t> expected = {7};
    expected.insert(expected.end(), row.expected.begin(), row.expected.end());
    EXPECT_EQ(out, expected);
  }
}

TEST(PreprocessorTest, CopyLeadingCodewordsStopsAtTheFirstDataCharacter) {
  struct Row {
    std::string data;
    std::size_t copied;
    CodewordBuffer expected;
  };
  const std::vector<Row> rows = {
      {"", 0, {}},
      {"AB", 0, {}},
      {"A~1", 0, {}},
      {"~1AB", 1, {232}},
      {"~1~1", 2, {232, 232}},
      {"~3~1~7000003A~1", 4, {234, 232, 241, 4}},
      {"~5~7999999~NA", 5, {236, 241, 207, 63, 129}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("data: " + row.data);
    const DataItemList items = Preprocess(row.data);
    CodewordBuffer buffer;
    EXPECT_EQ(CopyLeadingCodewords(items, buffer), row.copied);
    EXPECT_EQ(buffer, row.expected);
    EXPECT_EQ(items, Preprocess(row.data));
  }
}

TEST(PreprocessorTest, CopyLeadingCodewordsAppendsBehindAHeader) {
  CodewordBuffer buffer = {233, 15, 0, 1};
  EXPECT_EQ(CopyLeadingCodewords(Preprocess("~1AIM"), buffer), 1u);
  EXPECT_EQ(buffer, (CodewordBuffer{233, 15, 0, 1, 232}));
}

// Bytes are judged after the escapes are resolved, and an ECI goes behind a leading function.
TEST(PreprocessorTest, Utf8TextIsCheckedAndMarkedWithItsEci) {
  const struct {
    std::string data;
    TextEncoding encoding;
  } cases[] = {
      {"Strasse~1~X7E", TextEncoding::Ascii},
      {"Stra\xC3\x9F" "e", TextEncoding::Utf8},
      {"Stra~XC3~X9F" "e", TextEncoding::Utf8},
      {"\xF0\x9F\x98\x80", TextEncoding::Utf8},
      {"Stra\xDF" "e", TextEncoding::NotUtf8},
      {"~XDF", TextEncoding::NotUtf8},
      {"\xC3", TextEncoding::NotUtf8},
      {"\xC3~1\x9F", TextEncoding::NotUtf8},
      {"\xC0\xAF", TextEncoding::NotUtf8},
      {"\xED\xA0\x80", TextEncoding::NotUtf8},
      {"\xF4\x90\x80\x80", TextEncoding::NotUtf8},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.data);
    EXPECT_EQ(ClassifyText(row.data), row.encoding);
  }
  EXPECT_EQ(WithUtf8Eci("\xC3\x9F"), "~7000026\xC3\x9F");
  EXPECT_EQ(WithUtf8Eci("~1\xC3\x9F"), "~1~7000026\xC3\x9F");
  EXPECT_EQ(WithUtf8Eci("~5\xC3\x9F"), "~5~7000026\xC3\x9F");
  EXPECT_EQ(WithUtf8Eci("~~\xC3\x9F"), "~7000026~~\xC3\x9F");
  EXPECT_EQ(Preprocess(WithUtf8Eci("~3\xC3\x9F")), Join({Codewords({234, 241, 27}), {DataCharItem(0xC3), DataCharItem(0x9F)}}));
}

// The same rule over plain bytes, where a tilde is only a byte.
TEST(PreprocessorTest, IsUtf8JudgesPlainBytes) {
  const struct {
    std::string text;
    bool utf8;
  } cases[] = {
      {"", true},
      {"Strasse~XDF", true},
      {"Stra\xC3\x9F" "e", true},
      {"\xF0\x9F\x98\x80", true},
      {"Stra\xDF" "e", false},
      {"\xC3", false},
      {"\xE2\x82", false},
      {"\xC3\x41", false},
      {"\xC0\xAF", false},
      {"\xED\xA0\x80", false},
      {"\xF4\x90\x80\x80", false},
      {"\x9F", false},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(IsUtf8(row.text), row.utf8);
  }
}
