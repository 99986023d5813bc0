#include "cgi/CgiRequest.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "cgi/HttpAnswer.h"
#include "request/HtmlPages.h"
#include "request/QueryString.h"
#include "render/RgbImage.h"
#include "support/CaseName.h"
#include "support/HandleRequest.h"
#include "support/ReadBack.h"
#include "support/SymbolSizes.h"

using namespace korvex::internal;

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

// How much of a POST's input a request takes, from a reader that counts what it hands out (a
// FastCGI connection keeps what is left for the next request): never more than CONTENT_LENGTH
// when the body is read, nothing when the length is refused; with error statuses on, a body
// refused for its length is drained up to its announced length.
TEST(RequestHandlerTest, PostInputIsReadNoFurtherThanItsLength) {
  struct Case {
    const char* label;
    std::optional<std::string> contentLength;
    std::size_t supplied;
    int status;
    std::size_t read;
    std::size_t readWithErrorStatuses;
  };
  const Case cases[] = {
      {"the body exactly", "12", 12, 0, 12, 12},
      {"more input than announced", "12", 100, 0, 12, 12},
      {"a short body", "12", 5, 1, 5, 5},
      {"the longest body", "3600", 4000, 0, 3600, 3600},
      {"one over the limit", "3601", 4000, 5, 0, 3601},
      {"a huge length", std::string(40, '9'), 4000, 5, 0, 4000},
      {"length zero", "0", 100, 1, 0, 0},
      {"no length", std::nullopt, 100, 1, 0, 0},
  };
  HttpOptions errorStatuses;
  errorStatuses.errorStatuses = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string input = ("help=1&" + std::string(c.supplied, 'x')).substr(0, c.supplied);
    for (const HttpOptions& options : {HttpOptions(), errorStatuses}) {
      std::size_t offset = 0;
      const InputReader reader = [&](char* buffer, std::size_t size) {
        const std::size_t taken = input.copy(buffer, size, offset);
        offset += taken;
        return taken;
      };
      const CgiResponse response =
          RespondToRequest(CgiEnvironment{std::string("POST"), std::nullopt, c.contentLength}, {}, options, reader);
      EXPECT_EQ(response.status, c.status);
      EXPECT_EQ(offset, options.Any() ? c.readWithErrorStatuses : c.read) << "error statuses " << options.Any();
    }
  }
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

// What DrawRequestedImage made of a query: its code and, on success, the pixels.
struct DrawnImage {
  ResultCode code = Result::Ok;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

DrawnImage DrawQuery(const std::string& query) {
  QueryString parameters(query.c_str());
  const RequestSettings settings = GatherRequestSettings(parameters);
  DrawnImage drawn;
  drawn.code = DrawRequestedImage(settings, RequestLimits(), [&drawn](RgbImage& image) {
    drawn.width = image.Width();
    drawn.height = image.Height();
    for (int32_t y = 0; y < image.Height(); ++y) {
      drawn.pixels.insert(drawn.pixels.end(), image.Row(y), image.Row(y) + 3 * image.Width());
    }
  });
  return drawn;
}

// A shape request draws what the same request draws with fmt set to the first format of the
// shape's order (worked out from the published sizes) whose fixed request succeeds; when none
// does, the shape request fails too.
TEST(ShapeRequestTest, DrawsTheFirstCandidateThatAFixedRequestAccepts) {
  std::mt19937 random(14);
  int compared = 0;
  int unfit = 0;
  for (int sample = 0; sample < 500; ++sample) {
    const int mode = static_cast<int>(random() % 7);
    const std::string alphabet = SchemeAlphabet(1 + static_cast<int>(random() % 6));
    const std::size_t length = random() % 5 == 0 ? random() % 320 : random() % 90;
    const std::string request =
        "xdim=1&mode=" + std::to_string(mode) + "&data=" + UrlEncode(RandomText(alphabet, length, random));
    for (int shape = 0; shape <= 2; ++shape) {
      for (bool dmre : {false, true}) {
        const std::string extra = dmre ? "&dmre=1" : "";
        SCOPED_TRACE(request + "&shape=" + std::to_string(shape) + extra);
        const DrawnImage chosen = DrawQuery(request + "&shape=" + std::to_string(shape) + extra);
        bool found = false;
        for (int id : ShapeOrder(shape, dmre)) {
          const DrawnImage fixed = DrawQuery(request + "&fmt=" + std::to_string(id) + extra);
          if (fixed.code != Result::Ok) continue;
          found = true;
          ASSERT_EQ(chosen.code, Result::Ok) << "format " << id;
          EXPECT_EQ(chosen.width, fixed.width) << "format " << id;
          EXPECT_EQ(chosen.height, fixed.height) << "format " << id;
          EXPECT_TRUE(chosen.pixels == fixed.pixels) << "format " << id;
          ++compared;
          break;
        }
        if (!found) {
          EXPECT_NE(chosen.code, Result::Ok);
          ++unfit;
        }
      }
    }
  }
  std::cout << "[ shapes ] " << compared << " shape requests matched their fixed format, " << unfit << " fit none\n";
  // Most samples fit; some are refused by their mode or too long for the rectangles.
  EXPECT_GT(compared, 2000);
  EXPECT_GT(unfit, 0);
}

}  // namespace
