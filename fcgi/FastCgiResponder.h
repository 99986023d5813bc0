#pragma once

#include <cstddef>

#include "fcgi/PoolStatus.h"
#include "fcgi/WorkerOptions.h"

namespace korvex::internal {

// One worker process: accepts FastCGI requests on the listening socket, one at a time, and
// answers each with the response the CGI program makes (RespondToRequest), or with the pool's
// counters for the status path. Returns when asked to stop (SIGTERM or SIGINT, after the request
// in flight is answered) or when the socket fails. A request running longer than the request
// timeout ends the process (SIGALRM); a kept connection idle for the idle timeout is closed.
// The process's slot in the shared status says what it is doing.
int ServeFastCgiRequests(int listenSocket, const WorkerOptions& options, PoolStatus& status, std::size_t slot);

}  // namespace korvex::internal
