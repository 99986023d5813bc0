#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/CgiProcess.h"

// A PATH with only the system directories, so a server finds the installed programs and nothing
// from the developer's own setup.
inline constexpr const char* kSystemPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// A loopback port that nothing listens on right now, or -1.
int FreePort();

// True when something accepts connections on the loopback port.
bool Accepting(int port);

// The whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// How to start one server process and how to stop it again.
struct LocalServerOptions {
  std::vector<std::string> argv;  // argv[0] is the program's full path
  // The server's whole environment; the test's own when not given.
  std::optional<std::vector<EnvironmentVariable>> environment;
  std::filesystem::path log;  // standard output and error; standard input is /dev/null
  // A server with workers or children of its own runs in a process group of its own, so that
  // the stop signals reach all of them and nothing outlives the test.
  bool ownProcessGroup = false;
  int stopSignal = SIGTERM;  // reset to its default action in the server
  std::chrono::milliseconds stopTimeout = std::chrono::seconds(5);  // then SIGKILL
};

// A server process running in the background for the length of a test; stopped on destruction.
class LocalServer {
 public:
  explicit LocalServer(LocalServerOptions options);
  ~LocalServer();
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  // False once the process has ended (or never started); reaps it.
  bool Running();

  // Sends the stop signal and waits up to the stop timeout; then SIGKILL (with its own process
  // group, SIGKILL always goes to whatever is left of the group). True when the server ended by
  // itself in time, or had already ended.
  bool Stop();

  // Ends the server at once with SIGKILL (its whole group, when it has one of its own), as a
  // machine that fails would end it; nothing of it gets to finish or clean up.
  void Kill();

  std::string Log() const { return ReadFile(options_.log); }
  pid_t Pid() const { return pid_; }

 private:
  bool WaitForExit(std::chrono::milliseconds timeout);

  LocalServerOptions options_;
  pid_t pid_ = -1;
  pid_t group_ = -1;
};

// Waits until the loopback port accepts connections, giving up as soon as one of the servers
// has ended. True when the port accepts while every server still runs.
bool WaitUntilAccepting(int port, const std::vector<LocalServer*>& servers, std::chrono::milliseconds timeout);

// scripts/run-server.sh on the port, as `make run` starts it, with the built program, its state
// in stateDir and its output in log; stopped with SIGINT as Ctrl-C would, killed when it is
// still there ten seconds later.
LocalServerOptions RunServerScript(int port, const std::filesystem::path& stateDir, const std::filesystem::path& log);

// The built korvex.fcgi listening on address ("unix:PATH" or "HOST:PORT") with the given number
// of worker processes and any further arguments; output in log.
LocalServerOptions FastCgiWorker(const std::string& address, int workers, const std::filesystem::path& log,
                                 const std::vector<std::string>& moreArgs = {});

// The process ids of the direct children of a process (a worker pool's workers).
std::vector<pid_t> ChildProcesses(pid_t parent);
