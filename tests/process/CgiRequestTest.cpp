#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "request/QueryString.h"
#include "request/RequestHandler.h"
#include "request/RequestParameter.h"
#include "result/ResultCode.h"
#include "process/CgiResponse.h"
#include "support/Decoders.h"
#include "support/HtmlPageTexts.h"
#include "support/PngReader.h"

using namespace korvex::internal;

namespace {

enum class Answer { Nothing, HelpPage, ErrorPage, Png, Svg };

struct RequestCase {
  std::string label;
  std::vector<EnvironmentVariable> environment;
  std::string input;
  int status;
  Answer answer;
  ResultCode errorCode = 0;  // Answer::ErrorPage
  std::string detailHtml = "";  // Answer::ErrorPage: the line after the message, escaped
  uint32_t width = 0;        // Answer::Png and Answer::Svg
  uint32_t height = 0;
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.label; }

RequestCase Expect(std::string label, std::vector<EnvironmentVariable> environment, std::string input, int status,
                   Answer answer) {
  return {std::move(label), std::move(environment), std::move(input), status, answer};
}

RequestCase ExpectPng(std::string label, std::vector<EnvironmentVariable> environment, std::string input,
                      uint32_t width, uint32_t height) {
  RequestCase c{std::move(label), std::move(environment), std::move(input), 0, Answer::Png};
  c.width = width;
  c.height = height;
  return c;
}

RequestCase ExpectSvg(std::string label, std::vector<EnvironmentVariable> environment, uint32_t width,
                      uint32_t height) {
  RequestCase c = ExpectPng(std::move(label), std::move(environment), "", width, height);
  c.answer = Answer::Svg;
  return c;
}

RequestCase ExpectErrorPage(std::string label, std::vector<EnvironmentVariable> environment, ResultCode code,
                            std::string input = "") {
  RequestCase c{std::move(label), std::move(environment), std::move(input), code, Answer::ErrorPage};
  c.errorCode = code;
  return c;
}

// Data refused by the gs1 or utf8 check: 5, with the fault on the page's detail line.
RequestCase ExpectDataFault(std::string label, const std::string& query, std::string detailHtml) {
  RequestCase c = ExpectErrorPage(std::move(label), GetRequest("debug=1&" + query), Result::InvalidData);
  c.detailHtml = std::move(detailHtml);
  return c;
}

// The request head padded with an unused parameter to exactly length characters.
std::string PaddedQuery(const std::string& head, size_t length) {
  std::string query = head + "&pad=";
  query.append(length - query.size(), 'p');
  return query;
}

// Data that fits no format: 3300 digits need 1650 codewords.
const std::string kTooMuchData(3300, '7');
const std::string kTooMuchDataPost = "debug=1&data=" + kTooMuchData;

std::vector<RequestCase> RequestCases() {
  return {
      // The environment.
      Expect("NoMethod", {{"QUERY_STRING", "help=1"}}, "", 1, Answer::Nothing),
      Expect("Head", GetRequest("help=1", "HEAD"), "", 1, Answer::Nothing),
      Expect("Put", GetRequest("help=1", "PUT"), "", 1, Answer::Nothing),
      Expect("EmptyMethod", GetRequest("help=1", ""), "", 1, Answer::Nothing),
      Expect("GetWithoutQueryString", {{"REQUEST_METHOD", "GET"}}, "", 1, Answer::Nothing),
      Expect("PostWithoutContentLength", {{"REQUEST_METHOD", "POST"}}, "help=1", 1, Answer::Nothing),
      Expect("PostLengthZero", PostRequest("0"), "help=1", 1, Answer::Nothing),
      Expect("PostLengthMinusOne", PostRequest("-1"), "help=1", 1, Answer::Nothing),
      Expect("PostLengthNotANumber", PostRequest("six"), "help=1", 1, Answer::Nothing),
      Expect("PostLengthEmpty", PostRequest(""), "help=1", 1, Answer::Nothing),
      Expect("PostLength3601", PostRequest("3601"), "help=1&" + std::string(3594, 'x'), 5, Answer::Nothing),
      Expect("PostLength3601WithDebug", PostRequest("3601"), PaddedQuery("debug=1&fmt=1&data=123456789", 3601), 5,
             Answer::Nothing),
      Expect("PostLengthBeyond32Bits", PostRequest("4294967297"), "help=1", 5, Answer::Nothing),
      Expect("PostShortBody", PostRequest("10"), "help=1", 1, Answer::Nothing),
      Expect("PostEmptyBody", PostRequest("1"), "", 1, Answer::Nothing),
      // Methods and where the request text comes from.
      ExpectPng("GetUpper", GetRequest("w=40&h=30"), "", 40, 30),
      ExpectPng("GetLower", GetRequest("w=40&h=30", "get"), "", 40, 30),
      ExpectPng("GetMixed", GetRequest("w=40&h=30", "Get"), "", 40, 30),
      ExpectPng("GetIgnoresInput", GetRequest("w=40&h=30"), "help=1", 40, 30),
      Expect("PostHelp", PostRequest("6"), "help=1", 0, Answer::HelpPage),
      Expect("PostLowerHelp", PostRequest("6", "post"), "help=1", 0, Answer::HelpPage),
      Expect("PostMixedHelp", PostRequest("6", "Post"), "help=1", 0, Answer::HelpPage),
      Expect("PostReadsOnlyTheAnnouncedLength", PostRequest("6"), "help=1&w=40", 0, Answer::HelpPage),
      ExpectPng("PostIgnoresQueryString", {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "9"}, {"QUERY_STRING", "help=1"}},
                "w=40&h=30", 40, 30),
      ExpectPng("PostLengthWithTrailingText", PostRequest(" 9 bytes"), "w=40&h=30", 40, 30),
      // The length limit.
      ExpectPng("Get3600", GetRequest(PaddedQuery("w=40&h=30", 3600)), "", 40, 30),
      Expect("Get3601", GetRequest(PaddedQuery("w=40&h=30", 3601)), "", 5, Answer::Nothing),
      ExpectErrorPage("Get3600WithDebug", GetRequest(PaddedQuery("debug=1&fmt=1&data=123456789", 3600)),
                      Result::DataDoesNotFit),
      Expect("Get3601WithDebug", GetRequest(PaddedQuery("debug=1&fmt=1&data=123456789", 3601)), "", 5,
             Answer::Nothing),
      Expect("Get3601WithHelp", GetRequest(PaddedQuery("help=1", 3601)), "", 5, Answer::Nothing),
      ExpectPng("Post3600", PostRequest("3600"), PaddedQuery("w=40&h=30", 3600), 40, 30),
      // help and debug.
      Expect("Help", GetRequest("help=1"), "", 0, Answer::HelpPage),
      Expect("HelpZero", GetRequest("help=0"), "", 0, Answer::HelpPage),
      Expect("HelpEmptyBeforeAmpersand", GetRequest("help=&w=40"), "", 0, Answer::HelpPage),
      ExpectPng("HelpWithoutEquals", GetRequest("w=40&h=30&help"), "", 40, 30),
      Expect("HelpBeatsDebug", GetRequest("debug=1&help=1&fmt=1&data=123456789"), "", 0, Answer::HelpPage),
      Expect("HelpBeatsFailure", GetRequest("w=11&h=11&help=1"), "", 0, Answer::HelpPage),
      ExpectPng("DebugOnSuccess", GetRequest("debug=1&w=40&h=30"), "", 40, 30),
      // Image size.
      ExpectPng("Default", GetRequest(""), "", 70, 70),  // "1234567" needs the 12 x 12 symbol
      ExpectPng("DefaultTenByTen", GetRequest("data=123456"), "", 60, 60),
      ExpectPng("WidthZero", GetRequest("w=0"), "", 70, 70),
      ExpectPng("Width699", GetRequest("w=699"), "", 699, 100),
      ExpectPng("Width700", GetRequest("w=700"), "", 70, 70),
      ExpectPng("Width300Alone", GetRequest("w=300"), "", 300, 100),
      ExpectPng("HeightAlone", GetRequest("h=120"), "", 100, 120),
      ExpectPng("Height699", GetRequest("w=700&h=699"), "", 100, 699),
      ExpectPng("HeightZero", GetRequest("h=0"), "", 70, 70),
      ExpectPng("WidthWrapsTo100", GetRequest("w=4294967396&h=50"), "", 100, 50),
      ExpectPng("XdimZero", GetRequest("xdim=0"), "", 70, 70),
      ExpectPng("XdimNegative", GetRequest("xdim=-3"), "", 70, 70),
      ExpectPng("XdimFraction", GetRequest("xdim=2.5"), "", 28, 28),
      ExpectPng("XdimThree", GetRequest("xdim=3"), "", 42, 42),
      ExpectPng("XdimIgnoredWithSize", GetRequest("xdim=3&w=40"), "", 40, 100),
      ExpectPng("XdimWithRejectedSize", GetRequest("xdim=3&w=700&h=0"), "", 42, 42),
      ExpectPng("RectangularTurned", GetRequest("data=ABC&fmt=25&angle=90&xdim=1"), "", 10, 20),
      // Settings that change the size.
      ExpectPng("QuietWithoutDigits", GetRequest("quiet=no"), "", 60, 60),
      ExpectPng("QuietZero", GetRequest("quiet=0"), "", 60, 60),
      ExpectPng("QuietTwo", GetRequest("quiet=2"), "", 70, 70),
      ExpectPng("QuietSizeZero", GetRequest("qsize=0"), "", 60, 60),
      ExpectPng("QuietSizeTwo", GetRequest("qsize=2"), "", 80, 80),
      ExpectPng("FormatWithoutDigits", GetRequest("fmt=x"), "", 70, 70),
      ExpectPng("Format31Ignored", GetRequest("fmt=31"), "", 70, 70),
      ExpectPng("FormatChosen", GetRequest("fmt=5"), "", 100, 100),  // 18 x 18 symbol
      ExpectPng("Mode7Ignored", GetRequest("mode=7"), "", 70, 70),
      // Many parameters at once, escapes among them (the command line gets the decoded values).
      ExpectPng("ColoursTurnedAligned",
                GetRequest("data=Korvex&mode=2&angle=270&bcolor=ffffdd&fcolor=0000aa&alignh=0&alignv=2&w=120&h=90"), "",
                120, 90),
      ExpectPng("EscapedData", GetRequest("data=A%2BB+C%26D&w=80&h=80"), "", 80, 80),
      ExpectPng("TildeEscapesInBase256", GetRequest("data=a%7EXff%7EN&mode=4&xdim=3&quiet=0"), "", 36, 36),
      ExpectPng("RectangleInX12", GetRequest("data=ABC123&mode=6&fmt=27&qsize=3&xdim=2"), "", 64, 36),
      // Output format.
      ExpectSvg("Svg", GetRequest("out=svg"), 70, 70),
      ExpectSvg("SvgSizeGiven", GetRequest("w=699&h=120&out=svg&debug=1"), 699, 120),
      ExpectSvg("SvgLargestSymbol", GetRequest("data=Korvex&fmt=24&w=699&h=699&out=svg"), 699, 699),
      ExpectSvg("SvgTurnedRectangle", GetRequest("data=ABC&fmt=25&angle=90&xdim=1&out=svg"), 10, 20),
      ExpectPng("OutPng", GetRequest("out=png"), "", 70, 70),
      ExpectPng("OutUpperCaseSvg", GetRequest("out=SVG"), "", 70, 70),
      ExpectPng("OutEmpty", GetRequest("out="), "", 70, 70),
      Expect("SvgHelp", GetRequest("out=svg&help=1"), "", 0, Answer::HelpPage),
      ExpectPng("Compact", GetRequest("compact=1&data=Korvex&angle=270&bcolor=ffffdd&fcolor=0000aa&w=120&h=90"), "",
                120, 90),
      ExpectSvg("SvgIgnoresCompact", GetRequest("out=svg&compact=1"), 70, 70),
      Expect("CompactRasterTooLarge", GetRequest("compact=1&xdim=1000"), "", 3, Answer::Nothing),
      // Failures.
      Expect("NegativeQuietSize", GetRequest("qsize=-1"), "", 1, Answer::Nothing),
      ExpectErrorPage("NegativeQuietSizeWithDebug", GetRequest("qsize=-1&debug=1"), Result::InvalidArgument),
      Expect("DebugWithoutEquals", GetRequest("qsize=-1&debug"), "", 1, Answer::Nothing),
      Expect("DebugEqualsAtTheEnd", GetRequest("qsize=-1&debug="), "", 1, Answer::Nothing),
      ExpectErrorPage("DebugEmpty", GetRequest("debug=&qsize=-1"), Result::InvalidArgument),
      ExpectErrorPage("NegativeQuietSizeWithDebugZero", GetRequest("debug=0&qsize=-1"), Result::InvalidArgument),
      Expect("ImageTooSmall", GetRequest("w=11&h=11"), "", 4, Answer::Nothing),
      ExpectErrorPage("ImageTooSmallWithDebug", GetRequest("w=11&h=11&debug=1"), Result::InvalidBarcodeSize),
      ExpectPng("ImageJustLargeEnough", GetRequest("data=123456&w=12&h=12"), "", 12, 12),
      Expect("RasterTooLarge", GetRequest("xdim=1000"), "", 3, Answer::Nothing),
      ExpectErrorPage("RasterTooLargeWithDebug", GetRequest("xdim=1000&debug=1"), Result::PngInitFailed),
      ExpectErrorPage("QuietZoneBeyondCounts", GetRequest("w=100&h=100&qsize=40000&debug=1"),
                      Result::InvalidBarcodeSize),
      Expect("DataDoesNotFit", GetRequest("fmt=1&data=123456789"), "", 10, Answer::Nothing),
      ExpectErrorPage("DataDoesNotFitWithDebug", GetRequest("fmt=1&data=123456789&debug=1"), Result::DataDoesNotFit),
      Expect("NoFittingFormat", GetRequest("data=" + kTooMuchData), "", 8, Answer::Nothing),
      ExpectErrorPage("NoFittingFormatWithDebug", GetRequest("debug=1&data=" + kTooMuchData), Result::NoFittingFormat),
      // The same failures as SVG: the same status and page.
      Expect("SvgNegativeQuietSize", GetRequest("out=svg&qsize=-1"), "", 1, Answer::Nothing),
      ExpectErrorPage("SvgNegativeQuietSizeWithDebug", GetRequest("out=svg&qsize=-1&debug=1"), Result::InvalidArgument),
      Expect("SvgImageTooSmall", GetRequest("w=11&h=11&out=svg"), "", 4, Answer::Nothing),
      ExpectErrorPage("SvgImageTooSmallWithDebug", GetRequest("w=11&h=11&out=svg&debug=1"), Result::InvalidBarcodeSize),
      Expect("SvgRasterTooLarge", GetRequest("xdim=1000&out=svg"), "", 3, Answer::Nothing),
      ExpectErrorPage("SvgRasterTooLargeWithDebug", GetRequest("xdim=1000&debug=1&out=svg"), Result::PngInitFailed),
      ExpectErrorPage("SvgQuietZoneBeyondCounts", GetRequest("w=100&h=100&qsize=40000&debug=1&out=svg"),
                      Result::InvalidBarcodeSize),
      Expect("SvgDataDoesNotFit", GetRequest("fmt=1&data=123456789&out=svg"), "", 10, Answer::Nothing),
      ExpectErrorPage("SvgNoFittingFormatWithDebug", GetRequest("out=svg&debug=1&data=" + kTooMuchData),
                      Result::NoFittingFormat),
      ExpectDataFault("SvgGs1CheckDigit", "out=svg&gs1=1&data=(01)09501101530004",
                      "GS1: (01) 09501101530004: check digit should be 3"),
      ExpectSvg("SvgGs1", GetRequest("out=svg&gs1=1&data=(01)09501101530003&w=90&h=90"), 90, 90),
      ExpectErrorPage("NoFittingFormatByPost", PostRequest(std::to_string(kTooMuchDataPost.size())),
                      Result::NoFittingFormat, kTooMuchDataPost),
      // GS1 element strings and UTF-8 text: the first fault of each kind, named on the page.
      Expect("Gs1FaultWithoutDebug", GetRequest("gs1=1&data=(01)09501101530004"), "", 5, Answer::Nothing),
      Expect("Utf8FaultWithoutDebug", GetRequest("utf8=1&data=%DF"), "", 5, Answer::Nothing),
      ExpectDataFault("Gs1TextBeforeAi", "gs1=1&data=01)09501101530003",
                      "GS1: the data must start with an AI in brackets, such as (01)"),
      ExpectDataFault("Gs1ShortAi", "gs1=1&data=(1)23", "GS1: (1) is not an AI: an AI is 2 to 4 digits in brackets"),
      ExpectDataFault("Gs1EmptyValue", "gs1=1&data=(01)09501101530003(10)", "GS1: (10) has no value"),
      ExpectDataFault("Gs1OtherEscape", "gs1=1&data=(01)09501101530003(10)A~NB",
                      "GS1: (10) A~NB: a tilde may only start ~X28 or ~X29 (a bracket)"),
      ExpectDataFault("Gs1UnknownAi", "gs1=1&data=(3106)123456", "GS1: (3106) is not a known AI"),
      ExpectDataFault("Gs1NotADigit", "gs1=1&data=(01)0950110153000%3C",
                      "GS1: (01) 0950110153000&lt;: &#39;&lt;&#39; is not a digit"),
      ExpectDataFault("Gs1NotCset82", "gs1=1&data=(01)09501101530003(10)AB%231",
                      "GS1: (10) AB#1: &#39;#&#39; is not allowed (letters, digits and !&quot;%&amp;&#39;()*+,-./:;&lt;=&gt;?_ "
                      "only)"),
      ExpectDataFault("Gs1NotCset39", "gs1=1&data=(8010)0950a(8011)1",
                      "GS1: (8010) 0950a: &#39;a&#39; is not allowed (capital letters, digits and # - / only)"),
      ExpectDataFault("Gs1NotBase64url", "gs1=1&data=(01)09501101530003(21)1(8030)AB!C",
                      "GS1: (8030) AB!C: &#39;!&#39; is not allowed (letters, digits, - and _ only)"),
      ExpectDataFault("Gs1FixedLength", "gs1=1&data=(01)0950110153000", "GS1: (01) 0950110153000: must be 14 digits"),
      ExpectDataFault("Gs1MaximumLength", "gs1=1&data=(01)09501101530003(10)ABCDEFGHIJKLMNOPQRSTU",
                      "GS1: (10) ABCDEFGHIJKLMNOPQRSTU: too long: at most 20 characters"),
      ExpectDataFault("Gs1OptionalPart", "gs1=1&data=(01)09501101530003(7007)2001012001",
                      "GS1: (7007) 2001012001: its last part is too short"),
      ExpectDataFault("Gs1CheckDigit", "gs1=1&data=(01)09501101530004",
                      "GS1: (01) 09501101530004: check digit should be 3"),
      ExpectDataFault("Gs1Date", "gs1=1&data=(01)09501101530003(17)270631", "GS1: (17) 270631: not a valid date"),
      ExpectDataFault("Gs1Country", "gs1=1&data=(01)09501101530003(422)999",
                      "GS1: (422) 999: not an ISO 3166 country code"),
      ExpectDataFault("Gs1Currency", "gs1=1&data=(415)9501101530003(8020)A1(3912)191100",
                      "GS1: (3912) 191100: not an ISO 4217 currency code (in 191)"),
      ExpectDataFault("Gs1Required", "gs1=1&data=(21)ABC", "GS1: (21) needs one of (01), (03), (8006)"),
      ExpectDataFault("Gs1Excluded", "gs1=1&data=(01)09501101530003(255)9501101530003",
                      "GS1: (01) cannot be used together with (255)"),
      ExpectDataFault("Gs1Repeated", "gs1=1&data=(01)09501101530003(10)A(10)B",
                      "GS1: (10) appears twice with different values"),
      ExpectDataFault("Utf8Invalid", "utf8=1&data=Stra%DFe", "UTF-8: the data is not valid UTF-8 text"),
      ExpectDataFault("Utf8InvalidAfterEscapes", "utf8=1&data=Stra~XDFe", "UTF-8: the data is not valid UTF-8 text"),
      Expect("Gs1TooLongForTheSymbol", GetRequest("gs1=1&fmt=1&data=(01)09501101530003"), "", 10, Answer::Nothing),
      ExpectPng("Utf8AsciiUnchanged", GetRequest("utf8=1"), "", 70, 70),
      // GS1 Digital Link: a URI checked (gs1dl), or built from element strings (gs1 with dl).
      ExpectPng("DigitalLink", GetRequest("gs1dl=1&w=90&h=90&data=https://id.gs1.org/01/09506000134352"), "", 90, 90),
      ExpectDataFault("DigitalLinkCheckDigit", "gs1dl=1&data=https://id.gs1.org/01/09506000134353",
                      "GS1 Digital Link: /01/09506000134353: check digit should be 2"),
      ExpectDataFault("DigitalLinkQualifierAsAttribute",
                      "gs1dl=1&data=https://id.gs1.org/01/09506000134352%3F10%3DAB%26x%3D1",
                      "GS1 Digital Link: ?10=AB: (10) belongs in the path, as a qualifier of (01)"),
      ExpectDataFault("DigitalLinkBeatsGs1", "gs1dl=1&gs1=1&dl=1&data=(01)09506000134352",
                      "GS1 Digital Link: a URI must start with https:// or http://"),
      ExpectDataFault("DigitalLinkSignatureUnserialised",
                      "gs1dl=1&data=https://id.gs1.org/253/1234567890128%3F8030%3DABC123",
                      "GS1 Digital Link: (8030) needs a serialised key, and (253) has no serial part"),
      ExpectDataFault("Gs1SignatureUnserialised", "gs1=1&data=(253)1234567890128(8030)ABC123",
                      "GS1: (8030) needs a serialised key, and (253) has no serial part"),
      ExpectPng("DigitalLinkBuilt", GetRequest("gs1=1&dl=1&w=90&h=90&data=(01)09506000134352(17)261231"), "", 90, 90),
      ExpectDataFault("DigitalLinkNoPrimaryKey", "gs1=1&dl=1&data=(99)X",
                      "GS1 Digital Link: no primary key, such as (01) or (00), among the AIs: they form no URI"),
      ExpectDataFault("DigitalLinkBadStem", "gs1=1&dl=https://example.com/%3Fx&data=(01)09506000134352",
                      "GS1 Digital Link: https://example.com/?x: a stem has no query or fragment"),
      ExpectDataFault("DigitalLinkElementFault", "gs1=1&dl=1&data=(01)09506000134353",
                      "GS1: (01) 09506000134353: check digit should be 2"),
      ExpectPng("DigitalLinkStemWithoutGs1", GetRequest("dl=1&w=90&h=90&data=(99)X"), "", 90, 90),
      Expect("DigitalLinkFaultWithoutDebug", GetRequest("gs1dl=1&data=https://example.com/"), "", 5, Answer::Nothing),
      // The shortest encodation: 14 x 14 where the look-ahead needs 16 x 16; nothing with a fixed mode.
      ExpectPng("MinimalTakesTheSmallerSymbol", GetRequest("data=ABCDEFGHIJ&minimal=1"), "", 80, 80),
      ExpectPng("MinimalLookAheadForComparison", GetRequest("data=ABCDEFGHIJ&minimal=0"), "", 90, 90),
      ExpectPng("MinimalWithAFixedMode", GetRequest("data=ABCDEFGHIJ&minimal=1&mode=2"), "", 90, 90),
  };
}

