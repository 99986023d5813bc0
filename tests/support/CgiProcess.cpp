#include "CgiProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

#include "Paths.h"

namespace {

// Both ends of a pipe, closed on destruction.
class Pipe {
 public:
  Pipe() {
    if (pipe2(fds_.data(), O_CLOEXEC) != 0) {
      fds_ = {-1, -1};
    }
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  bool Valid() const { return fds_[0] >= 0 && fds_[1] >= 0; }
  int Read() const { return fds_[0]; }
  int Write() const { return fds_[1]; }
  void CloseRead() { Close(fds_[0]); }
  void CloseWrite() { Close(fds_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) {
      close(fd);
      fd = -1;
    }
  }
  std::array<int, 2> fds_{-1, -1};
};

// A child that exits without reading its input must not kill the test with SIGPIPE; the
// write then fails with EPIPE instead.
void IgnoreBrokenPipes() {
  static const bool ignored = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)ignored;
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void ExecChild(Pipe& in, Pipe& out, Pipe& err, const char* program, char* const* argv,
                            char* const* envp) {
  signal(SIGPIPE, SIG_DFL);
  if (dup2(in.Read(), STDIN_FILENO) < 0 || dup2(out.Write(), STDOUT_FILENO) < 0 ||
      dup2(err.Write(), STDERR_FILENO) < 0) {
    _exit(127);
  }
  execve(program, argv, envp);
  _exit(127);
}

long RemainingMilliseconds(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<long>(left.count()) : 0;
}

// Feeds input and drains both outputs until the child closes them or the deadline passes.
// Returns false on timeout.
bool Exchange(Pipe& in, Pipe& out, Pipe& err, const std::string& input, ProcessResult& result,
              std::chrono::steady_clock::time_point deadline) {
  size_t written = 0;
  if (input.empty()) {
    in.CloseWrite();
  }
  while (out.Read() >= 0 || err.Read() >= 0) {
    std::array<pollfd, 3> fds{{{in.Write(), POLLOUT, 0}, {out.Read(), POLLIN, 0}, {err.Read(), POLLIN, 0}}};
    const long wait = RemainingMilliseconds(deadline);
    if (wait == 0) {
      return false;
    }
    const int ready = poll(fds.data(), fds.size(), static_cast<int>(wait));
    if (ready == 0 || (ready < 0 && errno == EINTR)) {
      continue;
    }
    if (ready < 0) {
      return false;
    }
    if (fds[0].revents != 0) {
      const ssize_t n = write(in.Write(), input.data() + written, input.size() - written);
      if (n > 0) {
        written += static_cast<size_t>(n);
      }
      if (n < 0 || written == input.size()) {
        in.CloseWrite();  // EPIPE: the child stopped reading, which is its right
      }
    }
    std::array<std::pair<Pipe*, std::string*>, 2> sinks{{{&out, &result.output}, {&err, &result.errorOutput}}};
    for (size_t i = 0; i < sinks.size(); ++i) {
      if (fds[i + 1].revents == 0) {
        continue;
      }
      std::array<char, 65536> buffer;
      const ssize_t n = read(sinks[i].first->Read(), buffer.data(), buffer.size());
      if (n > 0) {
        sinks[i].second->append(buffer.data(), static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        sinks[i].first->CloseRead();
      }
    }
  }
  return true;
}

// Waits for the child to end without reaping it; false when the deadline passes first.
bool AwaitExit(pid_t pid, std::chrono::steady_clock::time_point deadline) {
  siginfo_t info{};
  while (true) {
    info.si_pid = 0;
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
      return true;
    }
    if (RemainingMilliseconds(deadline) == 0) {
      return false;
    }
    usleep(2000);
  }
}

}  // namespace

std::vector<std::string> EnvironmentEntries(const std::vector<EnvironmentVariable>& environment) {
  std::vector<std::string> entries;
  for (const auto& [name, value] : environment) {
    entries.push_back(name + "=" + value);
  }
  return entries;
}

std::vector<char*> NullTerminated(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<EnvironmentVariable>& environment, const std::string& input,
                         std::chrono::milliseconds timeout) {
  IgnoreBrokenPipes();
  ProcessResult result;
  if (access(program.c_str(), X_OK) != 0) {
    return result;
  }

  // Everything the child needs is built before fork.
  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  const std::vector<char*> argv = NullTerminated(argStrings);
  std::vector<std::string> envStrings = EnvironmentEntries(environment);
  const std::vector<char*> envp = NullTerminated(envStrings);

  Pipe in;
  Pipe out;
  Pipe err;
  if (!in.Valid() || !out.Valid() || !err.Valid()) {
    return result;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    return result;
  }
  if (pid == 0) {
    ExecChild(in, out, err, program.c_str(), argv.data(), envp.data());
  }
  in.CloseRead();
  out.CloseWrite();
  err.CloseWrite();

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  result.started = true;
  result.timedOut = !Exchange(in, out, err, input, result, deadline) || !AwaitExit(pid, deadline);
  int status = 0;
  if (result.timedOut) {
    kill(pid, SIGKILL);
  }
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exited = true;
    result.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

ProcessResult RunCgi(const std::vector<EnvironmentVariable>& environment, const std::string& input,
                     std::chrono::milliseconds timeout) {
  return RunProcess(TestPaths::kCgi, {}, environment, input, timeout);
}

ProcessResult RunCli(const std::vector<std::string>& args, const std::string& input,
                     std::chrono::milliseconds timeout) {
  return RunProcess(TestPaths::kCli, args, {}, input, timeout);
}
