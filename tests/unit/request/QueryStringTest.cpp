#include "request/QueryString.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "support/CaseName.h"

using namespace korvex::internal;

namespace {

// The looked-up value as a string, or nullopt when not found.
std::optional<std::string> Find(const std::string& text, const char* name) {
  QueryString query(text.c_str());
  const char* value = query.Lookup(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

struct LookupCase {
  const char* text;
  const char* name;
  std::optional<std::string> expected;
};

void PrintTo(const LookupCase& c, std::ostream* os) {
  *os << c.name << " in " << ::testing::PrintToString(c.text);
}

class QueryStringLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(QueryStringLookup, FindsAndDecodes) {
  const LookupCase& c = GetParam();
  EXPECT_EQ(Find(c.text, c.name), c.expected) << "text '" << c.text << "', name '" << c.name << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryStringLookup,
    ::testing::Values(
        LookupCase{"a=1&b=2", "a", "1"}, LookupCase{"a=1&b=2", "b", "2"}, LookupCase{"a=1&b=2", "c", std::nullopt},
        LookupCase{"a=1&a=2", "a", "1"},                                  // the first of repeated names counts
        LookupCase{"help=&x=1", "help", ""},                              // empty value before "&"
        LookupCase{"x=1&help=", "help", std::nullopt},                    // "=" is the last byte of the text
        LookupCase{"help=", "help", std::nullopt}, LookupCase{"help", "help", std::nullopt},
        LookupCase{"x=1&help", "help", std::nullopt}, LookupCase{"help=0", "help", "0"},
        LookupCase{"data=A+B%2C+C", "data", "A B, C"}, LookupCase{"data=%41%42", "data", "AB"},
        LookupCase{"data=%2b", "data", "+"}, LookupCase{"data=%7E", "data", "~"},
        LookupCase{"data=%7e%7E", "data", "~~"},
        LookupCase{"data=a%26b=c", "data", "a&b=c"},                      // value cut before decoding
        LookupCase{"data=x%00y", "data", "x"},                            // a decoded NUL ends the value
        LookupCase{"W=5", "w", std::nullopt}, LookupCase{"%77=5", "w", std::nullopt},
        LookupCase{"xw=5", "w", std::nullopt}, LookupCase{"width=5", "w", std::nullopt},
        LookupCase{"x=1&width=5&w=7", "w", "7"}, LookupCase{"ww=1&w=2", "w", "2"},
        LookupCase{"", "a", std::nullopt}, LookupCase{"&a=1", "a", std::nullopt},  // a leading "&" is no separator
        LookupCase{"&&a=1", "a", "1"}, LookupCase{"a=1&&b=2", "b", "2"},
        LookupCase{"a=x&b=", "a", "x"}, LookupCase{"a=&", "a", ""}, LookupCase{"=1&a=2", "a", "2"},
        LookupCase{"a==b", "a", "=b"}, LookupCase{"a=1", "a", "1"}, LookupCase{"a=1&b=2&c=3", "c", "3"},
        // A "%" that is not followed by two bytes of the value is kept with what follows it.
        LookupCase{"data=ab%", "data", "ab%"}, LookupCase{"data=ab%4", "data", "ab%4"},
        LookupCase{"data=ab%4&x=1", "data", "ab%4"}, LookupCase{"data=%&x=1", "data", "%"},
        LookupCase{"data=%%41", "data", "\x04" "1"}, LookupCase{"data=%", "data", "%"},
        // Digits outside 0-9a-f: letters count 10..35 and combine as (v1 << 4) | v2, anything else 0.
        LookupCase{"data=%zz", "data", "\x33"}, LookupCase{"data=a%g0b", "data", "a"},  // 16 << 4 wraps to NUL
        LookupCase{"data=%G1", "data", "\x01"}, LookupCase{"data=%-A", "data", "\x0A"},
        LookupCase{"data=%4+", "data", "\x40"}),
    [](const auto& info) { return CaseName(info.param.name) + "_in_" + CaseName(info.param.text); });

TEST(QueryStringTest, SecondLookupOverwritesTheFirstValue) {
  const std::string text = "a=first&b=2";
  QueryString query(text.c_str());
  const char* first = query.Lookup("a");
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "first");
  const char* second = query.Lookup("b");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first, second);  // one buffer for every value
  EXPECT_STREQ(first, "2");
}

TEST(QueryStringTest, FailedLookupKeepsTheLastValue) {
  const std::string text = "a=1";
  QueryString query(text.c_str());
  const char* value = query.Lookup("a");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(query.Lookup("b"), nullptr);
  EXPECT_STREQ(value, "1");
}

TEST(QueryStringTest, TextIsBorrowedNotCopied) {
  std::string text = "a=1";
  QueryString query(text.c_str());
  text[2] = '9';  // same length, changed in place
  const char* value = query.Lookup("a");
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "9");
  EXPECT_EQ(query.Length(), 3u);
}

