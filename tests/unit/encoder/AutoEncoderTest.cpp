#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "encoder/AutoEncoder.h"
#include "unit/encoder/ItemBuilders.h"

using namespace korvex::internal;

namespace korvex::internal {
// Readable failure output for plans; static so that it cannot clash with other test files.
static void PrintTo(const Segment& segment, std::ostream* os) {
  *os << "{scheme " << static_cast<int>(segment.scheme) << ", items " << segment.begin << "+" << segment.count
      << (segment.lastSegment ? ", last}" : "}");
}
}  // namespace korvex::internal

namespace {

using namespace test_items;

using Plan = std::vector<Segment>;

// The schemes by their short names, for the tables.
constexpr Scheme Ascii = Scheme::Ascii;
constexpr Scheme C40 = Scheme::C40;
constexpr Scheme Text = Scheme::Text;
constexpr Scheme X12 = Scheme::X12;
constexpr Scheme Edifact = Scheme::Edifact;
constexpr Scheme Base256 = Scheme::Base256;

Segment Seg(Scheme scheme, std::size_t begin, std::size_t count, bool lastSegment) {
  return {scheme, begin, count, lastSegment};
}

struct PlanCase {
  const char* name;
  DataItemList items;
  Plan expected;
};

struct EncodeCase {
  const char* name;
  DataItemList items;
  std::size_t capacity;
  Bytes expected;
};

Bytes EncodeAll(const DataItemList& items, std::size_t capacity) {
  CodewordBuffer buffer;
  CodewordWriter out(buffer, capacity);
  const Plan plan = PlanSegments(DataRange(items));
  EXPECT_TRUE(EncodeAuto(DataRange(items), plan, out));
  return buffer;
}

}  // namespace

TEST(PlanSegments, RunSplits) {
  const PlanCase cases[] = {
      {"empty", {}, {}},
      {"ABC", Items("ABC"), {Seg(Ascii, 0, 3, true)}},
      {"ABCD", Items("ABCD"), {Seg(Ascii, 0, 4, true)}},
      {"ABCDE", Items("ABCDE"), {Seg(C40, 0, 5, true)}},
      {"HELLO WORLD", Items("HELLO WORLD"), {Seg(C40, 0, 11, true)}},
      {"Hello World", Items("Hello World"), {Seg(Text, 0, 11, true)}},
      {"ABCDEFGH*", Items("ABCDEFGH*"), {Seg(X12, 0, 9, true)}},
      {"A*A*A*A*A*", Items("A*A*A*A*A*"), {Seg(X12, 0, 10, true)}},
      {"12345678", Items("12345678"), {Seg(Ascii, 0, 8, true)}},
      {"digits then letters", Items("1234567890ABCDEFGHIJKLMNOP"),
       {Seg(Ascii, 0, 10, false), Seg(C40, 10, 16, true)}},
      {"seven 64s", Repeat(64, 7), {Seg(Edifact, 0, 7, true)}},
      {"seven 64s and FNC1", Concat({Repeat(64, 7), {kFnc1}}), {Seg(Ascii, 0, 8, true)}},
      {"five 196s", Repeat(196, 5), {Seg(Base256, 0, 5, true)}},
      {"AB FNC1 CDEFGH", Concat({Items("AB"), {kFnc1}, Items("CDEFGH")}),
       {Seg(C40, 0, 2, false), Seg(Ascii, 2, 1, false), Seg(C40, 3, 6, true)}},
      {"ABCDEFGHIJ FNC1", Concat({Items("ABCDEFGHIJ"), {kFnc1}}),
       {Seg(C40, 0, 10, true), Seg(Ascii, 10, 1, true)}},
      {"C40/X12 tie broken by an asterisk", Items("ABCDEFGHIJKLM*"), {Seg(X12, 0, 14, true)}},
      {"C40/X12 tie kept by a letter", Items("ABCDEFGHIJKLMN"), {Seg(C40, 0, 14, true)}},
  };
  for (const PlanCase& c : cases) {
    EXPECT_EQ(PlanSegments(DataRange(c.items)), c.expected) << c.name;
  }
}

// The look-ahead keeps X12 (or EDIFACT) for a character the scheme has no value for; that
// character is carried in ASCII and the scheme taken up again after it.
TEST(PlanSegments, CharactersTheSchemeInForceCannotCarryGoToAscii) {
  const PlanCase cases[] = {
      {"lower-case z inside X12", Items("AAAAAAzA*A***"),
       {Seg(X12, 0, 6, false), Seg(Ascii, 6, 1, false), Seg(X12, 7, 6, true)}},
      {"underscore inside X12", Items("AAA*_AA**AA*A"),
       {Seg(X12, 0, 4, false), Seg(Ascii, 4, 1, false), Seg(X12, 5, 8, true)}},
      {"underscore inside EDIFACT", Items("@@@@#@!@@_!@!@!@@#"),
       {Seg(Edifact, 0, 9, false), Seg(Ascii, 9, 1, false), Seg(Edifact, 10, 8, true)}},
  };
  for (const PlanCase& c : cases) {
    EXPECT_EQ(PlanSegments(DataRange(c.items)), c.expected) << c.name;
  }
}

