#include "encoder/EdifactEncoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/Preprocessor.h"

using namespace korvex::internal;

namespace {

constexpr std::size_t kUnknown = CodewordWriter::kUnknownCapacity;

struct EdifactCase {
  std::string data;
  bool lastSegment;
  std::size_t capacity;
  CodewordBuffer expected;
  bool misread;
};

void ExpectAll(const std::vector<EdifactCase>& cases, const CodewordBuffer& before = {}) {
  for (const EdifactCase& row : cases) {
    SCOPED_TRACE(testing::Message() << "data " << row.data << " lastSegment " << row.lastSegment
                                    << " capacity " << row.capacity);
    DataItemList items;
    PreprocessData(row.data, items);
    CodewordBuffer buffer = before;
    CodewordWriter out(buffer, row.capacity);
    EXPECT_TRUE(EncodeEdifact(DataRange(items), row.lastSegment, out));
    CodewordBuffer expected = before;
    expected.insert(expected.end(), row.expected.begin(), row.expected.end());
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(out.Misread(), row.misread);
  }
}

}  // namespace

TEST(EdifactEncoderTest, AcceptsExactly32To94) {
  for (int byte = 0; byte < 256; ++byte) {
    EXPECT_EQ(IsEdifactChar(static_cast<uint8_t>(byte)), byte >= 32 && byte <= 94) << byte;
  }
}

TEST(EdifactEncoderTest, PacksOneToFourValues) {
  struct Row {
    std::vector<uint8_t> values;
    CodewordBuffer expected;
  };
  const std::vector<Row> rows = {
      {{'A'}, {4}},
      {{'A', 'B'}, {4, 32}},
      {{'A', 'B', 'C'}, {4, 32, 192}},
      {{'A', 'B', 'C', 'D'}, {4, 32, 196}},
      {{31}, {124}},
      {{'A', 31}, {5, 240}},
      {{'@', '@', '@', '@'}, {0, 0, 0}},
      {{'^', '^', '^', '^'}, {121, 231, 158}},
      {{' ', ' ', ' ', ' '}, {130, 8, 32}},
      {{'1', '2', 31}, {199, 39, 192}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.values.size());
    CodewordBuffer buffer;
    CodewordWriter out(buffer);
    PackEdifact(row.values.data(), row.values.size(), out);
    EXPECT_EQ(buffer, row.expected);
  }
}

TEST(EdifactEncoderTest, LongEndsWhileTheCapacityIsUnknown) {
  ExpectAll({
      {"", false, kUnknown, {}, false},
      {"", true, kUnknown, {}, false},
      {"ABCD", false, kUnknown, {240, 4, 32, 196, 124}, false},
      {"A", false, kUnknown, {240, 5, 240}, false},
      {"AB", false, kUnknown, {240, 4, 39, 192}, false},
      {"ABC", false, kUnknown, {240, 4, 32, 223}, false},
      {"ABCD", true, kUnknown, {240, 4, 32, 196, 124}, false},
      {"A", true, kUnknown, {240, 5, 240}, false},
      {"AB", true, kUnknown, {240, 4, 39, 192}, false},
      {"ABC", true, kUnknown, {240, 4, 32, 223}, false},
      {"ABCDEFG", true, kUnknown, {240, 4, 32, 196, 20, 97, 223}, false},
      {"^^^^", true, kUnknown, {240, 121, 231, 158, 124}, false},
      {"@@@@@@@@@@@@12", true, kUnknown, {240, 0, 0, 0, 0, 0, 0, 0, 0, 0, 199, 39, 192}, false},
  });
}

TEST(EdifactEncoderTest, RefusesBytesOutside32To94WritingNothing) {
  const std::vector<std::string> refused = {"_", "ABC_", "abc", "ABCDz", "A~NB", "~X7F", "~XC8", "~X1F", "A~1b"};
  for (const std::string& data : refused) {
    SCOPED_TRACE("data: " + data);
    DataItemList items;
    PreprocessData(data, items);
    CodewordBuffer buffer = {233};
    CodewordWriter out(buffer, 100);
    EXPECT_FALSE(EncodeEdifact(DataRange(items), true, out));
    EXPECT_EQ(buffer, CodewordBuffer{233});
  }
}

