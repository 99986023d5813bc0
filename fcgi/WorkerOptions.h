#pragma once

#include <optional>
#include <string>
#include <vector>

// How korvex.fcgi was asked to run.
struct WorkerOptions {
  // "unix:PATH" or "HOST:PORT"; empty: accept on the socket the program was started with (fd 0).
  std::string listen;
  int workers = 1;  // processes on the one socket; the parser's default is the number of cores
  // A request still running after this many seconds ends its process, which is replaced.
  int requestTimeoutSeconds = 10;
};

// The options of argv[1..], or nothing with *error saying what is wrong.
std::optional<WorkerOptions> ParseWorkerOptions(const std::vector<std::string>& args, std::string* error);

// What --help prints.
extern const char kWorkerUsage[];
