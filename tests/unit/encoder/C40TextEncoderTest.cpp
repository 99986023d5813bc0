#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <string>
#include <vector>

#include "encoder/C40TextEncoder.h"
#include "unit/encoder/ItemBuilders.h"

using namespace korvex::internal;

namespace {

using namespace test_items;

Bytes Encode(const DataItemList& items, bool useC40, bool lastSegment,
             std::size_t capacity = CodewordWriter::kUnknownCapacity, Bytes already = {}, bool fullSymbolEnds = false) {
  CodewordBuffer buffer = already;
  CodewordWriter out(buffer, capacity);
  EXPECT_TRUE(EncodeC40Text(DataRange(items), useC40, lastSegment, out, fullSymbolEnds));
  return buffer;
}

}  // namespace

TEST(FindC40TextValue, EveryAsciiByteHasACellOfItsOwn) {
  for (bool useC40 : {true, false}) {
    std::array<int, 40 * 4> taken{};
    for (int byte = 0; byte < 128; ++byte) {
      const C40TextValue value = FindC40TextValue(static_cast<uint8_t>(byte), useC40);
      ASSERT_TRUE(value.found) << byte;
      ASSERT_LT(value.row, 40) << byte;
      ASSERT_LT(value.set, 4) << byte;
      EXPECT_EQ(++taken[value.row * 4 + value.set], 1) << byte << " shares its cell";
    }
    for (int byte = 128; byte < 256; ++byte) {
      EXPECT_FALSE(FindC40TextValue(static_cast<uint8_t>(byte), useC40).found) << byte;
    }
  }
}

TEST(FindC40TextValue, SetsDifferOnlyInLetterCase) {
  for (int byte = 0; byte < 128; ++byte) {
    const bool letter = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
    const C40TextValue c40 = FindC40TextValue(static_cast<uint8_t>(byte), true);
    const C40TextValue text = FindC40TextValue(static_cast<uint8_t>(letter ? byte ^ 0x20 : byte), false);
    EXPECT_EQ(text.row, c40.row) << byte;
    EXPECT_EQ(text.set, c40.set) << byte;
    // The letters sit in the basic set from row 14 and in shift 3 from row 1 to 26.
    if (letter) {
      EXPECT_TRUE((c40.set == 0 && c40.row >= 14) || (c40.set == 3 && c40.row >= 1 && c40.row <= 26)) << byte;
    }
  }
}

struct LookupCase {
  uint8_t byte;
  bool useC40;
  bool found;
  uint8_t row;
  uint8_t set;
};

TEST(FindC40TextValue, Lookups) {
  const LookupCase cases[] = {
      {' ', true, true, 3, 0},   {'0', true, true, 4, 0},   {'9', false, true, 13, 0},
      {'A', true, true, 14, 0},  {'Z', true, true, 39, 0},  {'a', true, true, 1, 3},
      {'a', false, true, 14, 0}, {'A', false, true, 1, 3},  {'z', false, true, 39, 0},
      {0, true, true, 0, 1},     {9, true, true, 9, 1},     {31, false, true, 31, 1},
      {'!', true, true, 0, 2},   {'_', false, true, 26, 2}, {'@', true, true, 21, 2},
      {'`', true, true, 0, 3},   {127, false, true, 31, 3}, {'{', true, true, 27, 3},
      {128, true, false, 0, 0},  {255, false, false, 0, 0},
  };
  for (const LookupCase& c : cases) {
    const C40TextValue value = FindC40TextValue(c.byte, c.useC40);
    EXPECT_EQ(value.found, c.found) << int(c.byte);
    if (!c.found) continue;
    EXPECT_EQ(value.row, c.row) << int(c.byte);
    EXPECT_EQ(value.set, c.set) << int(c.byte);
  }
}

TEST(PackTriplet, PacksThreeValuesIntoTwoCodewords) {
  struct Case {
    uint8_t p, q, r;
    Bytes expected;
  };
  const Case cases[] = {
      {0, 0, 0, {0, 1}},          // 1
      {14, 15, 16, {89, 233}},    // 22400 + 600 + 16 + 1 = 23017
      {39, 39, 39, {250, 0}},     // 64000
      {0, 9, 0, {1, 105}},        // 361
      {1, 30, 21, {11, 6}},       // 1600 + 1200 + 21 + 1 = 2822
  };
  for (const Case& c : cases) {
    CodewordBuffer buffer;
    CodewordWriter out(buffer);
    PackTriplet(c.p, c.q, c.r, out);
    EXPECT_EQ(buffer, c.expected) << int(c.p) << "," << int(c.q) << "," << int(c.r);
  }
}