TEST(QueryStringTest, LongestValueFitsTheBuffer) {
  const std::string text = "d=" + std::string(3598, 'x');
  QueryString query(text.c_str());
  const char* value = query.Lookup("d");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(std::string(value), std::string(3598, 'x'));
}

struct DecodeCase {
  std::string input;
  std::string expected;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.input); }

class UrlDecodeCases : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(UrlDecodeCases, DecodesInPlace) {
  const DecodeCase& c = GetParam();
  std::string buffer = c.input;
  UrlDecode(buffer.data());
  EXPECT_EQ(std::string(buffer.c_str()), c.expected) << "input '" << c.input << "'";
}

INSTANTIATE_TEST_SUITE_P(Cases, UrlDecodeCases,
                         ::testing::Values(DecodeCase{"", ""}, DecodeCase{"+", " "}, DecodeCase{"a+b", "a b"},
                                           DecodeCase{"%20", " "}, DecodeCase{"%ff", "\xff"},
                                           DecodeCase{"%FF", "\xff"}, DecodeCase{"%", "%"},
                                           DecodeCase{"%4", "%4"}, DecodeCase{"x%", "x%"},
                                           DecodeCase{"%41%", "A%"}, DecodeCase{"%41%4", "A%4"},
                                           DecodeCase{"%zz", "\x33"}, DecodeCase{"%2B+", "+ "},
                                           DecodeCase{"%25%32%35", "%25"}),  // decoded once only
                         [](const auto& info) { return CaseName(info.param.input); });

TEST(UrlDecodeTest, StopsAtTheTerminatingNul) {
  // Bytes after the NUL would make a complete escape if the decoder read past it.
  char buffer[] = {'a', '%', '4', '\0', '1', '\0'};
  UrlDecode(buffer);
  EXPECT_STREQ(buffer, "a%4");
  EXPECT_EQ(buffer[4], '1');
}

struct DigitCase {
  char digit;
  uint8_t value;
};

void PrintTo(const DigitCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.digit); }

class HexDigitValueCases : public ::testing::TestWithParam<DigitCase> {};

TEST_P(HexDigitValueCases, MapsTheByte) {
  EXPECT_EQ(HexDigitValue(GetParam().digit), GetParam().value) << "digit '" << GetParam().digit << "'";
}

INSTANTIATE_TEST_SUITE_P(Cases, HexDigitValueCases,
                         ::testing::Values(DigitCase{'0', 0}, DigitCase{'9', 9}, DigitCase{'a', 10}, DigitCase{'A', 10},
                                           DigitCase{'f', 15}, DigitCase{'F', 15}, DigitCase{'g', 16},
                                           DigitCase{'G', 16}, DigitCase{'z', 35}, DigitCase{'Z', 35},
                                           DigitCase{'/', 0}, DigitCase{':', 0}, DigitCase{'@', 0},
                                           DigitCase{'[', 0}, DigitCase{'`', 0}, DigitCase{'{', 0},
                                           DigitCase{' ', 0}, DigitCase{'\0', 0},
                                           DigitCase{static_cast<char>(0xC1), 0}),
                         [](const auto& info) { return CaseName(std::string_view(&info.param.digit, 1)); });

}  // namespace
