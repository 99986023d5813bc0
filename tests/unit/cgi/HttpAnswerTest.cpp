#include "cgi/HttpAnswer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "result/ResultCode.h"

using namespace korvex::internal;

namespace {

CgiEnvironment Get(const std::string& query) { return {std::string("GET"), query, std::nullopt}; }

// The response that RespondToRequest makes, and its exit status, with the body read from memory.
struct HttpRun {
  int status = -1;
  std::string output;
};

HttpRun RunHttp(const CgiEnvironment& environment, const HttpRequestHeaders& headers, const HttpOptions& options,
                const std::string& body = "", const RequestLimits& limits = RequestLimits()) {
  std::size_t offset = 0;
  const InputReader input = [&](char* buffer, std::size_t size) {
    const std::size_t taken = body.copy(buffer, size, offset);
    offset += taken;
    return taken;
  };
  const CgiResponse response = RespondToRequest(environment, headers, options, input, limits);
  return {response.status, response.head + response.body};
}

HttpOptions ErrorStatuses() {
  HttpOptions options;
  options.errorStatuses = true;
  return options;
}

// The value of a header line of the response, or "" when it has none.
std::string Header(const std::string& response, const std::string& name) {
  const std::string head = response.substr(0, response.find("\n\n") + 1);
  const std::size_t at = head.find(name + ": ");
  if (at == std::string::npos) return "";
  const std::size_t start = at + name.size() + 2;
  return head.substr(start, head.find('\n', start) - start);
}

std::string BodyOf(const std::string& response) {
  const std::size_t end = response.find("\n\n");
  return end == std::string::npos ? "" : response.substr(end + 2);
}

struct FailureCase {
  const char* label;
  CgiEnvironment environment;
  std::string body;  // POST body
  uint64_t maxPixels;
  int exitStatus;
  int httpStatus;
  const char* firstLine;  // of the text body
};

// Every failure a request can reach, with its exit status and its HTTP status.
std::vector<FailureCase> FailureCases() {
  const uint64_t noLimit = RequestLimits().maxPixels;
  return {
      {"code 1, a negative qsize", Get("qsize=-1"), "", noLimit, 1, 400, "Error: Invalid argument."},
      {"code 3, over the server's pixel limit", Get("w=200&h=200"), "", 1000, 3, 400,
       "Error: Cant initialize PNG creator."},
      {"code 3, over the raster cap", Get("xdim=1000&data=" + std::string(200, '7')), "", noLimit, 3, 400,
       "Error: Cant initialize PNG creator."},
      {"code 4, symbol larger than the image", Get("w=11&h=11&data=1"), "", noLimit, 4, 400,
       "Error: Invalid barcode size."},
      {"code 5, a wrong GS1 check digit", Get("gs1=1&data=(01)09501101530004"), "", noLimit, 5, 400,
       "Error: Invalid data to encode."},
      {"code 5, data Base256 cannot hold", Get("mode=4&data=" + std::string(2000, 'a')), "", noLimit, 5, 400,
       "Error: Invalid data to encode."},
      {"code 5, not UTF-8", Get("utf8=1&data=Stra%DFe"), "", noLimit, 5, 400, "Error: Invalid data to encode."},
      {"code 8, data for no format", Get("mode=1&data=" + std::string(3500, 'a')), "", noLimit, 8, 400,
       "Error: Cant find the needed matrix format."},
      {"code 10, data beyond fmt 1", Get("data=12345678901234&fmt=1"), "", noLimit, 10, 400,
       "Error: The data to encode cant be placed in the current matrix format."},
      {"request text over the limit", Get(std::string(3601, 'a')), "", noLimit, 5, 413, "Error: Request too long."},
      {"POST body over the limit", {std::string("POST"), std::nullopt, std::string("3601")}, std::string(3601, 'a'),
       noLimit, 5, 413, "Error: Request too long."},
      {"POST without a body", {std::string("POST"), std::nullopt, std::string("0")}, "", noLimit, 1, 400,
       "Error: Invalid argument."},
      {"DELETE", {std::string("DELETE"), std::string(""), std::nullopt}, "", noLimit, 1, 405,
       "Error: Method not allowed."},
      {"no REQUEST_METHOD", {std::nullopt, std::string(""), std::nullopt}, "", noLimit, 1, 500,
       "Error: Invalid argument."},
  };
}

TEST(HttpAnswerTest, EachFailureGetsItsStatusAndBodyAndKeepsItsExitStatus) {
  for (const FailureCase& failure : FailureCases()) {
    SCOPED_TRACE(failure.label);
    RequestLimits limits;
    limits.maxPixels = failure.maxPixels;
    const HttpRun text = RunHttp(failure.environment, {}, ErrorStatuses(), failure.body, limits);
    EXPECT_EQ(text.status, failure.exitStatus);
    EXPECT_EQ(text.output.rfind("Status: " + std::to_string(failure.httpStatus) + " ", 0), 0u) << text.output;
    EXPECT_EQ(Header(text.output, "Content-type"), "text/plain; charset=utf-8");
    EXPECT_EQ(BodyOf(text.output).substr(0, BodyOf(text.output).find('\n')), failure.firstLine);
    EXPECT_EQ(Header(text.output, "Cache-Control"), "") << "only successful answers are cached";

    HttpRequestHeaders json;
    json.accept = "application/problem+json";
    const HttpRun problem = RunHttp(failure.environment, json, ErrorStatuses(), failure.body, limits);
    EXPECT_EQ(problem.status, failure.exitStatus);
    EXPECT_EQ(Header(problem.output, "Content-type"), "application/problem+json");
    const std::string document = BodyOf(problem.output);
    EXPECT_NE(document.find("\"status\":" + std::to_string(failure.httpStatus) + ","), std::string::npos) << document;
    EXPECT_NE(document.find(std::string("\"title\":\"") + failure.firstLine + "\""), std::string::npos) << document;
    EXPECT_NE(document.find("\"type\":\"urn:korvex:problem:"), std::string::npos) << document;

    // The same failure without the options: the CGI program's answer, nothing at all.
    HttpOptions cachingOnly;
    cachingOnly.maxAgeGiven = true;
    EXPECT_EQ(RunHttp(failure.environment, {}, cachingOnly, failure.body, limits).output, "");
  }
}

TEST(HttpAnswerTest, TheDetailLineFollowsTheMessage) {
  const HttpRun run = RunHttp(Get("gs1=1&data=(01)09501101530004"), {}, ErrorStatuses());
  EXPECT_EQ(BodyOf(run.output),
            "Error: Invalid data to encode.\nGS1: (01) 09501101530004: check digit should be 3\n");
  HttpRequestHeaders json;
  json.accept = "text/html;q=0.9, application/json";
  EXPECT_EQ(BodyOf(RunHttp(Get("gs1=1&data=(01)09501101530004"), json, ErrorStatuses()).output),
            "{\"type\":\"urn:korvex:problem:invalid-data\",\"title\":\"Error: Invalid data to encode.\",\"status\":400,"
            "\"detail\":\"GS1: (01) 09501101530004: check digit should be 3\",\"code\":5}\n");
}

// Codes that no request reaches, and the service's own faults, by their answers.
TEST(HttpAnswerTest, OnlyTheServicesOwnFaultsAre500) {
  const std::map<ResultCode, int> statusOfCode = {
      {1, 400}, {2, 500}, {4, 400}, {5, 400}, {6, 400}, {7, 400}, {8, 400}, {9, 400}, {10, 400},
      {11, 500}, {12, 500}, {13, 500}, {14, 500}, {15, 500}, {-1, 500}};
  for (const auto& [code, status] : statusOfCode) {
    Answer answer;
    answer.code = code;
    answer.status = code;
    EXPECT_EQ(HttpStatusOf(answer, Get("")), status) << "code " << code;
  }
  Answer rows;
  rows.code = rows.status = Result::PngInitFailed;
  EXPECT_EQ(HttpStatusOf(rows, Get("")), 400);
  rows.serviceFault = true;
  EXPECT_EQ(HttpStatusOf(rows, Get("")), 500) << "memory for the rows ran out";
  // An exception without debug leaves code 14 and exit status 0, and without memory for even
  // that, an answer with nothing in it.
  Answer exception;
  exception.code = Result::UnknownException;
  EXPECT_EQ(HttpStatusOf(exception, Get("")), 500);
  EXPECT_EQ(HttpStatusOf(Answer(), Get("")), 500);
}

TEST(HttpAnswerTest, TheDebugPageKeepsItsBodyWithTheErrorStatus) {
  const HttpRun run = RunHttp(Get("qsize=-1&debug=1"), {}, ErrorStatuses());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output.rfind("Status: 400 Bad Request\nContent-type: text/html\n", 0), 0u) << run.output;
  EXPECT_NE(BodyOf(run.output).find("Error: Invalid argument."), std::string::npos);
  EXPECT_EQ(Header(run.output, "Vary"), "") << "Accept plays no part in a debug page";
}

