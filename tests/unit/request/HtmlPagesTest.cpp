#include "request/HtmlPages.h"

#include <gtest/gtest.h>

#include <string>

#include "support/CaseName.h"
#include "support/HtmlPageTexts.h"

using namespace korvex::internal;

namespace {

// A page as the CGI program sends it.
std::string Response(const std::string& body) { return std::string("Content-type: ") + kHtmlContentType + "\n\n" + body; }

class ErrorPageCodes : public ::testing::TestWithParam<ResultCode> {};

TEST_P(ErrorPageCodes, NamesTheFailure) {
  const ResultCode code = GetParam();
  EXPECT_EQ(Response(ErrorPage(code)), ExpectedErrorPage(ErrorMessage(code)));
}

INSTANTIATE_TEST_SUITE_P(AllCodes, ErrorPageCodes, ::testing::Range<ResultCode>(-1, 16),
                         [](const auto& info) { return "Code_" + CaseName(info.param); });

TEST(ErrorPageTest, DataDoesNotFitHasExactlyOneBoldRedLine) {
  const std::string page = Response(ErrorPage(Result::DataDoesNotFit));
  const std::string line =
      "<b><font color='#ff0000'>Error: The data to encode cant be placed in the current matrix format.</font></b>\n";
  const size_t first = page.find(line);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(page.find("<font", first + line.size()), std::string::npos);
}

TEST(ErrorPageTest, DetailFollowsTheBoldRedLineEscaped) {
  const std::string page = ErrorPage(Result::InvalidData, "GS1: (21) <x> & 'y' \"z\"");
  const std::string expected = "<b><font color='#ff0000'>" + std::string(ErrorMessage(Result::InvalidData)) +
                               "</font></b>\nGS1: (21) &lt;x&gt; &amp; &#39;y&#39; &quot;z&quot;<br>\n</body>";
  EXPECT_NE(page.find(expected), std::string::npos) << page;
}

TEST(ErrorPageTest, MessageIsNotReadAsAFormat) {
  // Unknown codes must not be able to smuggle format directives; the message is a fixed text.
  const std::string page = Response(ErrorPage(999));
  EXPECT_NE(page.find("Error: Unknown error."), std::string::npos);
}

TEST(HelpPageTest, MatchesTheTextByteForByte) {
  EXPECT_EQ(Response(HelpPage()), ExpectedHelpPage());
}

TEST(HelpPageTest, BodyHasNoLineFeedsAndOneRowPerParameter) {
  const std::string page = Response(HelpPage());
  const std::string heading = "<b>Korvex. Version 1.4</b><br><br>\n";
  const size_t bodyStart = page.find(heading);
  ASSERT_NE(bodyStart, std::string::npos);
  const std::string body = page.substr(bodyStart + heading.size());
  EXPECT_EQ(body.find('\n'), body.size() - 1);  // only the closing line ends in a line feed
  size_t rows = 0;
  for (size_t at = body.find("<tr bgcolor='#F3F3F5'>"); at != std::string::npos;
       at = body.find("<tr bgcolor='#F3F3F5'>", at + 1)) {
    ++rows;
  }
  EXPECT_EQ(rows, 15u);
}

}  // namespace
