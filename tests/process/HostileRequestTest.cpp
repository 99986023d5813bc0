// Requests built to hurt, sent to the real program: the longest texts with the most encoding
// work, every parameter at and past its limits, binary bytes, NULs, repeated parameters, broken
// UTF-8 and lying CONTENT_LENGTH values. Whatever comes in, the run must end in one of the
// answers a request can have (a well-formed PNG or SVG document, the help page, the error page of its status,
// or nothing), print nothing on standard error (where the sanitizers report), and stay within
// 2 s of CPU time and 256 MiB of memory. Each table prints its slowest request.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "result/ResultCode.h"
#include "process/CgiResponse.h"
#include "support/FastCgiClient.h"
#include "support/HtmlPageTexts.h"
#include "support/LocalServer.h"
#include "support/Paths.h"
#include "support/ScratchDirectory.h"

using namespace korvex::internal;

namespace {

// The limit holds for the optimised program that a server runs. The sanitizer build (unoptimised,
// every access checked) runs the encoder's quadratic look-ahead about 35 times slower, so there
// it only guards against a worse algorithm.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr double kMaxCpuSeconds = 8.0;
#else
constexpr double kMaxCpuSeconds = 2.0;
#endif
constexpr long kMaxResidentKiB = 256 * 1024;
constexpr size_t kMaxRequestLength = 3600;
// Generous: the CPU limit is what is tested; this only catches a run that hangs.
constexpr std::chrono::seconds kHangTimeout(20);

enum class Answer { Any, Nothing, HelpPage, ErrorPage, Png, Svg, ErrorPageOrNothing };

struct HostileCase {
  std::string label;
  std::vector<EnvironmentVariable> environment;
  std::string body;
  std::optional<int> status;  // nothing: any status that fits the answer
  Answer answer = Answer::Any;
};

HostileCase Get(std::string label, std::string query, std::optional<int> status, Answer answer) {
  return {std::move(label), GetRequest(query), "", status, answer};
}

HostileCase Post(std::string label, std::string contentLength, std::string body, std::optional<int> status,
                 Answer answer) {
  return {std::move(label), PostRequest(contentLength), std::move(body), status, answer};
}

// head followed by repetitions of unit, cut to exactly length characters.
std::string FillTo(const std::string& head, const std::string& unit, size_t length = kMaxRequestLength) {
  std::string text = head;
  while (text.size() < length) text += unit;
  return text.substr(0, length);
}

std::string Repeat(const std::string& unit, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += unit;
  return text;
}

struct Measured {
  ProcessResult result;
  double cpuSeconds = 0;
  double wallSeconds = 0;
  // The largest child of this process so far. A child counts the pages it shared with this
  // process before exec, so this is an upper bound of the program's own peak.
  long maxResidentKiB = 0;
};

double Seconds(const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; }

Measured RunMeasured(const HostileCase& request) {
  rusage before{};
  getrusage(RUSAGE_CHILDREN, &before);
  const auto start = std::chrono::steady_clock::now();
  Measured measured;
  measured.result = RunCgi(request.environment, request.body, kHangTimeout);
  measured.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage after{};
  getrusage(RUSAGE_CHILDREN, &after);
  measured.cpuSeconds = Seconds(after.ru_utime) + Seconds(after.ru_stime) - Seconds(before.ru_utime) -
                        Seconds(before.ru_stime);
  measured.maxResidentKiB = after.ru_maxrss;
  return measured;
}

std::string AnswerOf(const std::string& output, int status) {
  if (output.empty()) return "nothing";
  if (output.rfind(kPngHeader, 0) == 0) return "PNG";
  const std::string svgEnd = "</svg>\n";
  if (output.rfind("Content-type: image/svg+xml\n\n<?xml", 0) == 0 && output.size() > svgEnd.size() &&
      output.compare(output.size() - svgEnd.size(), svgEnd.size(), svgEnd) == 0) {
    return "SVG";
  }
  if (output == ExpectedHelpPage()) return "help page";
  if (output == ExpectedErrorPage(ErrorMessage(status))) return "error page";
  if (output == ExpectedErrorPage(ErrorMessage(Result::UnknownException))) return "exception page";
  return "something else: '" + output.substr(0, 80) + "'";
}

// The answer must be one a request can have, and fit the exit status.
void ExpectAllowedAnswer(const HostileCase& request, const ProcessResult& result) {
  const int status = result.exitStatus;
  EXPECT_GE(status, 0);
  EXPECT_LE(status, 14);
  const std::string answer = AnswerOf(result.output, status);
  if (answer == "PNG") {
    EXPECT_EQ(status, 0);
    PngInfo png;
    std::string error;
    EXPECT_TRUE(ReadPngResponse(result.output, png, error)) << error;
  } else if (answer == "SVG" || answer == "help page" || answer == "exception page") {
    EXPECT_EQ(status, 0) << answer;
  } else if (answer == "error page") {
    EXPECT_NE(status, 0);
  } else {
    EXPECT_EQ(answer, "nothing");
  }

  if (request.status) {
    EXPECT_EQ(status, *request.status) << "answer: " << answer;
  }
  switch (request.answer) {
    case Answer::Any: break;
    case Answer::Nothing: EXPECT_EQ(answer, "nothing"); break;
    case Answer::HelpPage: EXPECT_EQ(answer, "help page"); break;
    case Answer::ErrorPage: EXPECT_EQ(answer, "error page"); break;
    case Answer::Png: EXPECT_EQ(answer, "PNG"); break;
    case Answer::Svg: EXPECT_EQ(answer, "SVG"); break;
    case Answer::ErrorPageOrNothing:
      EXPECT_TRUE(answer == "error page" || answer == "nothing") << answer;
      break;
  }
}

// Runs every request of the table, checks it, and prints the table's slowest one.
void RunTable(const char* table, const std::vector<HostileCase>& requests) {
  const HostileCase* slowest = nullptr;
  Measured slowestRun;
  for (const HostileCase& request : requests) {
    SCOPED_TRACE(request.label);
    const Measured run = RunMeasured(request);
    const ProcessResult& result = run.result;
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(result.exited) << "ended by signal " << result.signal;
    EXPECT_EQ(result.errorOutput, "");
    if (result.exited) {
      ExpectAllowedAnswer(request, result);
    }
    EXPECT_LE(run.cpuSeconds, kMaxCpuSeconds);
    EXPECT_LE(run.maxResidentKiB, kMaxResidentKiB);
    std::printf("  %-52s status %2d  %8zu bytes  cpu %.3f s  wall %.3f s  max rss %ld KiB\n", request.label.c_str(),
                result.exitStatus, result.output.size(), run.cpuSeconds, run.wallSeconds, run.maxResidentKiB);
    if (slowest == nullptr || run.cpuSeconds > slowestRun.cpuSeconds) {
      slowest = &request;
      slowestRun = run;
    }
  }
  if (slowest != nullptr) {
    std::printf("Slowest %s request: %s, cpu %.3f s, wall %.3f s; largest run %ld KiB resident\n", table,
                slowest->label.c_str(), slowestRun.cpuSeconds, slowestRun.wallSeconds, slowestRun.maxResidentKiB);
  }
}

// Data filling a whole 3600-character request in each mode, with debug on so that a refusal
// for length (no output) cannot pass for an encoding failure (error page).
std::vector<HostileCase> LongDataRequests() {
  const std::vector<std::pair<int, std::string>> payloads = {
      {0, "1234ABCDabcd*>: ;<=?@[\\]^_~1%C3%A9%FFAB12"},
      {1, "1A2b3C4d5E6f7G8h9I0j"},
      {2, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+"},
      {3, "abcdefghijklmnopqrstuvwxyz0123456789+"},
      {4, "%80%FF%00%7E%01"},
      {5, "ABC:;<=>?@[\\]^_0123456789+"},
      {6, "ABC*>0123+XYZ%0D"},
  };
  std::vector<HostileCase> requests;
  for (const auto& [mode, unit] : payloads) {
    const std::string head = "debug=1&mode=" + std::to_string(mode) + "&data=";
    requests.push_back(Get("3600 characters in mode " + std::to_string(mode), FillTo(head, unit), std::nullopt,
                           Answer::Any));
  }
  // The same work, cut to what the largest symbol holds, so that placement, drawing and the
  // PNG run on the largest symbol as well.
  requests.push_back(Get("largest symbol, ASCII digits", "mode=1&data=" + Repeat("1234567890", 311), 0, Answer::Png));
  requests.push_back(Get("largest symbol, Base256", "mode=4&data=" + Repeat("%A5", 1190), 0, Answer::Png));
  requests.push_back(Get("largest symbol, C40", "mode=2&data=" + Repeat("ABC1", 580), 0, Answer::Png));
  requests.push_back(Get("largest symbol, EDIFACT", "mode=5&data=" + Repeat("ABC:", 510), 0, Answer::Png));
  requests.push_back(Get("largest symbol, automatic", "mode=0&data=" + Repeat("ABC1abc%2A", 180), 0, Answer::Png));
  requests.push_back(Get("largest symbol, 699 x 699, turned, coloured",
                         "w=699&h=699&angle=270&bcolor=123456&fcolor=fedcba&mode=1&data=" + Repeat("12", 1550), 0,
                         Answer::Png));

  // Look-ahead that never decides early: once C40 (or Text) is in force, alternating case keeps
  // every count within one codeword of the others, so each item is counted to the end.
  requests.push_back(Get("look-ahead to the end, C40 in force",
                         FillTo("debug=1&mode=0&data=ABCDEFGHIJ", "Aa"), std::nullopt, Answer::ErrorPage));
  requests.push_back(Get("look-ahead to the end, Text in force",
                         FillTo("debug=1&mode=0&data=abcdefghij", "aA"), std::nullopt, Answer::ErrorPage));
  requests.push_back(Get("look-ahead to the end, fitting the largest symbol",
                         "mode=0&data=ABCDEFGHIJ" + Repeat("Aa", 760), 0, Answer::Png));
  requests.push_back(Get("look-ahead, digits and letters interleaved",
                         FillTo("debug=1&mode=0&data=", "1A2b3C~1"), std::nullopt, Answer::Any));
  requests.push_back(Get("look-ahead, FNC1 between every character",
                         FillTo("debug=1&mode=0&data=", "A~1"), std::nullopt, Answer::Any));
  requests.push_back(Get("escapes only", FillTo("debug=1&mode=0&data=", "~X41~7000001~N~R~~~1"), std::nullopt,
                         Answer::Any));
  // The shortest encodation at the limit: every scheme, every end, codeword items and bytes
  // above 127 in every run.
  requests.push_back(Get("minimal at the request limit",
                         FillTo("debug=1&minimal=1&data=", "1A2b3C~1~X80*>%0D@^"), std::nullopt, Answer::Any));
  requests.push_back(Get("minimal, largest symbol", "minimal=1&data=" + Repeat("ABC1abc%2A", 180), 0, Answer::Png));
  requests.push_back(Get("minimal, long Base256 run", "minimal=1&data=" + Repeat("%A5", 1190), 0, Answer::Png));
  return requests;
}

std::vector<HostileCase> LimitRequests() {
  const std::string bigSymbol = "&mode=1&data=" + Repeat("1234567890", 311);
  return {
      Get("w and h 699", "w=699&h=699", 0, Answer::Png),
      Get("w 700, h 0: both ignored", "w=700&h=0", 0, Answer::Png),
      Get("w -1, h 2^31", "w=-1&h=2147483648", 0, Answer::Png),
      Get("w 2^32 + 1 wraps to 1", "debug=1&w=4294967297", 4, Answer::ErrorPage),
      Get("w and h of 1", "debug=1&w=1&h=1", 4, Answer::ErrorPage),
      Get("w of 100 digits", "w=" + std::string(100, '9'), std::nullopt, Answer::Any),
      Get("fmt 30, 31, -1", "fmt=30&data=1", 0, Answer::Png),
      Get("fmt 31 ignored", "fmt=31", 0, Answer::Png),
      Get("fmt -1 ignored", "fmt=-1", 0, Answer::Png),
      Get("fmt 2^32 + 24 wraps to 24", "fmt=4294967320", 0, Answer::Png),
      Get("mode 7 and -1 ignored", "mode=7&mode=-1", 0, Answer::Png),
      Get("angle 360, -90, 2^32 + 90", "angle=4294967386", 0, Answer::Png),
      Get("quiet 2^31", "quiet=2147483648", 0, Answer::Png),
      Get("alignments past their range", "w=699&h=699&alignh=-2147483648&alignv=3", 0, Answer::Png),
      Get("right and bottom alignment without free space or quiet zone",
          "w=12&h=12&quiet=0&alignh=2&alignv=2&fmt=2", 0, Answer::Png),
      Get("right alignment, quiet zone 0, largest symbol", "w=144&h=144&quiet=1&qsize=0&alignh=2&alignv=2&fmt=24",
          0, Answer::Png),
      Get("colours of 3000 hex digits", "bcolor=" + std::string(1500, 'f') + "&fcolor=" + std::string(1500, 'A'), 0,
          Answer::Png),
      Get("colours that are no colours", "bcolor=%23ff0000&fcolor=zz", 0, Answer::Png),
      Get("qsize 2^31 - 1 with a given size", "debug=1&w=699&h=699&qsize=2147483647", 4, Answer::ErrorPage),
      Get("qsize 32767 with a given size", "debug=1&w=699&h=699&qsize=32767", 4, Answer::ErrorPage),
      Get("qsize huge on the xdim path", "debug=1&qsize=2147483647", std::nullopt, Answer::ErrorPage),
      // Wrapped to 0 the size is invalid (1); refusing the wrapped count first (4) is as sound.
      Get("qsize that wraps the module count to 0", "debug=1&qsize=32763&fmt=1&data=1", std::nullopt,
          Answer::ErrorPage),
      Get("qsize -2^31", "debug=1&qsize=-2147483648", 1, Answer::ErrorPage),
      Get("xdim 2^31 - 1: raster refused", "debug=1&xdim=2147483647", 3, Answer::ErrorPage),
      Get("xdim 13108: wrapped, still too big", "debug=1&xdim=13108&fmt=1&data=1", 3, Answer::ErrorPage),
      Get("xdim 65536 wraps the size to 0", "debug=1&xdim=65536", std::nullopt, Answer::ErrorPage),
      Get("xdim -1 and 0 keep 5", "xdim=-1", 0, Answer::Png),
      Get("xdim 4294967295 reads as -1", "xdim=4294967295", 0, Answer::Png),
      Get("largest raster under the cap", "xdim=32" + bigSymbol, 0, Answer::Png),
      Get("first raster over the cap", "debug=1&xdim=33" + bigSymbol, 3, Answer::ErrorPage),
      Get("largest raster, red on blue, turned", "xdim=32&angle=90&bcolor=0000ff&fcolor=ff0000" + bigSymbol, 0,
          Answer::Png),
      // The SVG document keeps the raster's limits and failures.
      Get("SVG of the largest raster, turned", "out=svg&xdim=32&angle=90" + bigSymbol, 0, Answer::Svg),
      Get("SVG of the first raster over the cap", "debug=1&out=svg&xdim=33" + bigSymbol, 3, Answer::ErrorPage),
      Get("SVG, largest symbol, 699 x 699, coloured", "out=svg&w=699&h=699&bcolor=123456&fcolor=fedcba" + bigSymbol,
          0, Answer::Svg),
      Get("SVG, right alignment without free space or quiet zone",
          "out=svg&w=12&h=12&quiet=0&alignh=2&alignv=2&fmt=2", 0, Answer::Svg),
      Get("SVG, qsize 32767 with a given size", "debug=1&out=svg&w=699&h=699&qsize=32767", 4, Answer::ErrorPage),
      Get("out of 3000 characters", "out=" + Repeat("svg", 1000), 0, Answer::Png),
      // The compact PNG keeps the raster's limits and failures.
      Get("compact, largest raster, red on blue, turned",
          "compact=1&xdim=32&angle=90&bcolor=0000ff&fcolor=ff0000" + bigSymbol, 0, Answer::Png),
      Get("compact, first raster over the cap", "debug=1&compact=1&xdim=33" + bigSymbol, 3, Answer::ErrorPage),
      Get("compact of 3000 digits", "compact=" + std::string(3000, '9') + "&w=699&h=699", 0, Answer::Png),
  };
}

std::vector<HostileCase> MalformedTextRequests() {
  std::string everyByte;
  for (int byte = 1; byte < 256; ++byte) {
    if (byte != '&') everyByte += static_cast<char>(byte);
  }
  // From 1: a leading %00 would end the data at once.
  std::string everyEscape;
  for (int byte = 1; byte < 256; ++byte) {
    char escape[4];
    std::snprintf(escape, sizeof escape, "%%%02X", byte);
    everyEscape += escape;
  }
  return {
      Get("data of one NUL", "data=%00", 0, Answer::Png),
      Get("NUL inside data", "data=abc%00def&debug=1", 0, Answer::Png),
      Get("NUL in a name", "%00=1&w%00=5&data=x", 0, Answer::Png),
      Get("NUL as the help value", "help=%00", 0, Answer::HelpPage),
      Get("every byte raw in data", "data=" + everyByte, std::nullopt, Answer::Any),
      Get("every byte raw as a name", everyByte + "=1&data=x", std::nullopt, Answer::Any),
      Get("every byte escaped in data, mode 0", "debug=1&data=" + everyEscape, std::nullopt, Answer::Any),
      Get("every byte escaped, X12", "debug=1&mode=6&data=" + everyEscape, 5, Answer::ErrorPage),
      Get("every byte escaped, EDIFACT", "debug=1&mode=5&data=" + everyEscape, 5, Answer::ErrorPage),
      Get("invalid UTF-8, raw", "data=\xc3\x28\xa0\xa1\xe2\x28\xa1\xf0\x90\x28\xbc\xff\xfe\xed\xa0\x80", 0,
          Answer::Png),
      Get("invalid UTF-8, escaped", "data=%C3%28%A0%A1%E2%28%A1%F0%90%28%BC%FF%FE%ED%A0%80%C0%AF", 0, Answer::Png),
      Get("truncated escapes at every end", "data=%&w=%4&h=%&bcolor=%f", 0, Answer::Png),
      Get("escape at the very end", "data=abc%", 0, Answer::Png),
      Get("escape with non-hex digits", "data=%zz%ZZ%g%%%+", 0, Answer::Png),
      Get("3600 characters of one repeated parameter", FillTo("w=", "1&w="), 4, Answer::Nothing),
      Get("3600 characters of repeated data", FillTo("data=a", "&data=b"), 0, Answer::Png),
      Get("repeated help and debug", FillTo("x=1", "&debug=&help="), 0, Answer::HelpPage),
      Get("first of two values counts", "w=699&w=0&h=699&h=0&data=a&data=b", 0, Answer::Png),
      Get("ampersands and equals only", FillTo("", "&=&=="), 0, Answer::Png),
      Get("3600 characters of escapes in one value", FillTo("data=", "%41"), std::nullopt, Answer::Any),
      Get("exactly 3600 characters with debug", FillTo("debug=1&data=", "9"), 8, Answer::ErrorPage),
      Get("3601 characters with debug", FillTo("debug=1&data=", "9", kMaxRequestLength + 1), 5, Answer::Nothing),
      Get("3601 characters with help", FillTo("help=1&data=", "9", kMaxRequestLength + 1), 5, Answer::Nothing),
      Get("100000 characters", FillTo("debug=1&data=", "9", 100000), 5, Answer::Nothing),
      Get("help beats everything", "help=&w=0&h=-1&fmt=99&mode=99&qsize=-5&xdim=0&debug=1", 0, Answer::HelpPage),
  };
}

std::vector<HostileCase> EnvironmentRequests() {
  const std::string body = "debug=1&data=Hello";
  const std::string longBody = FillTo("debug=1&data=", "A");
  const std::string tooLongBody = FillTo("debug=1&data=", "A", kMaxRequestLength + 1);
  return {
      Post("CONTENT_LENGTH 0", "0", body, 1, Answer::Nothing),
      Post("CONTENT_LENGTH -1", "-1", body, 1, Answer::Nothing),
      Post("CONTENT_LENGTH -2^63", "-9223372036854775808", body, 1, Answer::Nothing),
      Post("CONTENT_LENGTH 3601 with the body", "3601", tooLongBody, 5, Answer::Nothing),
      Post("CONTENT_LENGTH 3601 without a body", "3601", "", 5, Answer::Nothing),
      Post("CONTENT_LENGTH 2^31", "2147483648", body, 5, Answer::Nothing),
      Post("CONTENT_LENGTH 2^32 + 1", "4294967297", body, 5, Answer::Nothing),
      Post("CONTENT_LENGTH 2^64", "18446744073709551616", body, 5, Answer::Nothing),
      Post("CONTENT_LENGTH 2^64 + 5", "18446744073709551621", body, 5, Answer::Nothing),
      Post("CONTENT_LENGTH of 40 digits", std::string(40, '9'), body, 5, Answer::Nothing),
      Post("CONTENT_LENGTH not a number", "abc", body, 1, Answer::Nothing),
      Post("CONTENT_LENGTH empty", "", body, 1, Answer::Nothing),
      Post("CONTENT_LENGTH with blanks and sign", "  +18", body, 0, Answer::Png),
      Post("CONTENT_LENGTH with trailing text", "18 bytes", body, 0, Answer::Png),
      Post("body shorter than announced", "100", body, 1, Answer::Nothing),
      Post("body one byte short of 3600", "3600", longBody.substr(0, kMaxRequestLength - 1), 1, Answer::Nothing),
      Post("body of exactly 3600", "3600", longBody, 8, Answer::ErrorPage),
      Post("body longer than announced", "7", body + "&w=1", 0, Answer::Png),
      Post("body with a NUL before help", std::to_string(body.size() + 8), body + std::string(1, '\0') + "&help=1",
           0, Answer::Png),
      {"CONTENT_LENGTH unset", {{"REQUEST_METHOD", "POST"}}, body, 1, Answer::Nothing},
      {"POST ignores QUERY_STRING",
       {{"REQUEST_METHOD", "post"}, {"CONTENT_LENGTH", "6"}, {"QUERY_STRING", "help=1"}},
       "data=1",
       0,
       Answer::Png},
      {"method unset", {{"QUERY_STRING", "data=1"}}, "", 1, Answer::Nothing},
      {"method HEAD", {{"REQUEST_METHOD", "HEAD"}, {"QUERY_STRING", "data=1"}}, "", 1, Answer::Nothing},
      {"method of 3000 characters", {{"REQUEST_METHOD", std::string(3000, 'G')}, {"QUERY_STRING", ""}}, "", 1,
       Answer::Nothing},
      {"method GET with a NUL-free binary tail", {{"REQUEST_METHOD", "GET\x01"}, {"QUERY_STRING", ""}}, "", 1,
       Answer::Nothing},
      {"GET without QUERY_STRING", {{"REQUEST_METHOD", "GET"}}, "", 1, Answer::Nothing},
      {"GET ignores its body", {{"REQUEST_METHOD", "get"}, {"QUERY_STRING", ""}}, "help=1", 0, Answer::Png},
  };
}

// GS1 Digital Link URIs and stems at the request's length: the longest paths and queries to
// split, percent escapes throughout, and element strings that build the longest URI.
std::vector<HostileCase> DigitalLinkRequests() {
  // In the request, the URI's '&' is written %26 and its '%' %25.
  const std::string uri = "gs1dl=1&data=https://id.gs1.org";
  const std::string sscc = uri + "/00/095060000123456782?";
  std::string everyAttribute = "gs1=1&dl=1&data=(00)095060000123456782";
  for (int ai = 91; ai <= 99; ++ai) everyAttribute += "(" + std::to_string(ai) + ")" + Repeat("%2F", 90);
  return {
      Get("gs1dl: 3600 characters of /00/ pairs", FillTo(uri, "/00/095060000123456782"), 5, Answer::Nothing),
      Get("gs1dl: 3600 characters of AI-like path segments", FillTo(uri, "/01"), std::nullopt, Answer::Any),
      Get("gs1dl: a prefix of 3500 characters before the key",
          uri + Repeat("/p~", 1170) + "/01/09506000134352", 8, Answer::Nothing),
      Get("gs1dl: 3600 characters of one attribute repeated", FillTo(sscc, "99=A%26"), 5, Answer::Nothing),
      Get("gs1dl: 3600 characters of empty parameters", FillTo(sscc, "%26"), std::nullopt, Answer::Any),
      Get("gs1dl: 3600 characters of non-GS1 parameters", FillTo(sscc, "x%26y=~%26"), std::nullopt, Answer::Any),
      Get("gs1dl: more attributes than a URI may carry", FillTo(sscc, "3100=000100%263200=000100%26"), 5,
          Answer::Nothing),
      Get("gs1dl: percent escapes in a value", FillTo(uri + "/01/09506000134352/10/", "%2541"), 5, Answer::Nothing),
      Get("gs1dl: broken escapes and bytes outside URIs", uri + "/01/%254%25g%25" + Repeat("%FF%01", 200), 5,
          Answer::Nothing),
      Get("gs1dl: a URI of NUL", "gs1dl=1&data=%00", 5, Answer::Nothing),
      Get("dl: a stem of 3500 characters", FillTo("gs1=1&data=(00)095060000123456782&dl=https://a/", "p/"),
          std::nullopt, Answer::Any),
      Get("dl: a stem with bytes outside URIs", "gs1=1&data=(00)095060000123456782&dl=%01%FF", 5, Answer::Nothing),
      Get("dl: nine attributes of 90 characters, each percent-encoded", everyAttribute, std::nullopt, Answer::Any),
      Get("dl: the same attribute over and over", FillTo("gs1=1&dl=1&data=(00)095060000123456782", "(99)A"),
          std::nullopt, Answer::Any),
      Get("dl and gs1dl, both empty", "gs1dl=&dl=&gs1=1", std::nullopt, Answer::Any),
  };
}

TEST(HostileRequestTest, DigitalLinksAtTheLimits) { RunTable("digital-link", DigitalLinkRequests()); }

TEST(HostileRequestTest, LongestRequestsWithTheMostWork) { RunTable("long-data", LongDataRequests()); }

TEST(HostileRequestTest, ParametersAtAndBeyondTheirLimits) { RunTable("limits", LimitRequests()); }

TEST(HostileRequestTest, MalformedRequestTexts) { RunTable("malformed-text", MalformedTextRequests()); }

TEST(HostileRequestTest, LyingOrMissingEnvironment) { RunTable("environment", EnvironmentRequests()); }

}  // namespace

namespace {

// Every seed of the fuzzers, as a query string (up to its first NUL, which no environment
// variable can carry) and as a POST body.
std::vector<HostileCase> FuzzSeedRequests() {
  std::vector<HostileCase> requests;
  for (const auto& corpus : std::filesystem::directory_iterator(std::filesystem::path(TestPaths::kSourceDir) / "fuzz" / "corpus")) {
    for (const auto& seed : std::filesystem::directory_iterator(corpus.path())) {
      const std::string text = ReadFile(seed.path());
      const std::string label = corpus.path().filename().string() + "/" + seed.path().filename().string();
      requests.push_back(Get(label + " as a query", text.substr(0, text.find('\0')), std::nullopt, Answer::Any));
      requests.push_back(Post(label + " as a body", std::to_string(text.size()), text, std::nullopt, Answer::Any));
    }
  }
  return requests;
}

// Every request of the tables and every fuzz seed sent to one FastCGI worker pool as well: each
// answer and status equals the CGI program's (apart from the PNG's time fields), and the pool
// serves on afterwards.
TEST(HostileRequestTest, TheFastCgiWorkerAnswersEachAsTheCgiDoes) {
  ScratchDirectory scratch("korvex-hostile-worker");
  const std::string address = "unix:" + (scratch.Path() / "korvex.sock").string();
  // The time bound is the server's guard; the sanitizer build is slower than any bound should be.
  LocalServer worker(FastCgiWorker(address, 2, scratch.Path() / "worker.log", {"--request-timeout", "120"}));
  ASSERT_TRUE(WaitForFastCgiSocket(address, std::chrono::seconds(10))) << worker.Log();

  std::vector<HostileCase> requests = FuzzSeedRequests();
  for (const auto& table : {LongDataRequests(), LimitRequests(), MalformedTextRequests(), EnvironmentRequests()}) {
    requests.insert(requests.end(), table.begin(), table.end());
  }
  for (const HostileCase& request : requests) {
    SCOPED_TRACE(request.label);
    const ProcessResult cgi = RunCgi(request.environment, request.body, kHangTimeout);
    const FastCgiResponse fcgi = SendFastCgiRequest(address, request.environment, request.body, kHangTimeout);
    ASSERT_TRUE(cgi.exited);
    ASSERT_TRUE(fcgi.completed) << fcgi.error;
    EXPECT_EQ(fcgi.appStatus, static_cast<uint32_t>(cgi.exitStatus));
    EXPECT_TRUE(WithoutPngTime(fcgi.output) == WithoutPngTime(cgi.output))
        << fcgi.output.size() << " bytes from the worker, " << cgi.output.size() << " from the CGI";
    EXPECT_EQ(fcgi.errorOutput, "");
  }
  EXPECT_TRUE(worker.Running());
  EXPECT_TRUE(SendFastCgiRequest(address, GetRequest("")).completed);
  std::printf("%zu requests answered by the worker as by the CGI\n", requests.size());
}

}  // namespace

namespace {

// The sanitizer runtime maps far more address space than these limits leave, so the test runs
// in the other builds only.
#if !defined(__SANITIZE_ADDRESS__)

// The virtual memory a process has mapped, in KiB, or 0 when it cannot be read.
long MappedKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
  }
  return 0;
}

