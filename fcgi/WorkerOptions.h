#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cgi/HttpAnswer.h"
#include "request/RequestHandler.h"
#include "result/Status.h"

namespace korvex::internal {

// How korvex.fcgi was asked to run.
struct WorkerOptions {
  // "unix:PATH" or "HOST:PORT"; empty: accept on the socket the program was started with (fd 0).
  std::string listen;
  int workers = 1;  // processes on the one socket; the parser's default is the number of cores
  // A request still running after this many seconds ends its process, which is replaced.
  int requestTimeoutSeconds = 10;
  // A kept connection with no request for this long is closed, so that it cannot pin a process.
  int idleTimeoutSeconds = 10;
  // A request for this path (SCRIPT_NAME or DOCUMENT_URI) answers the pool's counters; empty: none.
  std::string statusPath;
  // Permissions and group of a unix socket (--listen unix:PATH); the group of the worker when
  // not given.
  mode_t socketMode = 0660;
  std::optional<gid_t> socketGroup;
  // What the handler bounds beyond the parameters. --max-pixels can only lower its pixel cap,
  // the raster cap (64 MiB at 3 bytes per pixel).
  RequestLimits limits;
  // HTTP statuses and error bodies (--http-errors), caching headers (--max-age, and on with any
  // of these) and CORS (--allow-origin); all off by default.
  HttpOptions http;
};

// The options of argv[1..], or InvalidArgument saying what is wrong.
StatusOr<WorkerOptions> ParseWorkerOptions(const std::vector<std::string>& args);

// The options as the start of the log names them.
std::string DescribeWorkerOptions(const WorkerOptions& options);

// What --help prints.
extern const char kWorkerUsage[];

}  // namespace korvex::internal