class CgiRequests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(CgiRequests, AnswerAndStatus) {
  const RequestCase& c = GetParam();
  const ProcessResult result = RunCgi(c.environment, c.input);
  ASSERT_TRUE(result.started) << "cannot run the CGI program";
  ASSERT_FALSE(result.timedOut);
  ASSERT_TRUE(result.exited) << "ended by signal " << result.signal;
  EXPECT_EQ(result.errorOutput, "");
  EXPECT_EQ(result.exitStatus, c.status);
  switch (c.answer) {
    case Answer::Nothing:
      EXPECT_EQ(result.output, "");
      break;
    case Answer::HelpPage:
      EXPECT_EQ(result.output, ExpectedHelpPage());
      break;
    case Answer::ErrorPage:
      EXPECT_EQ(result.output, ExpectedErrorPage(ErrorMessage(c.errorCode), c.detailHtml));
      break;
    case Answer::Png: {
      PngInfo png;
      std::string error;
      ASSERT_TRUE(ReadPngResponse(result.output, png, error)) << error;
      EXPECT_EQ(png.width, c.width);
      EXPECT_EQ(png.height, c.height);
      break;
    }
    case Answer::Svg: {
      const std::string header = "Content-type: image/svg+xml\n\n";
      ASSERT_EQ(result.output.compare(0, header.size(), header), 0) << result.output.substr(0, 60);
      const std::string size = "width=\"" + std::to_string(c.width) + "\" height=\"" + std::to_string(c.height) +
                               "\" viewBox=\"0 0 " + std::to_string(c.width) + " " + std::to_string(c.height) + "\"";
      EXPECT_NE(result.output.find(size), std::string::npos) << result.output.substr(0, 300);
      // The largest symbol on the largest image stays a small file.
      EXPECT_LT(result.output.size(), 100u * 1024);
      EXPECT_EQ(result.output.substr(result.output.size() - 7), "</svg>\n");
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, CgiRequests, ::testing::ValuesIn(RequestCases()),
                         [](const ::testing::TestParamInfo<RequestCase>& info) { return info.param.label; });

// The query of a GET request that korvex can state as options: one that passes the length check
// and asks for an image, not the help page.
std::optional<std::string> CommandLineQuery(const RequestCase& c) {
  const auto variable = [&](const char* name) -> const std::string* {
    const auto found = std::find_if(c.environment.begin(), c.environment.end(),
                                    [&](const EnvironmentVariable& v) { return v.first == name; });
    return found != c.environment.end() ? &found->second : nullptr;
  };
  const std::string* method = variable("REQUEST_METHOD");
  const std::string* query = variable("QUERY_STRING");
  if (method == nullptr || query == nullptr || query->size() > static_cast<size_t>(kMaxRequestLength)) {
    return std::nullopt;
  }
  std::string lowerMethod = *method;
  std::transform(lowerMethod.begin(), lowerMethod.end(), lowerMethod.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  if (lowerMethod != "get" || QueryString(query->c_str()).Lookup("help") != nullptr) return std::nullopt;
  return *query;
}

// Each request parameter of the query as the web program reads it, as an option of its name.
std::vector<std::string> OptionsOf(const std::string& query) {
  QueryString parsed(query.c_str());
  std::vector<std::string> options;
  for (const RequestParameter& parameter : RequestParameters()) {
    if (const char* value = parsed.Lookup(parameter.name)) {
      options.push_back(std::string("--") + parameter.name + "=" + value);
    }
  }
  return options;
}

std::vector<RequestCase> CommandLineCases() {
  std::vector<RequestCase> cases = RequestCases();
  cases.erase(std::remove_if(cases.begin(), cases.end(), [](const RequestCase& c) { return !CommandLineQuery(c); }),
              cases.end());
  return cases;
}

class CommandLineRequests : public ::testing::TestWithParam<RequestCase> {};

// korvex writes the body of the web answer (the PNG apart from its time fields, or the error
// page under debug) and exits with the same status, saying why on standard error.
TEST_P(CommandLineRequests, WriteTheCgiBodyAndExitAlike) {
  const RequestCase& c = GetParam();
  const ProcessResult cgi = RunCgi(c.environment);
  const std::vector<std::string> options = OptionsOf(*CommandLineQuery(c));
  const ProcessResult cli = RunCli(options);
  ASSERT_TRUE(cli.started) << "cannot run korvex";
  ASSERT_TRUE(cli.exited && !cli.timedOut) << "ended by signal " << cli.signal;
  EXPECT_EQ(cli.exitStatus, cgi.exitStatus) << cli.errorOutput;
  const size_t headerEnd = cgi.output.find("\n\n");
  const std::string body = headerEnd == std::string::npos ? "" : cgi.output.substr(headerEnd + 2);
  EXPECT_TRUE(WithoutPngTime(cli.output) == WithoutPngTime(body))
      << cli.output.size() << " bytes from korvex, " << body.size() << " in the web answer";
  if (cgi.exitStatus == 0) {
    EXPECT_EQ(cli.errorOutput, "");
  } else {
    const std::string message = std::string("korvex: ") + ErrorMessage(cgi.exitStatus) + "\n";
    EXPECT_EQ(cli.errorOutput.rfind(message, 0), 0u) << cli.errorOutput;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLineRequests, ::testing::ValuesIn(CommandLineCases()),
                         [](const ::testing::TestParamInfo<RequestCase>& info) { return info.param.label; });

}  // namespace