TEST(HttpAnswerTest, IfNoneMatchTakesListsWeakTagsAndTheStar) {
  const std::string tag = EntityTag("<svg/>");
  EXPECT_EQ(tag.size(), 18u);
  EXPECT_EQ(tag.front(), '"');
  EXPECT_NE(EntityTag("<svg/> "), tag);
  const std::string bare = tag.substr(1, 16);
  const std::string quoted = "\"" + bare + "\"";
  const std::vector<std::pair<std::string, bool>> cases = {
      {"*", true},
      {"\"0000\"", false},
      {quoted, true},
      {"W/" + quoted, true},
      {"\"a\", " + quoted, true},
      {"\"a\",W/" + quoted + " ", true},
      {bare, false},
      {"\"" + bare + "x\"", false},
      {"W/\"a\", \"b\"", false},
      {"", false},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(MatchesEntityTag(value, tag), expected) << value;
}

TEST(HttpAnswerTest, AcceptChoosesJsonOnlyWhenItPrefersIt) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {"application/problem+json", true},
      {"application/json", true},
      {"Application/JSON; charset=utf-8", true},
      {"*/*", false},
      {"text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8", false},
      {"application/json, */*;q=0.1", true},
      {"text/plain, application/json;q=0.5", false},
      {"application/json;q=0", false},
      {"", false},
  };
  for (const auto& [accept, json] : cases) EXPECT_EQ(AcceptsJson(accept), json) << accept;
}

