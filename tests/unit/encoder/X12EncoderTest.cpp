#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <string>
#include <vector>

#include "encoder/X12Encoder.h"
#include "unit/encoder/ItemBuilders.h"

using namespace korvex::internal;

namespace {

using namespace test_items;

Bytes Encode(const DataItemList& items, bool lastSegment, std::size_t capacity = kUnknown) {
  CodewordBuffer buffer;
  CodewordWriter out(buffer, capacity);
  EXPECT_TRUE(EncodeX12(DataRange(items), lastSegment, out));
  return buffer;
}

}  // namespace

TEST(X12Set, ValuesCoverZeroToThirtyNineOnce) {
  std::array<int, 40> valueSeen{};
  int accepted = 0;
  for (int byte = 0; byte < 256; ++byte) {
    if (!IsX12Char(static_cast<uint8_t>(byte))) continue;
    ++accepted;
    const uint8_t value = X12Value(static_cast<uint8_t>(byte));
    ASSERT_LT(value, 40) << byte;
    ++valueSeen[value];
  }
  EXPECT_EQ(accepted, 40);
  for (int seen : valueSeen) EXPECT_EQ(seen, 1);
}

TEST(X12Set, Values) {
  const std::pair<uint8_t, uint8_t> cases[] = {
      {13, 0}, {'*', 1}, {'>', 2}, {' ', 3}, {'0', 4}, {'9', 13}, {'A', 14}, {'Z', 39},
  };
  for (const auto& [byte, value] : cases) {
    EXPECT_TRUE(IsX12Char(byte)) << int(byte);
    EXPECT_EQ(X12Value(byte), value) << int(byte);
  }
  const uint8_t outside[] = {'a', 'z', '!', '<', '@', '[', '_', 10, 0, 170, 255};
  for (uint8_t byte : outside) {
    EXPECT_FALSE(IsX12Char(byte)) << int(byte);
  }
}

struct X12Case {
  const char* name;
  DataItemList items;
  Bytes expected;
};

TEST(EncodeX12, ExamplesWithUnknownCapacity) {
  const X12Case cases[] = {
      {"empty", {}, {}},
      {"ABC", Items("ABC"), {238, 89, 233, 254}},
      {"AB goes to ASCII", Items("AB"), {238, 254, 66, 67}},
      {"12 forms a digit pair", Items("12"), {238, 254, 142}},
      {"A", Items("A"), {238, 254, 66}},
      {"ABCD", Items("ABCD"), {238, 89, 233, 254, 69}},
      // 1600 * 1 + 40 * 2 + 0 + 1 = 1681
      {"*>CR", Items("*>\r"), {238, 6, 145, 254}},
  };
  for (const X12Case& c : cases) {
    for (bool lastSegment : {false, true}) {
      EXPECT_EQ(Encode(c.items, lastSegment), c.expected) << c.name << " last=" << lastSegment;
    }
  }
}

TEST(EncodeX12, RefusesCharactersOutsideTheSetWritingNothing) {
  const DataItemList cases[] = {
      Items("a"),
      Items("ABCDEFx"),
      Items("AB_"),
      Items("\xE9"),
      Concat({Items("ABC"), {kFnc1}, Items("DEf")}),
  };
  for (const DataItemList& items : cases) {
    CodewordBuffer buffer{232};
    CodewordWriter out(buffer);
    EXPECT_FALSE(EncodeX12(DataRange(items), true, out));
    EXPECT_EQ(buffer, Bytes{232});
  }
}

struct X12ShortEndCase {
  const char* name;
  DataItemList items;
  bool lastSegment;
  std::size_t capacity;
  Bytes expected;
};

TEST(EncodeX12, ShortEndsOnlyWhereTheFormatEnds) {
  const X12ShortEndCase cases[] = {
      {"ABC fills the format", Items("ABC"), true, 3, {238, 89, 233}},
      {"ABC leaves one codeword for a pad", Items("ABC"), true, 4, {238, 89, 233}},
      {"ABC with room for more unlatches", Items("ABC"), true, 5, {238, 89, 233, 254}},
      {"ABC followed by more data unlatches", Items("ABC"), false, 4, {238, 89, 233, 254}},
      {"ABCD: D in the last codeword", Items("ABCD"), true, 4, {238, 89, 233, 69}},
      {"ABCD with two codewords left", Items("ABCD"), true, 5, {238, 89, 233, 254, 69}},
      {"ABCD followed by more data", Items("ABCD"), false, 4, {238, 89, 233, 254, 69}},
      {"A in the last codeword", Items("A"), true, 2, {238, 66}},
      {"two left always unlatch", Items("AB"), true, 3, {238, 254, 66, 67}},
      {"two digits left always unlatch", Items("12"), true, 3, {238, 254, 142}},
      {"ABCDE two left after a triplet", Items("ABCDE"), true, 5, {238, 89, 233, 254, 69, 70}},
  };
  for (const X12ShortEndCase& c : cases) {
    EXPECT_EQ(Encode(c.items, c.lastSegment, c.capacity), c.expected) << c.name;
  }
}

TEST(EncodeX12, CodewordItemsInsideTheData) {
  const X12ShortEndCase cases[] = {
      // 17, 18, 19 -> 27200 + 720 + 19 + 1 = 27940 -> 109, 36
      {"FNC1 between runs", Concat({Items("ABC"), {kFnc1}, Items("DEF")}), true, kUnknown,
       {238, 89, 233, 254, 232, 238, 109, 36, 254}},
      {"FNC1 before the first character", Concat({{kFnc1}, Items("ABC")}), true, kUnknown,
       {232, 238, 89, 233, 254}},
      {"ECI codewords between runs", Concat({Items("A"), {CodewordItem(241), CodewordItem(4)}, Items("B")}),
       true, kUnknown, {238, 254, 66, 241, 4, 238, 254, 67}},
      {"FNC1 last: the run before it unlatches", Concat({Items("ABC"), {kFnc1}}), true, 4,
       {238, 89, 233, 254, 232}},
      {"the run after FNC1 may end short", Concat({Items("ABC"), {kFnc1}, Items("DEF")}), true, 8,
       {238, 89, 233, 254, 232, 238, 109, 36}},
  };
  for (const X12ShortEndCase& c : cases) {
    EXPECT_EQ(Encode(c.items, c.lastSegment, c.capacity), c.expected) << c.name;
  }
}