TEST(LookAhead, Decisions) {
  struct Case {
    const char* name;
    Scheme current;
    DataItemList items;
    Scheme expected;
  };
  const Case cases[] = {
      {"ABCD from C40 stays in C40", C40, Items("ABCD"), C40},
      {"ABCD from ASCII stays in ASCII", Ascii, Items("ABCD"), Ascii},
      {"ABCD from X12 stays in X12", X12, Items("ABCD"), X12},
      {"single digit", Ascii, Items("1"), Ascii},
      // Thirteen letters make C40 and X12 equal; the item after them breaks the tie.
      {"tie, asterisk next", Ascii, Items("ABCDEFGHIJKLM*"), X12},
      {"tie, greater-than next", Ascii, Items("ABCDEFGHIJKLM>"), X12},
      {"tie, carriage return next", Ascii, Items("ABCDEFGHIJKLM\r"), X12},
      {"tie, letter next", Ascii, Items("ABCDEFGHIJKLMN"), C40},
      {"tie, space next", Ascii, Items("ABCDEFGHIJKLM "), C40},
      {"tie, nothing next", Ascii, Items("ABCDEFGHIJKLM"), C40},
      {"tie, FNC1 next", Ascii, Concat({Items("ABCDEFGHIJKLM"), {kFnc1}}), C40},
      {"lower case", Ascii, Items("hello world"), Text},
      {"extended bytes", Ascii, Repeat(196, 5), Base256},
      {"EDIFACT punctuation", Ascii, Repeat(64, 7), Edifact},
      {"z ahead of X12 data", X12, Items("zA*A***"), X12},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LookAhead(c.current, DataRange(c.items)), c.expected) << c.name;
  }
}

TEST(EncodeSegment, EmptyRunsAndUnknownSchemesWriteNothing) {
  const DataItemList items = Items("AB");
  for (int scheme = 1; scheme <= 6; ++scheme) {
    CodewordBuffer buffer;
    CodewordWriter out(buffer);
    EXPECT_TRUE(EncodeSegment(static_cast<Scheme>(scheme), DataRange(), true, out)) << scheme;
    EXPECT_TRUE(buffer.empty()) << scheme;
  }
  for (int scheme : {0, 7, -1}) {
    CodewordBuffer buffer;
    CodewordWriter out(buffer);
    EXPECT_FALSE(EncodeSegment(static_cast<Scheme>(scheme), DataRange(items), true, out)) << scheme;
    EXPECT_TRUE(buffer.empty()) << scheme;
  }
}

TEST(EncodeSegment, DispatchesToTheScheme) {
  const DataItemList items = Items("AB");
  const std::pair<Scheme, Bytes> cases[] = {
      {Scheme::Ascii, {66, 67}},
      {Scheme::C40, {230, 89, 217, 254}},
      // shift 3 values 2, 1 | 2, 2: 3243 -> 12, 171, then B in ASCII
      {Scheme::Text, {239, 12, 171, 254, 67}},
      {Scheme::X12, {238, 254, 66, 67}},
  };
  for (const auto& [scheme, expected] : cases) {
    CodewordBuffer buffer;
    CodewordWriter out(buffer);
    EXPECT_TRUE(EncodeSegment(scheme, DataRange(items), false, out)) << static_cast<int>(scheme);
    EXPECT_EQ(buffer, expected) << static_cast<int>(scheme);
  }
  CodewordBuffer buffer;
  CodewordWriter out(buffer);
  EXPECT_FALSE(EncodeSegment(Scheme::X12, DataRange(Items("ab")), true, out));
  EXPECT_TRUE(buffer.empty());
}

