// In-process cost of whole requests: the request handler that both korvex.cgi and korvex.fcgi
// run, called again and again in one process with its response written to /dev/null. This is
// what a persistent worker cannot go below, so the number of cores divided by it is the most
// requests per second that any front end can get out of this machine.
//
// Usage: handler-cost [--seconds S] NAME...   (names of BenchRequests::NamedQuery; NAME+http
// serves the request with every HTTP option on, as korvex.fcgi --http-errors --max-age
// --allow-origin does)
// Prints one line per request: NAME, CPU µs per request, wall µs per request, each the median
// of short batches that take turns between the requests, so that a change of background load
// falls on all of them.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "BenchRequests.h"
#include "cgi/HttpAnswer.h"
#include "cgi/CgiRequest.h"

using namespace korvex::internal;

namespace {

constexpr double kBatchSeconds = 0.05;

double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Request {
  std::string name;
  CgiEnvironment environment;
  std::optional<HttpOptions> http;  // served through the HTTP answers with these options
  int batchRequests = 1;  // sized in the warm-up to last about kBatchSeconds
  std::vector<double> cpuPerRequest;
  std::vector<double> wallPerRequest;
};

bool Serve(const Request& request, FILE* sink) {
  static const HttpOptions kNone;
  const HttpOptions& options = request.http ? *request.http : kNone;
  const CgiResponse response = RespondToRequest(request.environment, HttpRequestHeaders(), options, ReaderOf(stdin));
  WriteResponse(response, sink);
  return response.status == 0;
}

const std::string kHttpSuffix = "+http";

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 1;
  std::vector<Request> requests;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
      continue;
    }
    const std::size_t nameLength = argument.size() - std::min(argument.size(), kHttpSuffix.size());
    const bool http = nameLength > 0 && argument.compare(nameLength, std::string::npos, kHttpSuffix) == 0;
    const std::optional<std::string> query =
        BenchRequests::NamedQuery(http ? argument.substr(0, nameLength) : argument);
    if (!query) {
      std::fprintf(stderr, "handler-cost: no request named '%s'\n", argument.c_str());
      return 2;
    }
    Request request;
    request.name = argument;
    request.environment.requestMethod = "GET";
    request.environment.queryString = *query;
    if (http) {
      request.http = HttpOptions();
      request.http->errorStatuses = true;
      request.http->maxAgeSeconds = 3600;
      request.http->maxAgeGiven = true;
      request.http->allowOrigin = "*";
    }
    requests.push_back(request);
  }
  if (requests.empty() || !(seconds > 0)) {
    std::fprintf(stderr, "usage: %s [--seconds S] NAME...\n", argv[0]);
    return 2;
  }
  FILE* sink = std::fopen("/dev/null", "wb");
  if (sink == nullptr) {
    std::perror("handler-cost: /dev/null");
    return 1;
  }

  // Warm-up: caches, the allocator's arenas, and a batch size for each request.
  for (Request& request : requests) {
    const double start = Seconds(CLOCK_MONOTONIC);
    int served = 0;
    while (Seconds(CLOCK_MONOTONIC) - start < kBatchSeconds) {
      if (!Serve(request, sink)) {
        std::fprintf(stderr, "handler-cost: request '%s' failed\n", request.name.c_str());
        return 1;
      }
      ++served;
    }
    request.batchRequests = std::max(1, served);
  }

  const int rounds = std::max(3, static_cast<int>(seconds / kBatchSeconds / static_cast<double>(requests.size())));
  for (int round = 0; round < rounds; ++round) {
    for (Request& request : requests) {
      const double cpuStart = Seconds(CLOCK_PROCESS_CPUTIME_ID);
      const double wallStart = Seconds(CLOCK_MONOTONIC);
      for (int i = 0; i < request.batchRequests; ++i) {
        Serve(request, sink);
      }
      const double perRequest = 1e6 / static_cast<double>(request.batchRequests);
      request.cpuPerRequest.push_back((Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart) * perRequest);
      request.wallPerRequest.push_back((Seconds(CLOCK_MONOTONIC) - wallStart) * perRequest);
    }
  }
  std::fclose(sink);

  for (const Request& request : requests) {
    std::printf("%s %.1f %.1f\n", request.name.c_str(), Median(request.cpuPerRequest),
                Median(request.wallPerRequest));
  }
  return 0;
}
