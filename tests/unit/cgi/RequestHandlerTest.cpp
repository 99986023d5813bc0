#include "cgi/RequestHandler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "support/CaseName.h"

namespace {

struct LengthCase {
  const char* text;
  int64_t expected;
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class ContentLengthCases : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ContentLengthCases, ReadsWithoutWrapping) {
  EXPECT_EQ(ReadContentLength(GetParam().text), GetParam().expected) << "text '" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(Cases, ContentLengthCases,
                         ::testing::Values(LengthCase{"", 0}, LengthCase{"abc", 0}, LengthCase{"0", 0},
                                           LengthCase{"-1", -1}, LengthCase{"1", 1}, LengthCase{" 12x", 12},
                                           LengthCase{"+3600", 3600}, LengthCase{"3601", 3601},
                                           LengthCase{"4294967297", 4294967297},
                                           LengthCase{"-4294967297", -4294967297}),
                         [](const auto& info) { return CaseName(info.param.text); });

TEST(ContentLengthTest, HugeValuesSaturateAboveTheLimit) {
  EXPECT_GT(ReadContentLength(std::string(40, '9')), kMaxRequestLength);
  EXPECT_GT(ReadContentLength("18446744073709551617"), kMaxRequestLength);  // 2^64 + 1
  EXPECT_LT(ReadContentLength("-" + std::string(40, '9')), 1);
}

// Runs the handler in-process over memory streams.
struct HandlerRun {
  int status = -1;
  std::string output;
};

HandlerRun RunHandler(const CgiEnvironment& environment, const std::string& body) {
  HandlerRun run;
  char* buffer = nullptr;
  size_t size = 0;
  FILE* output = open_memstream(&buffer, &size);
  std::string bodyCopy = body;
  FILE* input = bodyCopy.empty() ? std::fopen("/dev/null", "rb") : fmemopen(bodyCopy.data(), bodyCopy.size(), "rb");
  if (output == nullptr || input == nullptr) {
    ADD_FAILURE() << "cannot open memory streams";
    return run;
  }
  run.status = HandleRequest(environment, input, output);
  std::fclose(input);
  std::fclose(output);
  run.output.assign(buffer, size);
  std::free(buffer);
  return run;
}

TEST(RequestHandlerTest, MissingMethodEndsWithOneAndNoOutput) {
  const HandlerRun run = RunHandler(CgiEnvironment{}, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "");
}

TEST(RequestHandlerTest, PostBodyIsCutAtItsFirstNul) {
  CgiEnvironment environment;
  environment.requestMethod = "POST";
  environment.contentLength = "12";
  const std::string body("help=1\0abcde", 12);
  const HandlerRun run = RunHandler(environment, body);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output.rfind("Content-type: text/html\n\n", 0), 0u);
}

TEST(RequestHandlerTest, PostAnnouncingMoreThanTheLimitIsRefusedUnread) {
  CgiEnvironment environment;
  environment.requestMethod = "POST";
  environment.contentLength = "3601";
  const HandlerRun run = RunHandler(environment, "help=1&debug=1&" + std::string(3586, 'x'));
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.output, "");
}

}  // namespace