TEST(HttpAnswerTest, ReproducibleAnswersGetATagAndA304TheTimedPngOnlyCacheControl) {
  HttpOptions options;
  options.maxAgeSeconds = 600;
  options.maxAgeGiven = true;
  for (const char* query : {"out=svg", "help=1"}) {
    SCOPED_TRACE(query);
    const HttpRun first = RunHttp(Get(query), {}, options);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(Header(first.output, "Cache-Control"), "public, max-age=600");
    const std::string tag = Header(first.output, "ETag");
    EXPECT_EQ(tag, EntityTag(BodyOf(first.output)));
    HttpRequestHeaders conditional;
    conditional.ifNoneMatch = "\"other\", W/" + tag;
    const HttpRun second = RunHttp(Get(query), conditional, options);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.output, "Status: 304 Not Modified\nCache-Control: public, max-age=600\nETag: " + tag + "\n\n");
    conditional.ifNoneMatch = "\"other\"";
    EXPECT_EQ(RunHttp(Get(query), conditional, options).output, first.output);
  }
  HttpRequestHeaders any;
  any.ifNoneMatch = "*";
  const HttpRun png = RunHttp(Get(""), any, options);
  EXPECT_EQ(Header(png.output, "Content-type"), "image/png");
  EXPECT_EQ(Header(png.output, "Cache-Control"), "public, max-age=600");
  EXPECT_EQ(Header(png.output, "ETag"), "") << "the PNG's time chunk changes every second";
  EXPECT_EQ(BodyOf(png.output).substr(1, 3), "PNG");
}