struct RunCase {
  const char* name;
  DataItemList items;
  bool useC40;
  Bytes expected;
};

// With an unknown capacity both end indications write the same ends.
TEST(EncodeC40Text, ExamplesWithUnknownCapacity) {
  const RunCase cases[] = {
      {"empty C40", {}, true, {}},
      {"empty Text", {}, false, {}},
      {"AIM", Items("AIM"), true, {230, 91, 11, 254}},
      {"AB padded with a shift 1", Items("AB"), true, {230, 89, 217, 254}},
      {"A alone goes to ASCII", Items("A"), true, {230, 254, 66}},
      {"AB! shift closes the triplet", Items("AB!"), true, {230, 89, 218, 254, 34}},
      {"C40 a is shift 3", Items("a"), true, {230, 12, 169, 254}},
      {"Text a is basic", Items("a"), false, {239, 254, 98}},
      {"Text A is shift 3", Items("A"), false, {239, 12, 169, 254}},
      {"byte 9 is shift 1", Items("\x09"), true, {230, 1, 105, 254}},
      {"byte 200 is upper shift of H", Items("\xC8"), true, {230, 11, 6, 254}},
      {"two full triplets", Items("ABCABC"), true, {230, 89, 233, 89, 233, 254}},
  };
  for (const RunCase& c : cases) {
    for (bool lastSegment : {false, true}) {
      EXPECT_EQ(Encode(c.items, c.useC40, lastSegment), c.expected) << c.name << " last=" << lastSegment;
    }
    // A known capacity changes nothing but an unlatch that exactly fills it.
    for (std::size_t capacity = 1; capacity <= c.expected.size() + 2; ++capacity) {
      Bytes expected = c.expected;
      if (capacity == expected.size() && expected.back() == 254) expected.pop_back();
      EXPECT_EQ(Encode(c.items, c.useC40, true, capacity), expected) << c.name << " capacity " << capacity;
    }
  }
}

struct ShortEndCase {
  const char* name;
  DataItemList items;
  bool useC40;
  bool lastSegment;
  std::size_t capacity;
  Bytes already;
  Bytes expected;
};

// Every run ends in full, whatever the format holds; only an unlatch that would be the last data
// codeword, with nothing after it, gives way to the pad.
TEST(EncodeC40Text, UnlatchGivesWayOnlyToTheLastPad) {
  const ShortEndCase cases[] = {
      {"AIM at the capacity keeps the unlatch", Items("AIM"), true, true, 3, {}, {230, 91, 11, 254}},
      {"AIM unlatch on the last codeword", Items("AIM"), true, true, 4, {}, {230, 91, 11}},
      {"AIM with room for more unlatches", Items("AIM"), true, true, 5, {}, {230, 91, 11, 254}},
      {"AIM followed by more data unlatches", Items("AIM"), true, false, 4, {}, {230, 91, 11, 254}},
      {"AIM behind earlier codewords", Items("AIM"), true, true, 5, {232}, {232, 230, 91, 11}},
      {"AIM behind earlier codewords, room left", Items("AIM"), true, true, 6, {232}, {232, 230, 91, 11, 254}},
      {"AB padded at the capacity", Items("AB"), true, true, 3, {}, {230, 89, 217, 254}},
      {"AB padded, unlatch on the last codeword", Items("AB"), true, true, 4, {}, {230, 89, 217}},
      {"AB padded, more data follows", Items("AB"), true, false, 4, {}, {230, 89, 217, 254}},
      {"A at the capacity keeps the unlatch", Items("A"), true, true, 2, {}, {230, 254, 66}},
      {"Text a at the capacity keeps the unlatch", Items("a"), false, true, 2, {}, {239, 254, 98}},
      {"Text aim, unlatch on the last codeword", Items("aim"), false, true, 4, {}, {239, 91, 11}},
      {"AB! mark in the last codeword", Items("AB!"), true, true, 4, {}, {230, 89, 218, 254, 34}},
      // 14, 1, 30 | 21: the leftover row of the byte 200, which needs two ASCII codewords.
      {"extended last character", Items("A\xC8"), true, true, 4, {}, {230, 87, 199, 254, 235, 73}},
  };
  for (const ShortEndCase& c : cases) {
    EXPECT_EQ(Encode(c.items, c.useC40, c.lastSegment, c.capacity, c.already), c.expected) << c.name;
  }
}

