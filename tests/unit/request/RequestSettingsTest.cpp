#include "request/RequestSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

#include "request/QueryString.h"
#include "request/RequestParameter.h"
#include "support/CaseName.h"

using namespace korvex::internal;

namespace {

struct NumberCase {
  const char* text;
  int32_t expected;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class ReadNumberCases : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ReadNumberCases, FollowsTheNumberRule) {
  EXPECT_EQ(ReadNumber(GetParam().text), GetParam().expected) << "text '" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadNumberCases,
    ::testing::Values(NumberCase{"", 0}, NumberCase{"0", 0}, NumberCase{"12", 12}, NumberCase{"12px", 12},
                      NumberCase{"px12", 0}, NumberCase{"left", 0}, NumberCase{"-3", -3}, NumberCase{"+7", 7},
                      NumberCase{"  42", 42}, NumberCase{"\t\n\v\f\r5", 5}, NumberCase{" -9x", -9},
                      NumberCase{"- 9", 0}, NumberCase{"+-9", 0}, NumberCase{"--9", 0}, NumberCase{"2.5", 2},
                      NumberCase{"007", 7}, NumberCase{"-", 0}, NumberCase{"+", 0},
                      NumberCase{"2147483647", 2147483647}, NumberCase{"-2147483648", INT32_MIN},
                      NumberCase{"2147483648", INT32_MIN},   // wraps modulo 2^32
                      NumberCase{"4294967295", -1}, NumberCase{"4294967296", 0}, NumberCase{"4294967297", 1},
                      NumberCase{"4294967396", 100}, NumberCase{"-4294967297", -1},
                      NumberCase{"99999999999", 1215752191}),  // 99999999999 mod 2^32
    [](const auto& info) { return CaseName(info.param.text); });

struct ColorCase {
  const char* text;
  uint32_t rgb;
};

void PrintTo(const ColorCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class ParseHexColorCases : public ::testing::TestWithParam<ColorCase> {};

TEST_P(ParseHexColorCases, ReadsLeadingHexDigits) {
  EXPECT_EQ(ParseHexColor(GetParam().text), GetParam().rgb) << "text '" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseHexColorCases,
                         ::testing::Values(ColorCase{"", 0}, ColorCase{"ff0000", 0xFF0000}, ColorCase{"FF0000", 0xFF0000},
                                           ColorCase{"#ff0000", 0}, ColorCase{"ff00zz", 0xFF00},
                                           ColorCase{"aBcDeF", 0xABCDEF}, ColorCase{"1", 1}, ColorCase{"g1", 0},
                                           ColorCase{" ff", 0}, ColorCase{"123456789", 0x23456789},
                                           ColorCase{"ffffffffff", 0xFFFFFFFF}, ColorCase{"0x10", 0}),
                         [](const auto& info) { return CaseName(info.param.text); });

struct ConversionCase {
  uint32_t rgb;
  uint32_t internal;
};

std::string Hex(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%06X", value);
  return text;
}

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << Hex(c.rgb); }

class RgbToInternalColorCases : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(RgbToInternalColorCases, SwapsRedAndBlue) {
  EXPECT_EQ(RgbToInternalColor(GetParam().rgb), GetParam().internal) << std::hex << GetParam().rgb;
}

INSTANTIATE_TEST_SUITE_P(Cases, RgbToInternalColorCases,
                         ::testing::Values(ConversionCase{0xFF0000, 0x0000FF}, ConversionCase{0x00FF00, 0x00FF00},
                                           ConversionCase{0x0000FF, 0xFF0000}, ConversionCase{0xFFFFFF, 0xFFFFFF},
                                           ConversionCase{0x123456, 0x563412}, ConversionCase{0, 0},
                                           ConversionCase{0xAB123456, 0x563412},   // top byte dropped
                                           ConversionCase{0xFFFFFFFF, 0xFFFFFF}),
                         [](const auto& info) { return "Rgb" + Hex(info.param.rgb); });

TEST(RequestSettingsTest, DefaultsWithoutParameters) {
  QueryString query("");
  const RequestSettings s = GatherRequestSettings(query);
  EXPECT_EQ(s.encoding.data, "1234567");
  EXPECT_EQ(s.width, 100);
  EXPECT_EQ(s.height, 100);
  EXPECT_FALSE(s.sizeGiven);
  EXPECT_EQ(s.encoding.preferredFormat, 0);
  EXPECT_EQ(s.encoding.encodingMode, EncodingMode::Auto);
  EXPECT_EQ(s.drawing.orientation, 0);
  EXPECT_TRUE(s.drawing.quietZone);
  EXPECT_EQ(s.drawing.alignH, 1);
  EXPECT_EQ(s.drawing.alignV, 1);
  EXPECT_EQ(s.drawing.backColor, 0xFFFFFFu);
  EXPECT_EQ(s.drawing.foreColor, 0u);
  EXPECT_EQ(s.drawing.quietZoneSize, 1);
  EXPECT_EQ(s.xDimension, 5.0);
}

// A request text and what it must change relative to the defaults; name, where given, names the
// case instead of the text (for a text too long to read as a name).
struct GatherCase {
  const char* text;
  std::function<void(RequestSettings&)> apply;
  const char* name = nullptr;
};

void PrintTo(const GatherCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class GatherCases : public ::testing::TestWithParam<GatherCase> {};

void ExpectSame(const RequestSettings& actual, const RequestSettings& expected) {
  EXPECT_EQ(actual.encoding.data, expected.encoding.data);
  EXPECT_EQ(actual.width, expected.width);
  EXPECT_EQ(actual.height, expected.height);
  EXPECT_EQ(actual.sizeGiven, expected.sizeGiven);
  EXPECT_EQ(actual.encoding.preferredFormat, expected.encoding.preferredFormat);
  EXPECT_EQ(actual.encoding.encodingMode, expected.encoding.encodingMode);
  EXPECT_EQ(actual.drawing.orientation, expected.drawing.orientation);
  EXPECT_EQ(actual.drawing.quietZone, expected.drawing.quietZone);
  EXPECT_EQ(actual.drawing.alignH, expected.drawing.alignH);
  EXPECT_EQ(actual.drawing.alignV, expected.drawing.alignV);
  EXPECT_EQ(actual.drawing.backColor, expected.drawing.backColor);
  EXPECT_EQ(actual.drawing.foreColor, expected.drawing.foreColor);
  EXPECT_EQ(actual.drawing.quietZoneSize, expected.drawing.quietZoneSize);
  EXPECT_EQ(actual.xDimension, expected.xDimension);
  EXPECT_EQ(actual.gs1, expected.gs1);
  EXPECT_EQ(actual.gs1GroupSeparator, expected.gs1GroupSeparator);
  EXPECT_EQ(actual.utf8, expected.utf8);
  EXPECT_EQ(actual.encoding.shape, expected.encoding.shape);
  EXPECT_EQ(actual.encoding.dmre, expected.encoding.dmre);
  EXPECT_EQ(actual.resolutionDpi, expected.resolutionDpi);
  EXPECT_EQ(actual.moduleMillimetres, expected.moduleMillimetres);
  EXPECT_EQ(actual.gs1DigitalLink, expected.gs1DigitalLink);
  EXPECT_EQ(actual.digitalLinkStem, expected.digitalLinkStem);
  EXPECT_EQ(actual.output, expected.output);
  EXPECT_EQ(actual.encoding.minimal, expected.encoding.minimal);
}

// The default that the documentation gives a parameter reads as no value at all (w and h,
// once given, count as a size whatever their value).
TEST(RequestSettingsTest, EachDocumentedDefaultReadsAsTheDefault) {
  for (const RequestParameter& parameter : RequestParameters()) {
    std::string value = parameter.defaultValue;
    if (parameter.store == nullptr || value == "none") continue;
    value.erase(std::remove(value.begin(), value.end(), '`'), value.end());
    const std::string text = std::string(parameter.name) + "=" + value;
    SCOPED_TRACE(text);
    QueryString query(text.c_str());
    RequestSettings settings = GatherRequestSettings(query);
    settings.sizeGiven = false;
    ExpectSame(settings, RequestSettings());
  }
}

TEST_P(GatherCases, AppliesAcceptedValuesOnly) {
  const GatherCase& c = GetParam();
  QueryString query(c.text);
  RequestSettings expected;
  c.apply(expected);
  SCOPED_TRACE(c.text);
  ExpectSame(GatherRequestSettings(query), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GatherCases,
    ::testing::Values(
        GatherCase{"data=Hello+World", [](RequestSettings& s) { s.encoding.data = "Hello World"; }},
        GatherCase{"data=", [](RequestSettings&) {}},  // "=" ends the text: not found
        GatherCase{"data=&x=1", [](RequestSettings& s) { s.encoding.data = ""; }},
        GatherCase{"data=ab%00cd", [](RequestSettings& s) { s.encoding.data = "ab"; }},
        GatherCase{"w=0", [](RequestSettings&) {}}, GatherCase{"w=700", [](RequestSettings&) {}},
        GatherCase{"w=-5", [](RequestSettings&) {}},
        GatherCase{"w=699",
                   [](RequestSettings& s) {
                     s.width = 699;
                     s.sizeGiven = true;
                   }},
        GatherCase{"w=1",
                   [](RequestSettings& s) {
                     s.width = 1;
                     s.sizeGiven = true;
                   }},
        GatherCase{"w=300",
                   [](RequestSettings& s) {
                     s.width = 300;
                     s.sizeGiven = true;
                   }},
        GatherCase{"h=42",
                   [](RequestSettings& s) {
                     s.height = 42;
                     s.sizeGiven = true;
                   }},
        GatherCase{"h=4294967396",  // wraps to 100
                   [](RequestSettings& s) { s.sizeGiven = true; }},
        GatherCase{"fmt=30", [](RequestSettings& s) { s.encoding.preferredFormat = 30; }},
        GatherCase{"fmt=31", [](RequestSettings&) {}}, GatherCase{"fmt=x", [](RequestSettings&) {}},
        GatherCase{"fmt=-1", [](RequestSettings&) {}},
        GatherCase{"mode=6", [](RequestSettings& s) { s.encoding.encodingMode = EncodingMode::X12; }},
        GatherCase{"mode=7", [](RequestSettings&) {}},
        GatherCase{"angle=90", [](RequestSettings& s) { s.drawing.orientation = 90; }},
        GatherCase{"angle=180", [](RequestSettings& s) { s.drawing.orientation = 180; }},
        GatherCase{"angle=270", [](RequestSettings& s) { s.drawing.orientation = 270; }},
        GatherCase{"angle=45", [](RequestSettings&) {}}, GatherCase{"angle=360", [](RequestSettings&) {}},
        GatherCase{"angle=-90", [](RequestSettings&) {}},
        GatherCase{"quiet=0", [](RequestSettings& s) { s.drawing.quietZone = false; }},
        GatherCase{"quiet=off", [](RequestSettings& s) { s.drawing.quietZone = false; }},
        GatherCase{"quiet=2", [](RequestSettings&) {}},
        GatherCase{"quiet=-1", [](RequestSettings&) {}},
        GatherCase{"alignh=0", [](RequestSettings& s) { s.drawing.alignH = 0; }},
        GatherCase{"alignh=left", [](RequestSettings& s) { s.drawing.alignH = 0; }},
        GatherCase{"alignh=2", [](RequestSettings& s) { s.drawing.alignH = 2; }},
        GatherCase{"alignh=3", [](RequestSettings&) {}},
        GatherCase{"alignv=2", [](RequestSettings& s) { s.drawing.alignV = 2; }},
        GatherCase{"alignv=3", [](RequestSettings&) {}},
        GatherCase{"bcolor=ff0000", [](RequestSettings& s) { s.drawing.backColor = 0x0000FF; }},
        GatherCase{"bcolor=%23ff0000", [](RequestSettings& s) { s.drawing.backColor = 0; }},
        GatherCase{"bcolor=ff00zz", [](RequestSettings& s) { s.drawing.backColor = 0x00FF00; }},
        GatherCase{"fcolor=0000ff", [](RequestSettings& s) { s.drawing.foreColor = 0xFF0000; }},
        GatherCase{"fcolor=", [](RequestSettings& s) { s.drawing.foreColor = 0; }},
        GatherCase{"qsize=-1", [](RequestSettings& s) { s.drawing.quietZoneSize = -1; }},
        GatherCase{"qsize=0", [](RequestSettings& s) { s.drawing.quietZoneSize = 0; }},
        GatherCase{"qsize=1000", [](RequestSettings& s) { s.drawing.quietZoneSize = 1000; }},
        GatherCase{"gs1=1", [](RequestSettings& s) { s.gs1 = true; }},
        GatherCase{"gs1=-2&gssep=1", [](RequestSettings& s) { s.gs1 = s.gs1GroupSeparator = true; }},
        GatherCase{"gs1=on&gssep=0&utf8=yes", [](RequestSettings&) {}},
        GatherCase{"utf8=1", [](RequestSettings& s) { s.utf8 = true; }},
        GatherCase{"xdim=0", [](RequestSettings&) {}}, GatherCase{"xdim=-3", [](RequestSettings&) {}},
        GatherCase{"xdim=2.5", [](RequestSettings& s) { s.xDimension = 2; }},
        GatherCase{"xdim=12", [](RequestSettings& s) { s.xDimension = 12; }},
        GatherCase{"w=700&xdim=3", [](RequestSettings& s) { s.xDimension = 3; }},
        GatherCase{"w=50&xdim=3",  // a given size makes xdim irrelevant
                   [](RequestSettings& s) {
                     s.width = 50;
                     s.sizeGiven = true;
                   }},
        GatherCase{"shape=1", [](RequestSettings& s) { s.encoding.shape = SymbolShape::Rectangle; }},
        GatherCase{"shape=2", [](RequestSettings& s) { s.encoding.shape = SymbolShape::Any; }},
        GatherCase{"shape=3", [](RequestSettings&) {}}, GatherCase{"shape=-1", [](RequestSettings&) {}},
        GatherCase{"dmre=1", [](RequestSettings& s) { s.encoding.dmre = true; }},
        GatherCase{"dmre=yes", [](RequestSettings&) {}},
        GatherCase{"fmt=31&dmre=1",
                   [](RequestSettings& s) {
                     s.encoding.preferredFormat = 31;
                     s.encoding.dmre = true;
                   }},
        GatherCase{"dmre=-2&fmt=48",
                   [](RequestSettings& s) {
                     s.encoding.preferredFormat = 48;
                     s.encoding.dmre = true;
                   }},
        GatherCase{"fmt=49&dmre=1", [](RequestSettings& s) { s.encoding.dmre = true; }},
        GatherCase{"fmt=31&dmre=0", [](RequestSettings&) {}},
        GatherCase{"minimal=1", [](RequestSettings& s) { s.encoding.minimal = true; }},
        GatherCase{"minimal=-7", [](RequestSettings& s) { s.encoding.minimal = true; }},
        GatherCase{"minimal=0", [](RequestSettings&) {}}, GatherCase{"minimal=on", [](RequestSettings&) {}},
        GatherCase{"minimal=1&mode=3",
                   [](RequestSettings& s) {
                     s.encoding.minimal = true;
                     s.encoding.encodingMode = EncodingMode::Text;
                   }},
        GatherCase{"dpi=300", [](RequestSettings& s) { s.resolutionDpi = 300; }},
        GatherCase{"dpi=4800", [](RequestSettings& s) { s.resolutionDpi = 4800; }},
        GatherCase{"dpi=4801", [](RequestSettings&) {}}, GatherCase{"dpi=0", [](RequestSettings&) {}},
        GatherCase{"xmm=0.5", [](RequestSettings& s) { s.moduleMillimetres = 0.5; }},  // no dpi: xdim stays
        GatherCase{"xmm=.25mm", [](RequestSettings& s) { s.moduleMillimetres = 0.25; }},
        GatherCase{"xmm=1.5.3", [](RequestSettings& s) { s.moduleMillimetres = 1.5; }},
        GatherCase{"xmm=0", [](RequestSettings&) {}}, GatherCase{"xmm=-0.5", [](RequestSettings&) {}},
        GatherCase{"xmm=.", [](RequestSettings&) {}}, GatherCase{"xmm=inf", [](RequestSettings&) {}},
        GatherCase{"dpi=300&xmm=0.5",
                   [](RequestSettings& s) {
                     s.resolutionDpi = 300;
                     s.moduleMillimetres = 0.5;
                     s.xDimension = 6;  // 5.9 pixels
                   }},
        GatherCase{"xdim=3&xmm=0.254&dpi=600",  // xmm at a dpi takes the place of xdim
                   [](RequestSettings& s) {
                     s.resolutionDpi = 600;
                     s.moduleMillimetres = 0.254;
                     s.xDimension = 6;
                   }},
        GatherCase{"dpi=72&xmm=0.1",  // 0.28 pixels, but never less than one
                   [](RequestSettings& s) {
                     s.resolutionDpi = 72;
                     s.moduleMillimetres = 0.1;
                     s.xDimension = 1;
                   }},
        GatherCase{"h=80&dpi=300&xmm=0.5",  // a given size wins
                   [](RequestSettings& s) {
                     s.height = 80;
                     s.sizeGiven = true;
                     s.resolutionDpi = 300;
                     s.moduleMillimetres = 0.5;
                   }},
        GatherCase{"gs1dl=1", [](RequestSettings& s) { s.gs1DigitalLink = true; }},
        GatherCase{"gs1dl=-3", [](RequestSettings& s) { s.gs1DigitalLink = true; }},
        GatherCase{"gs1dl=yes", [](RequestSettings&) {}},
        GatherCase{"dl=1", [](RequestSettings& s) { s.digitalLinkStem = "https://id.gs1.org"; }},
        GatherCase{"dl=0", [](RequestSettings&) {}},
        GatherCase{"dl=https%3A%2F%2Fexample.com%2Fp%2F",
                   [](RequestSettings& s) { s.digitalLinkStem = "https://example.com/p/"; }},
        GatherCase{"dl=01", [](RequestSettings& s) { s.digitalLinkStem = "01"; }},  // a stem, refused when used
        GatherCase{"compact=1", [](RequestSettings& s) { s.output = OutputKind::CompactPng; }},
        GatherCase{"compact=-7&out=svg", [](RequestSettings& s) { s.output = OutputKind::Svg; }},
        GatherCase{"out=svg", [](RequestSettings& s) { s.output = OutputKind::Svg; }},
        GatherCase{"out=SVG&compact=1", [](RequestSettings& s) { s.output = OutputKind::CompactPng; }},
        GatherCase{"compact=0", [](RequestSettings&) {}}, GatherCase{"compact=on", [](RequestSettings&) {}},
        GatherCase{"W=50&Data=x&FMT=3", [](RequestSettings&) {}},  // names keep their case
        GatherCase{"fmt=5&fmt=7", [](RequestSettings& s) { s.encoding.preferredFormat = 5; }},
        GatherCase{"data=a&w=10&h=20&fmt=3&mode=2&angle=270&quiet=0&alignh=0&alignv=2&bcolor=010203&fcolor=a0b0c0&"
                   "qsize=4",
                   [](RequestSettings& s) {
                     s.encoding.data = "a";
                     s.width = 10;
                     s.height = 20;
                     s.sizeGiven = true;
                     s.encoding.preferredFormat = 3;
                     s.encoding.encodingMode = EncodingMode::C40;
                     s.drawing.orientation = 270;
                     s.drawing.quietZone = false;
                     s.drawing.alignH = 0;
                     s.drawing.alignV = 2;
                     s.drawing.backColor = 0x030201;
                     s.drawing.foreColor = 0xC0B0A0;
                     s.drawing.quietZoneSize = 4;
                   },
                   "EveryParameter"}),
    [](const auto& info) { return info.param.name != nullptr ? info.param.name : CaseName(info.param.text); });

}  // namespace