TEST(HttpAnswerTest, HeadIsAnsweredAsItsGetWithoutTheBody) {
  const HttpRun get = RunHttp(Get("out=svg"), {}, ErrorStatuses());
  const HttpRun head = RunHttp({std::string("HEAD"), std::string("out=svg"), std::nullopt}, {}, ErrorStatuses());
  EXPECT_EQ(head.status, 0);
  EXPECT_EQ(head.output, get.output.substr(0, get.output.find("\n\n") + 2));
  EXPECT_GT(get.output.size(), head.output.size() + 100);
}

TEST(HttpAnswerTest, CorsForEveryOriginOrTheOneAllowedAndThePreflight) {
  HttpOptions star;
  star.allowOrigin = "*";
  const HttpRun any = RunHttp(Get("out=svg"), {}, star);
  EXPECT_EQ(Header(any.output, "Access-Control-Allow-Origin"), "*");
  EXPECT_EQ(Header(any.output, "Vary"), "");

  HttpOptions one;
  one.allowOrigin = "https://labels.example";
  HttpRequestHeaders from;
  from.origin = "https://labels.example";
  const HttpRun allowed = RunHttp(Get("out=svg"), from, one);
  EXPECT_EQ(Header(allowed.output, "Access-Control-Allow-Origin"), "https://labels.example");
  EXPECT_EQ(Header(allowed.output, "Vary"), "Origin");
  from.origin = "https://other.example";
  const HttpRun other = RunHttp(Get("out=svg"), from, one);
  EXPECT_EQ(Header(other.output, "Access-Control-Allow-Origin"), "");
  EXPECT_EQ(Header(other.output, "Vary"), "Origin");

  from.origin = "https://labels.example";
  const HttpRun preflight = RunHttp({std::string("OPTIONS"), std::string(""), std::nullopt}, from, one);
  EXPECT_EQ(preflight.status, 0);
  EXPECT_EQ(preflight.output.rfind("Status: 204 No Content\n", 0), 0u) << preflight.output;
  EXPECT_EQ(Header(preflight.output, "Access-Control-Allow-Methods"), "GET, POST");
  EXPECT_EQ(Header(preflight.output, "Access-Control-Allow-Origin"), "https://labels.example");
  EXPECT_EQ(BodyOf(preflight.output), "");
  // Without CORS, OPTIONS is a method like any other.
  EXPECT_EQ(RunHttp({std::string("OPTIONS"), std::string(""), std::nullopt}, from, ErrorStatuses())
                .output.rfind("Status: 405 ", 0),
            0u);
}

TEST(HttpAnswerTest, TheVariablesSwitchTheOptionsOn) {
  const auto read = [](std::map<std::string, std::string> variables) {
    return ReadHttpOptions([variables](const char* name) -> const char* {
      const auto found = variables.find(name);
      return found != variables.end() ? found->second.c_str() : nullptr;
    });
  };
  EXPECT_FALSE(read({}).Any());
  EXPECT_FALSE(read({{"KORVEX_HTTP_ERRORS", "0"}}).Any());
  EXPECT_FALSE(read({{"KORVEX_MAX_AGE", "soon"}}).Any());
  EXPECT_FALSE(read({{"KORVEX_MAX_AGE", "31536001"}}).Any());
  EXPECT_TRUE(read({{"KORVEX_HTTP_ERRORS", "1"}}).errorStatuses);
  EXPECT_EQ(read({{"KORVEX_HTTP_ERRORS", "1"}}).maxAgeSeconds, 86400);
  EXPECT_EQ(read({{"KORVEX_MAX_AGE", "0"}}).maxAgeSeconds, 0);
  EXPECT_TRUE(read({{"KORVEX_MAX_AGE", "0"}}).Any());
  EXPECT_EQ(read({{"KORVEX_ALLOW_ORIGIN", "*"}}).allowOrigin, "*");
  EXPECT_FALSE(read({{"KORVEX_ALLOW_ORIGIN", "*"}}).errorStatuses);
  EXPECT_FALSE(read({{"KORVEX_ALLOW_ORIGIN", "https://a.example\r\nSet-Cookie: x=1"}}).Any());
}

}  // namespace