// The ends for a run that fills the format exactly, which only the shortest encodation asks for.
TEST(EncodeC40Text, FullSymbolEndsOnlyWhereTheFormatIsFilled) {
  const ShortEndCase cases[] = {
      {"AIM fills the format: no unlatch", Items("AIM"), true, true, 3, {}, {230, 91, 11}},
      {"AIM, unlatch on the last codeword", Items("AIM"), true, true, 4, {}, {230, 91, 11}},
      {"AIM with room left unlatches", Items("AIM"), true, true, 5, {}, {230, 91, 11, 254}},
      {"AIM with more data to come unlatches", Items("AIM"), true, false, 3, {}, {230, 91, 11, 254}},
      {"AIM while the format is unknown", Items("AIM"), true, true, CodewordWriter::kUnknownCapacity, {},
       {230, 91, 11, 254}},
      {"AIM behind earlier codewords fills the format", Items("AIM"), true, true, 4, {232}, {232, 230, 91, 11}},
      {"AB padded into the last two codewords", Items("AB"), true, true, 3, {}, {230, 89, 217}},
      {"AB padded with room left unlatches", Items("AB"), true, true, 5, {}, {230, 89, 217, 254}},
      {"A in the last codeword, in ASCII", Items("A"), true, true, 2, {}, {230, 66}},
      {"Text a in the last codeword, in ASCII", Items("a"), false, true, 2, {}, {239, 98}},
      {"A with two codewords left unlatches", Items("A"), true, true, 3, {}, {230, 254, 66}},
      {"A with more data to come unlatches", Items("A"), true, false, 2, {}, {230, 254, 66}},
      // The mark's shift closed the triplet: only a character of one value may stand alone.
      {"AB! keeps its unlatch", Items("AB!"), true, true, 4, {}, {230, 89, 218, 254, 34}},
      {"C40 a (shift 3) keeps its unlatch", Items("BCa"), true, true, 4, {}, {230, 96, 67, 254, 98}},
  };
  for (const ShortEndCase& c : cases) {
    EXPECT_EQ(Encode(c.items, c.useC40, c.lastSegment, c.capacity, c.already, true), c.expected) << c.name;
  }
}

TEST(EncodeC40Text, CodewordItemsInsideTheData) {
  const ShortEndCase cases[] = {
      // 16, 17, 18 -> 25600 + 680 + 18 + 1 = 26299 -> 102, 187
      {"FNC1 between runs", Concat({Items("AB"), {kFnc1}, Items("CDE")}), true, true,
       CodewordWriter::kUnknownCapacity, {}, {230, 89, 217, 254, 232, 230, 102, 187, 254}},
      {"FNC1 before the first character", Concat({{kFnc1}, Items("A")}), true, true,
       CodewordWriter::kUnknownCapacity, {}, {232, 230, 254, 66}},
      {"Text around FNC1", Concat({Items("ab"), {kFnc1}, Items("c")}), false, true,
       CodewordWriter::kUnknownCapacity, {}, {239, 89, 217, 254, 232, 239, 254, 100}},
      {"ECI codewords between runs", Concat({Items("A"), {CodewordItem(241), CodewordItem(4)}, Items("B")}),
       true, true, CodewordWriter::kUnknownCapacity, {}, {230, 254, 66, 241, 4, 230, 254, 67}},
      {"FNC1 last: the run before it is not at the end", Concat({Items("ABC"), {kFnc1}}), true, true, 4, {},
       {230, 89, 233, 254, 232}},
      {"the run after FNC1 unlatches before its last character", Concat({Items("AB"), {kFnc1}, Items("A")}), true,
       true, 7, {}, {230, 89, 217, 254, 232, 230, 254, 66}},
      {"the run after FNC1 leaves a last-codeword unlatch to the pad", Concat({Items("AB"), {kFnc1}, Items("AB")}),
       true, true, 9, {}, {230, 89, 217, 254, 232, 230, 89, 217}},
      {"not the end of the data: the last run unlatches", Concat({Items("AB"), {kFnc1}, Items("AB")}), true,
       false, 9, {}, {230, 89, 217, 254, 232, 230, 89, 217, 254}},
  };
  for (const ShortEndCase& c : cases) {
    EXPECT_EQ(Encode(c.items, c.useC40, c.lastSegment, c.capacity, c.already), c.expected) << c.name;
  }
}