TEST(EdifactEncoderTest, LastSegmentEndsWithKnownCapacity) {
  ExpectAll({
      // No characters left: the unlatch only while three or more codewords remain.
      {"ABCD", true, 7, {240, 4, 32, 196, 124}, false},
      {"ABCD", true, 6, {240, 4, 32, 196}, false},
      {"ABCD", true, 5, {240, 4, 32, 196}, false},
      {"ABCD", true, 4, {240, 4, 32, 196}, false},
      // One or two left: unlatch group, or ASCII in the last two codewords.
      {"ABCDE", true, 7, {240, 4, 32, 196, 21, 240}, false},
      {"ABCDE", true, 6, {240, 4, 32, 196, 70}, false},
      {"ABCDE", true, 5, {240, 4, 32, 196, 70}, false},
      {"ABCDEF", true, 7, {240, 4, 32, 196, 20, 103, 192}, false},
      {"ABCDEF", true, 6, {240, 4, 32, 196, 70, 71}, false},
      {"A", true, 4, {240, 5, 240}, false},
      {"A", true, 3, {240, 66}, false},
      {"@@@@@@@@@@@@12", true, 13, {240, 0, 0, 0, 0, 0, 0, 0, 0, 0, 199, 39, 192}, false},
      {"@@@@@@@@@@@@12", true, 12, {240, 0, 0, 0, 0, 0, 0, 0, 0, 0, 142}, false},
      // Three left: always the three values and the unlatch.
      {"ABCDEFG", true, 8, {240, 4, 32, 196, 20, 97, 223}, false},
      {"ABC", true, 4, {240, 4, 32, 223}, false},
      {"ABC", true, 3, {240, 4, 32, 223}, true},
  });
}

TEST(EdifactEncoderTest, RoomCountsWhatTheBufferAlreadyHolds) {
  const CodewordBuffer header = {233, 15, 0, 1};
  ExpectAll(
      {
          {"A", true, 8, {240, 5, 240}, false},
          {"A", true, 7, {240, 66}, false},
          {"ABCD", false, 10, {240, 4, 32, 196, 124}, true},
      },
      header);
}

TEST(EdifactEncoderTest, UnlatchBeforeFollowingDataMarksMisreadNearTheEnd) {
  ExpectAll({
      {"ABCD", false, 7, {240, 4, 32, 196, 124}, false},
      {"ABCD", false, 6, {240, 4, 32, 196, 124}, true},
      {"ABCDE", false, 7, {240, 4, 32, 196, 21, 240}, false},
      {"ABCDE", false, 6, {240, 4, 32, 196, 21, 240}, true},
      {"AB", false, 4, {240, 4, 39, 192}, false},
      {"AB", false, 3, {240, 4, 39, 192}, true},
      {"ABC", false, 3, {240, 4, 32, 223}, true},
  });
}

TEST(EdifactEncoderTest, CodewordItemsSplitTheRun) {
  ExpectAll({
      {"ABCDE~1FG", true, kUnknown, {240, 4, 32, 196, 21, 240, 232, 240, 24, 119, 192}, false},
      {"AB~7000003CD", true, kUnknown, {240, 4, 39, 192, 241, 4, 240, 12, 71, 192}, false},
      {"ABCD~1", true, kUnknown, {240, 4, 32, 196, 124, 232}, false},
      {"A~1~1B", false, kUnknown, {240, 5, 240, 232, 232, 240, 9, 240}, false},
      // The run before the item is not the end of the data, so it keeps its unlatch even in
      // the last two codewords, and the format is flagged as misread.
      {"ABCD~1", true, 7, {240, 4, 32, 196, 124, 232}, false},
      {"ABCD~1", true, 6, {240, 4, 32, 196, 124, 232}, true},
      // The run after the item is the end of the data and may take the short end.
      {"A~1BCDEF", true, 10, {240, 5, 240, 232, 240, 8, 49, 5, 71}, false},
  });
}
