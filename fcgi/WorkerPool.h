#pragma once

#include <functional>

// Runs `workers` processes that each call serveRequests() and keeps that many running: a
// process that ends is replaced at once (after a short pause when it lived under a second, so a
// process that cannot serve does not make the pool fork without rest). SIGTERM or SIGINT are
// passed on to every worker; when all have finished their requests in flight and ended, the
// pool returns 0.
int RunWorkerPool(int workers, const std::function<int()>& serveRequests);