// Memory that runs out part-way must never leave a PNG that is not whole behind its header:
// each answer is one a request can have, and the range of limits reaches the PNG writer, where
// the answer is code 3 and its page.
struct OutOfMemoryRuns {
  int images = 0;
  int refusedWithThree = 0;

  void Expect(const std::string& output, int status) {
    const std::string answer = AnswerOf(output, status);
    if (answer == "PNG") {
      EXPECT_EQ(status, 0);
      PngInfo png;
      std::string error;
      EXPECT_TRUE(ReadPngResponse(output, png, error)) << error;
      ++images;
    } else if (answer == "error page") {
      EXPECT_EQ(status, Result::PngInitFailed);
      ++refusedWithThree;
    } else {
      EXPECT_TRUE(answer == "exception page" || answer == "nothing") << answer << ", status " << status;
    }
  }
};

const std::string kLargeImageQuery = "w=699&h=699&debug=1&data=Memory+runs+out";

TEST(HostileRequestTest, MemoryRunningOutNeverGivesAPartialImage) {
  const auto runCgiWithin = [](int kib) {
    return RunProcess("/bin/sh", {"-c", "ulimit -v \"$1\" && exec \"$0\"", TestPaths::kCgi, std::to_string(kib)},
                      GetRequest(kLargeImageQuery), "");
  };
  // The least address space, in steps of 1 MiB, in which the program draws the image; how the
  // program is linked decides where that lies.
  int enough = 1024;
  while (enough < 256 * 1024 && AnswerOf(runCgiWithin(enough).output, 0) != "PNG") enough += 1024;
  OutOfMemoryRuns cgiRuns;
  for (int kib = std::max(1024, enough - 3072); kib <= enough; kib += 128) {
    SCOPED_TRACE("korvex.cgi within " + std::to_string(kib) + " KiB");
    const ProcessResult result = runCgiWithin(kib);
    // Too little to start at all shows as the shell's own failure to run it, or as a signal
    // before the program has written anything.
    if (!result.exited || result.exitStatus > Result::UnknownException) {
      EXPECT_EQ(result.output, "");
      continue;
    }
    cgiRuns.Expect(result.output, result.exitStatus);
  }
  EXPECT_GT(cgiRuns.refusedWithThree, 0) << "no limit reached the PNG writer";
  EXPECT_GT(cgiRuns.images, 0);

  // The worker process that serves is given a little more than it has mapped, step by step.
  ScratchDirectory scratch("korvex-out-of-memory");
  const std::string address = "unix:" + (scratch.Path() / "korvex.sock").string();
  LocalServer worker(FastCgiWorker(address, 1, scratch.Path() / "worker.log"));
  ASSERT_TRUE(WaitForFastCgiSocket(address, std::chrono::seconds(10))) << worker.Log();
  OutOfMemoryRuns workerRuns;
  for (long extraKiB = 0; extraKiB <= 6144; extraKiB += 128) {
    SCOPED_TRACE("korvex.fcgi with " + std::to_string(extraKiB) + " KiB more than it has");
    std::vector<pid_t> processes;
    for (int wait = 0; wait < 100 && (processes = ChildProcesses(worker.Pid())).size() != 1; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(processes.size(), 1u) << worker.Log();
    const rlimit limit{static_cast<rlim_t>(MappedKiB(processes[0]) + extraKiB) * 1024, RLIM_INFINITY};
    ASSERT_EQ(prlimit(processes[0], RLIMIT_AS, &limit, nullptr), 0);
    const FastCgiResponse response = SendFastCgiRequest(address, GetRequest(kLargeImageQuery));
    // A worker that cannot even keep its connection is replaced; it must not send half an image.
    if (response.completed) workerRuns.Expect(response.output, static_cast<int>(response.appStatus));
    else EXPECT_EQ(response.output.find("image/png"), std::string::npos);
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    prlimit(processes[0], RLIMIT_AS, &unlimited, nullptr);
  }
  EXPECT_GT(workerRuns.refusedWithThree, 0) << "no limit reached the PNG writer";
  EXPECT_GT(workerRuns.images, 0);
  EXPECT_TRUE(worker.Running());
  std::printf("out of memory: korvex.cgi %d images, %d refused with 3; korvex.fcgi %d images, %d refused with 3\n",
              cgiRuns.images, cgiRuns.refusedWithThree, workerRuns.images, workerRuns.refusedWithThree);
}

#endif

}  // namespace
