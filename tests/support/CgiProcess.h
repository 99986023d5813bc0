#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

// Name and value of one environment variable.
using EnvironmentVariable = std::pair<std::string, std::string>;

// What a finished child process left behind.
struct ProcessResult {
  bool started = false;      // fork and exec succeeded
  bool timedOut = false;     // killed after the timeout
  bool exited = false;       // ended through exit (not by a signal)
  int exitStatus = -1;       // the exit status when exited
  int signal = 0;            // the terminating signal otherwise
  std::string output;        // every byte written to standard output
  std::string errorOutput;   // every byte written to standard error
};

// "NAME=value" for each variable, as exec takes an environment.
std::vector<std::string> EnvironmentEntries(const std::vector<EnvironmentVariable>& environment);

// Pointers to the strings and a final nullptr, as exec takes argv and envp; valid as long as
// the strings stay unchanged.
std::vector<char*> NullTerminated(std::vector<std::string>& strings);

// Runs program with args (argv[1]...) and exactly the given environment (nothing inherited),
// feeds input to its standard input, then closes it, and collects both output streams. A
// child still running after timeout is killed.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<EnvironmentVariable>& environment, const std::string& input,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Runs the built CGI program as a web server would: the given CGI variables only, the
// request body on standard input.
ProcessResult RunCgi(const std::vector<EnvironmentVariable>& environment, const std::string& input = "",
                     std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Runs the built command-line program with args, nothing in its environment, input on its
// standard input.
ProcessResult RunCli(const std::vector<std::string>& args, const std::string& input = "",
                     std::chrono::milliseconds timeout = std::chrono::seconds(20));