TEST(EncodeAuto, Codewords) {
  const EncodeCase cases[] = {
      {"empty", {}, kUnknown, {}},
      {"ABC in ASCII", Items("ABC"), kUnknown, {66, 67, 68}},
      // 17, 18, 0 -> 27200 + 720 + 1 = 27921 -> 109, 17
      {"ABCDE in C40", Items("ABCDE"), kUnknown, {230, 89, 233, 109, 17, 254}},
      {"ABCDE at the capacity keeps the unlatch", Items("ABCDE"), 5, {230, 89, 233, 109, 17, 254}},
      {"ABCDE, the pad takes the unlatch's last codeword", Items("ABCDE"), 6, {230, 89, 233, 109, 17}},
      {"ABCDE with room left", Items("ABCDE"), 7, {230, 89, 233, 109, 17, 254}},
      // 19, 20, 21 -> 30400 + 800 + 21 + 1 = 31222 -> 121, 246
      {"AB FNC1 CDEFGH", Concat({Items("AB"), {kFnc1}, Items("CDEFGH")}), kUnknown,
       {230, 89, 217, 254, 232, 230, 102, 187, 121, 246, 254}},
      // 20, 21, 22 -> 32000 + 840 + 22 + 1 = 32863 -> 128, 95
      {"ABCDEFGHIJ FNC1", Concat({Items("ABCDEFGHIJ"), {kFnc1}}), kUnknown,
       {230, 89, 233, 109, 36, 128, 95, 254, 75, 232}},
      // The C40 run ends where one codeword is left, yet the FNC1 still follows it: it unlatches.
      {"ABCDEFGHIJ FNC1, one codeword left after the triplets", Concat({Items("ABCDEFGHIJ"), {kFnc1}}), 8,
       {230, 89, 233, 109, 36, 128, 95, 254, 75, 232}},
      // 14, 14, 14 -> 22975 -> 89, 191; 14, 1, 14 -> 22455 -> 87, 183; 1, 1, 1 -> 1642 -> 6, 106
      {"AAAAAAzA*A***", Items("AAAAAAzA*A***"), kUnknown,
       {238, 89, 191, 89, 191, 254, 123, 238, 87, 183, 6, 106, 254}},
      {"AAAAAAzA*A*** filling the format", Items("AAAAAAzA*A***"), 12,
       {238, 89, 191, 89, 191, 254, 123, 238, 87, 183, 6, 106}},
      // 23, 24, 25 -> 37786 -> 147, 154; 26, 27, 28 -> 42709 -> 166, 213; P left over
      {"digits then letters", Items("1234567890ABCDEFGHIJKLMNOP"), kUnknown,
       {142, 164, 186, 208, 220, 230, 89, 233, 109, 36, 128, 95, 147, 154, 166, 213, 254, 81}},
  };
  for (const EncodeCase& c : cases) {
    EXPECT_EQ(EncodeAll(c.items, c.capacity), c.expected) << c.name;
  }
}

TEST(EncodeAuto, OnlyAnOverlongBase256RunFails) {
  const DataItemList longest = Repeat(196, 1555);
  const DataItemList tooLong = Repeat(196, 1556);
  const Plan longestPlan = PlanSegments(DataRange(longest));
  const Plan tooLongPlan = PlanSegments(DataRange(tooLong));
  ASSERT_EQ(longestPlan, (Plan{Seg(Scheme::Base256, 0, 1555, true)}));
  ASSERT_EQ(tooLongPlan, (Plan{Seg(Scheme::Base256, 0, 1556, true)}));

  CodewordBuffer buffer;
  CodewordWriter out(buffer);
  EXPECT_TRUE(EncodeAuto(DataRange(longest), longestPlan, out));
  EXPECT_EQ(buffer.size(), 1558u);
  CodewordBuffer tooLongBuffer;
  CodewordWriter tooLongOut(tooLongBuffer);
  EXPECT_FALSE(EncodeAuto(DataRange(tooLong), tooLongPlan, tooLongOut));
}

// Any data: the runs cover every item in order, none is empty, codeword items travel in ASCII,
// X12 and EDIFACT runs hold only characters they can carry, and encoding never fails.
TEST(PlanSegments, RandomDataIsAlwaysCoveredAndEncodable) {
  const uint8_t alphabet[] = {'A', 'Z', 'a', 'z', '0', '9', ' ', '*', '>', 13, '@', '!', '_', '~', 128, 196, 255};
  std::mt19937 random(20240601);
  for (int round = 0; round < 1500; ++round) {
    DataItemList items(random() % 40);
    for (DataItem& item : items) {
      item = random() % 16 == 0 ? kFnc1 : DataCharItem(alphabet[random() % sizeof(alphabet)]);
    }
    const Plan plan = PlanSegments(DataRange(items));
    std::size_t next = 0;
    for (const Segment& segment : plan) {
      ASSERT_EQ(segment.begin, next) << round;
      ASSERT_GT(segment.count, 0u) << round;
      ASSERT_GE(segment.scheme, Scheme::Ascii) << round;
      ASSERT_LE(segment.scheme, Scheme::X12) << round;
      for (std::size_t i = segment.begin; i < segment.begin + segment.count; ++i) {
        const uint8_t v = ItemValue(items[i]);
        const bool inX12Set =
            v == 13 || v == '*' || v == '>' || v == ' ' || (v >= '0' && v <= '9') || (v >= 'A' && v <= 'Z');
        const bool inEdifactSet = v >= 32 && v <= 94;
        if (IsCodewordItem(items[i])) {
          ASSERT_EQ(segment.scheme, Scheme::Ascii) << round;
        } else if (segment.scheme == Scheme::X12) {
          ASSERT_TRUE(inX12Set) << round << " item " << i;
        } else if (segment.scheme == Scheme::Edifact) {
          ASSERT_TRUE(inEdifactSet) << round << " item " << i;
        }
      }
      next += segment.count;
    }
    ASSERT_EQ(next, items.size()) << round;
    if (!plan.empty()) {
      ASSERT_TRUE(plan.back().lastSegment) << round;
    }

    for (std::size_t capacity : {kUnknown, std::size_t{12}, std::size_t{44}}) {
      CodewordBuffer buffer;
      CodewordWriter out(buffer, capacity);
      ASSERT_TRUE(EncodeAuto(DataRange(items), plan, out)) << round;
      ASSERT_EQ(buffer.empty(), items.empty()) << round;
    }
  }
}
