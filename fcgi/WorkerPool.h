#pragma once

#include <functional>
#include <string>
#include <vector>

#include "fcgi/PoolStatus.h"

namespace korvex::internal {

// What a process of the pool is started with. It is forked and then runs `program` anew, so
// that a replacement takes up the binary and libraries on disk now: argv is the program,
// kProcessSlotOption and its slot number, then the pool's options. The listening socket is its
// standard input and the shared status is kStatusDescriptor.
inline constexpr char kProcessSlotOption[] = "--process-slot";
inline constexpr int kStatusDescriptor = 3;

struct PoolSetup {
  int processes;
  std::string program;
  std::vector<std::string> options;
  int listenSocket;
  int requestTimeoutSeconds;  // named in the log when it ends a process
};

// Runs setup.processes processes and keeps that many running: a process that ends is replaced
// at once (after a short pause when it lived under a second, so a process that cannot serve does
// not make the pool fork without rest), and its end logged with its cause and the request it
// was serving. SIGHUP replaces every process, one after another: each is asked to stop after
// its request in flight, its successor already started; a successor that ends at once halts the
// reload, leaving the processes not yet replaced. SIGTERM or SIGINT are passed on to
// every process; when all have finished their requests in flight and ended, the pool returns 0.
// A process whose program cannot be run serves with the code it was forked from, through
// serveInPlace(slot).
int RunWorkerPool(const PoolSetup& setup, PoolStatus& status, int statusFd,
                  const std::function<int(std::size_t slot)>& serveInPlace);

// Holds back the signals that the pool waits for from here on, so that a reload or a stop sent
// while the program starts waits for the pool instead of ending it.
void HoldPoolSignals();

}  // namespace korvex::internal
