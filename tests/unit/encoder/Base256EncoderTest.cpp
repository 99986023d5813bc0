#include "encoder/Base256Encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/Preprocessor.h"

using namespace korvex::internal;

namespace {

DataItemList Items(const std::string& data) {
  DataItemList items;
  PreprocessData(data, items);
  return items;
}

DataItemList RepeatedByte(uint8_t byte, std::size_t count) {
  return DataItemList(count, DataCharItem(byte));
}

// Undoes the randomising as a decoder does: subtract the pseudo-random value modulo 256.
uint8_t Derandomize(uint8_t codeword, std::size_t position) {
  const int pseudoRandom = static_cast<int>((149 * position) % 255) + 1;
  return static_cast<uint8_t>((codeword - pseudoRandom + 256) % 256);
}

}  // namespace

TEST(Base256EncoderTest, Randomize255WrapsAt256) {
  struct Row {
    uint8_t value;
    std::size_t position;
    uint8_t expected;
  };
  const std::vector<Row> rows = {
      {0, 1, 150},    {105, 1, 255}, {106, 1, 0},   {255, 1, 149}, {3, 2, 47},
      {254, 255, 255}, {255, 255, 0}, {0, 255, 1},  {105, 256, 255}, {250, 2, 38},
      {0, 3, 193},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "value " << int(row.value) << " position " << row.position);
    EXPECT_EQ(Randomize255(row.value, row.position), row.expected);
  }
}

TEST(Base256EncoderTest, EncodesIntoAnEmptyBufferAndBehindAHeader) {
  struct Row {
    CodewordBuffer before;
    std::string data;
    CodewordBuffer expected;
  };
  const std::vector<Row> rows = {
      {{}, "abc", {231, 47, 34, 185, 79}},
      {{233, 15, 0, 1}, "abc", {233, 15, 0, 1, 231, 133, 121, 15, 166}},
      {{}, "", {}},
      {{9}, "", {9}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("data: " + row.data);
    CodewordBuffer buffer = row.before;
    CodewordWriter out(buffer);
    const DataItemList items = Items(row.data);
    EXPECT_TRUE(EncodeBase256(DataRange(items), out));
    EXPECT_EQ(buffer, row.expected);
  }
}

TEST(Base256EncoderTest, LengthFieldByRunLength) {
  struct Row {
    std::size_t length;
    bool accepted;
    CodewordBuffer head;  // latch and length field
    std::size_t total;
  };
  const std::vector<Row> rows = {
      {1, true, {231, 45}, 3},
      {249, true, {231, 37}, 251},
      {250, true, {231, 38, 193}, 253},
      {1555, true, {231, 43, 248}, 1558},
      {1556, false, {231}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.length);
    CodewordBuffer buffer;
    CodewordWriter out(buffer);
    const DataItemList items = RepeatedByte(0, row.length);
    EXPECT_EQ(EncodeBase256(DataRange(items), out), row.accepted);
    ASSERT_EQ(buffer.size(), row.total);
    EXPECT_EQ(CodewordBuffer(buffer.begin(), buffer.begin() + row.head.size()), row.head);
  }
}

TEST(Base256EncoderTest, BytesComeBackWhenDerandomized) {
  DataItemList items;
  for (std::size_t i = 0; i < 600; ++i) items.push_back(DataCharItem(static_cast<uint8_t>(i * 7)));
  CodewordBuffer buffer = {233, 15, 0, 1};
  CodewordWriter out(buffer);
  ASSERT_TRUE(EncodeBase256(DataRange(items), out));
  ASSERT_EQ(buffer.size(), 4u + 1u + 2u + items.size());
  EXPECT_EQ(buffer[4], 231);
  const std::size_t length = (Derandomize(buffer[5], 6) - 249) * 250 + Derandomize(buffer[6], 7);
  EXPECT_EQ(length, items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::size_t index = 7 + i;
    ASSERT_EQ(Derandomize(buffer[index], index + 1), ItemValue(items[i])) << "byte " << i;
  }
}

TEST(Base256EncoderTest, CodewordItemsSplitTheRun) {
  struct Row {
    std::string data;
    CodewordBuffer expected;
  };
  const std::vector<Row> rows = {
      // AB as a run of two, FNC1 in ASCII at position 5, C as a fresh run from position 6.
      {"AB~1C", {231, 46, 2, 153, 232, 231, 25, 240}},
      {"AB~1", {231, 46, 2, 153, 232}},
      {"AB~1~1", {231, 46, 2, 153, 232, 232}},
      {"AB~7000003", {231, 46, 2, 153, 241, 4}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("data: " + row.data);
    CodewordBuffer buffer;
    CodewordWriter out(buffer);
    const DataItemList items = Items(row.data);
    EXPECT_TRUE(EncodeBase256(DataRange(items), out));
    EXPECT_EQ(buffer, row.expected);
  }
}

TEST(Base256EncoderTest, RunLimitAppliesToEachRun) {
  DataItemList items = RepeatedByte('A', kMaxBase256Run);
  items.push_back(CodewordItem(232));
  const DataItemList second = RepeatedByte('B', kMaxBase256Run);
  items.insert(items.end(), second.begin(), second.end());

  CodewordBuffer buffer;
  CodewordWriter out(buffer);
  EXPECT_TRUE(EncodeBase256(DataRange(items), out));
  EXPECT_EQ(buffer.size(), 2 * (kMaxBase256Run + 3) + 1);
  EXPECT_EQ(buffer[kMaxBase256Run + 3], 232);

  items.push_back(DataCharItem('B'));
  buffer.clear();
  EXPECT_FALSE(EncodeBase256(DataRange(items), out));
}
