#pragma once

#include <string>
#include <vector>

// One finished run of a program as a web server would start it: the given environment only,
// standard input empty, standard output collected through a pipe.
struct ChildRun {
  bool started = false;
  int exitStatus = -1;         // -1 unless the program exited normally
  std::string output;          // everything written to standard output
  double wallMicroseconds = 0;  // from just before the spawn to the reaped exit
  double cpuMicroseconds = 0;   // user plus system time of the child
};

ChildRun RunChild(const std::string& program, const std::vector<std::string>& environment);

// The CGI variables of a GET request with the given query string.
std::vector<std::string> GetRequestEnvironment(const std::string& query);
