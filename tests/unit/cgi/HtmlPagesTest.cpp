#include "cgi/HtmlPages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "support/CaseName.h"
#include "support/HtmlPageTexts.h"

namespace {

// Everything the writer puts on a stream.
std::string Capture(const std::function<void(FILE*)>& write) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  if (stream == nullptr) {
    ADD_FAILURE() << "open_memstream failed";
    return {};
  }
  write(stream);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

class ErrorPageCodes : public ::testing::TestWithParam<ResultCode> {};

TEST_P(ErrorPageCodes, NamesTheFailure) {
  const ResultCode code = GetParam();
  EXPECT_EQ(Capture([code](FILE* out) { WriteErrorPage(out, code); }), ExpectedErrorPage(ErrorMessage(code)));
}

INSTANTIATE_TEST_SUITE_P(AllCodes, ErrorPageCodes, ::testing::Range<ResultCode>(-1, 16),
                         [](const auto& info) { return "Code_" + CaseName(info.param); });

TEST(ErrorPageTest, DataDoesNotFitHasExactlyOneBoldRedLine) {
  const std::string page = Capture([](FILE* out) { WriteErrorPage(out, Result::DataDoesNotFit); });
  const std::string line =
      "<b><font color='#ff0000'>Error: The data to encode cant be placed in the current matrix format.</font></b>\n";
  const size_t first = page.find(line);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(page.find("<font", first + line.size()), std::string::npos);
}

TEST(ErrorPageTest, MessageIsNotReadAsAFormat) {
  // Unknown codes must not be able to smuggle format directives; the message is a fixed text.
  const std::string page = Capture([](FILE* out) { WriteErrorPage(out, 999); });
  EXPECT_NE(page.find("Error: Unknown error."), std::string::npos);
}

TEST(HelpPageTest, MatchesTheTextByteForByte) {
  EXPECT_EQ(Capture([](FILE* out) { WriteHelpPage(out); }), ExpectedHelpPage());
}

TEST(HelpPageTest, BodyHasNoLineFeedsAndOneRowPerParameter) {
  const std::string page = Capture([](FILE* out) { WriteHelpPage(out); });
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
