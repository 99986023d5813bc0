// The response stream failing under the PNG writer: a full device, and a stream that takes only
// the first n bytes, so that libpng's writes fail at every point of the stream. The run must end
// with the status it would have had (write errors cannot be reported), with what arrived being
// the start of the response, without a crash and (under LeakSanitizer) without a leak; the real
// program as well.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cgi/CgiRequest.h"
#include "support/CgiProcess.h"
#include "support/HandleRequest.h"
#include "support/Paths.h"
#include "support/PngReader.h"

using namespace korvex::internal;

namespace {

const std::string kPngHeader = "Content-type: image/png\n\n";

CgiEnvironment Get(const std::string& query) { return {std::string("GET"), query, std::nullopt}; }

// The response as the handler writes it to a stream without limits.
std::string FullResponse(const CgiEnvironment& environment, int& status) {
  char* buffer = nullptr;
  size_t length = 0;
  FILE* output = open_memstream(&buffer, &length);
  status = HandleRequest(environment, nullptr, output);
  std::fclose(output);
  std::string response(buffer, length);
  std::free(buffer);
  return response;
}

// A stream that takes the first capacity bytes and fails every write after them.
struct LimitedSink {
  std::string data;
  size_t capacity;
};

ssize_t WriteToSink(void* cookie, const char* bytes, size_t size) {
  auto& sink = *static_cast<LimitedSink*>(cookie);
  const size_t taken = std::min(size, sink.capacity - sink.data.size());
  sink.data.append(bytes, taken);
  if (taken == 0) errno = ENOSPC;
  return static_cast<ssize_t>(taken);
}

// The handler writing into a sink of capacity bytes, unbuffered, so that the first write that
// does not fit fails at once. Returns what arrived.
std::string CutResponse(const CgiEnvironment& environment, size_t capacity, int& status) {
  LimitedSink sink{"", capacity};
  FILE* output = fopencookie(&sink, "w", {nullptr, WriteToSink, nullptr, nullptr});
  if (output == nullptr) {
    status = -1;
    return "";
  }
  std::setvbuf(output, nullptr, _IONBF, 0);
  status = HandleRequest(environment, nullptr, output);
  std::fclose(output);
  return sink.data;
}

TEST(OutputFailureTest, FullDeviceEndsEveryAnswerWithItsStatus) {
  struct Case {
    const char* query;
    int status;
  };
  const Case cases[] = {{"", 0}, {"w=699&h=699&bcolor=ff0000", 0}, {"help=1", 0}, {"debug=1&qsize=-1", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(HandleRequest(Get(c.query), nullptr, full), c.status);
    EXPECT_TRUE(std::ferror(full));
    std::fclose(full);
  }
}

TEST(OutputFailureTest, PngCutAtEveryPointEndsQuietly) {
  const CgiEnvironment request = Get("w=300&h=200&data=Cut+anywhere+in+the+stream&bcolor=204080");
  int fullStatus = -1;
  const std::string full = FullResponse(request, fullStatus);
  ASSERT_EQ(fullStatus, 0);
  PngInfo png;
  ASSERT_TRUE(ReadPng(full.substr(kPngHeader.size()), png));

  // Every byte within the header and the first chunks, then steps through the image data.
  size_t tried = 0;
  for (size_t capacity = 0; capacity < full.size(); capacity += capacity < 200 ? 1 : 61) {
    SCOPED_TRACE("stream takes " + std::to_string(capacity) + " bytes");
    int status = -1;
    const std::string cut = CutResponse(request, capacity, status);
    EXPECT_EQ(status, 0);
    ASSERT_LE(cut.size(), capacity);
    // What arrived is the start of the response; tIME and the creation time may differ by a
    // second, so only the bytes before them are compared.
    const size_t comparable = std::min(cut.size(), kPngHeader.size() + 8 + 25 + 16);
    EXPECT_EQ(cut.substr(0, comparable), full.substr(0, comparable));
    EXPECT_FALSE(ReadPng(cut.size() > kPngHeader.size() ? cut.substr(kPngHeader.size()) : "", png))
        << "a cut stream must not read as a whole PNG";
    ++tried;
  }
  EXPECT_GT(tried, 200u);
}

// The real program with its standard output on a full device: no crash and no sanitizer report.
TEST(OutputFailureTest, ProgramWritingToAFullDeviceEndsNormally) {
  const std::vector<std::string> queries = {"", "w=699&h=699", "help=1", "debug=1&w=1&h=1"};
  for (const std::string& query : queries) {
    SCOPED_TRACE(query);
    const ProcessResult result = RunProcess("/bin/sh", {"-c", "exec \"$0\" >/dev/full", TestPaths::kCgi},
                                            {{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "");
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.exited) << "signal " << result.signal;
    EXPECT_EQ(result.errorOutput, "");
    EXPECT_EQ(result.exitStatus, query.rfind("debug", 0) == 0 ? 4 : 0);
  }
}

}  // namespace
