#include "cgi/RequestHandler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "cgi/HtmlPages.h"
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

HandlerRun RunHandler(const CgiEnvironment& environment, const std::string& body,
                      const RequestLimits& limits = RequestLimits()) {
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
  run.status = HandleRequest(environment, input, output, limits);
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

TEST(RequestHandlerTest, ImagesOverThePixelLimitAreRefusedWithThree) {
  RequestLimits limits;
  limits.maxPixels = 200 * 150;
  struct Case {
    const char* query;
    int status;
    bool page;
  };
  const Case cases[] = {{"w=200&h=150", 0, false}, {"w=200&h=151", 3, false}, {"w=201&h=150&debug=1", 3, true},
                        {"xdim=50", 3, false}, {"help=1&w=699&h=699", 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    const HandlerRun run = RunHandler(CgiEnvironment{std::string("GET"), std::string(c.query), std::nullopt}, "", limits);
    EXPECT_EQ(run.status, c.status);
    if (c.status == 3) {
      EXPECT_EQ(run.output, c.page ? "Content-type: text/html\n\n" + ErrorPage(3) : "");
    } else {
      EXPECT_EQ(run.output.rfind(c.page ? "Content-type: text/html\n\n" : "Content-type: image/png\n\n", 0), 0u);
    }
  }
}

}  // namespace
