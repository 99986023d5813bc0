#include "request/Answer.h"

#include <gtest/gtest.h>

#include <string>

#include "request/RequestHandler.h"

using namespace korvex::internal;

namespace {

// The kind that front ends go by, beside the content type and the body that go out with it.
struct KindCase {
  std::string query;
  AnswerKind kind;
  const char* contentType;
  int status;
};

TEST(AnswerKindTest, NamesWhatTheAnswerHolds) {
  const KindCase cases[] = {
      {"", AnswerKind::PngImage, "image/png", 0},
      {"compact=1&data=1", AnswerKind::PngImage, "image/png", 0},
      {"out=svg", AnswerKind::SvgImage, "image/svg+xml", 0},
      {"help=1", AnswerKind::HelpPage, "text/html", 0},
      {"help=1&qsize=-1", AnswerKind::HelpPage, "text/html", 0},
      {"qsize=-1", AnswerKind::Nothing, "", 1},
      {"qsize=-1&debug=1", AnswerKind::ErrorPage, "text/html", 1},
      {"out=svg&w=11&h=11&data=1&debug=1", AnswerKind::ErrorPage, "text/html", 4},
      {"compact=1&xdim=1000&data=1", AnswerKind::Nothing, "", 3},
      {std::string(3601, 'a'), AnswerKind::Nothing, "", 5},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.query.substr(0, 60));
    const Answer answer = AnswerRequestText(c.query, RequestLimits());
    EXPECT_EQ(answer.kind, c.kind);
    EXPECT_EQ(answer.ContentType(), std::string(c.contentType));
    EXPECT_EQ(answer.status, c.status);
    EXPECT_EQ(answer.body.empty(), c.kind == AnswerKind::Nothing);
  }
}

}  // namespace
