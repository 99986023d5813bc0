#include "fcgi/WorkerPool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <optional>

#include "fcgi/EventLog.h"

namespace korvex::internal {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kShortLife = std::chrono::seconds(1);
constexpr auto kRestartPause = std::chrono::milliseconds(200);
// A reload asks the next process to leave only once the successor of the one before has run this
// long: a new program that cannot serve ends within it, and the reload halts with the processes
// not yet replaced still serving.
constexpr auto kReloadProbation = std::chrono::milliseconds(200);

// What the pool waits for: its processes' ends, a stop, a reload.
constexpr int kPoolSignals[] = {SIGCHLD, SIGTERM, SIGINT, SIGHUP};

sigset_t PoolSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int waited : kPoolSignals) sigaddset(&signals, waited);
  return signals;
}

// Puts fd where the started program expects it, open across exec.
void PassOn(int fd, int target) {
  if (fd == target) {
    fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) & ~FD_CLOEXEC);
  } else {
    dup2(fd, target);
  }
}

struct Process {
  Clock::time_point started;
  std::size_t slot;
  unsigned generation;  // the reload it was started in
  bool leaving;         // asked to stop by a reload, its successor already running
  pid_t successor;      // that successor
};

class Pool {
 public:
  Pool(const PoolSetup& setup, PoolStatus& status, int statusFd,
       const std::function<int(std::size_t)>& serveInPlace)
      : setup_(setup), status_(status), statusFd_(statusFd), serveInPlace_(serveInPlace), signals_(PoolSignals()) {}

  int Run() {
    // The pool waits for its signals instead of handling them, so none is lost between checks.
    // The processes get the mask the program was started with, without what HoldPoolSignals
    // held back early.
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &signals_, &previous);
    for (const int waited : kPoolSignals) sigdelset(&previous, waited);
    previous_ = previous;
    for (int i = 0; i < setup_.processes; ++i) Start(std::nullopt);
    while (!stopping_) WaitForEvent();
    for (auto& [pid, process] : running_) kill(pid, SIGTERM);
    while (!running_.empty()) ReapOne(true);
    LogEvent(EventLevel::kNotice, "stopped");
    return 0;
  }

 private:
  std::optional<std::size_t> FreeSlot() const {
    for (std::size_t slot = 0; slot < PoolStatus::kSlots; ++slot) {
      if (status_.slots[slot].state.load() == ProcessSlot::kFree) return slot;
    }
    return std::nullopt;
  }

  // Starts a process, in place of `predecessor` when given. The program is run from its path
  // again, so that what was installed since is what runs.
  std::optional<pid_t> Start(std::optional<pid_t> predecessor) {
    const std::optional<std::size_t> slot = FreeSlot();
    if (!slot) {
      LogEvent(EventLevel::kError, "no free process slot");
      return std::nullopt;
    }
    std::vector<std::string> args = {setup_.program, kProcessSlotOption, std::to_string(*slot)};
    args.insert(args.end(), setup_.options.begin(), setup_.options.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    status_.slots[*slot].state = ProcessSlot::kIdle;
    const pid_t pool = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
      // The stop signals stay held, across exec, until the process first waits for a request,
      // so that a stop sent while it starts is not lost; a reload is the pool's alone.
      sigset_t held = previous_;
      sigaddset(&held, SIGTERM);
      sigaddset(&held, SIGINT);
      signal(SIGHUP, SIG_IGN);
      sigprocmask(SIG_SETMASK, &held, nullptr);
      // A process whose pool is gone (killed, so it could not pass the stop on) stops as well,
      // after the request it is serving; the setting outlives exec.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != pool) std::_Exit(0);
      PassOn(setup_.listenSocket, 0);
      PassOn(statusFd_, kStatusDescriptor);
      execv(setup_.program.c_str(), argv.data());
      LogEvent(EventLevel::kWarning, "cannot run " + setup_.program + " (" + std::strerror(errno) +
                                         "); this process serves with the program it was forked from");
      std::_Exit(serveInPlace_(*slot));
    }
    if (pid < 0) {
      status_.slots[*slot].state = ProcessSlot::kFree;
      LogEvent(EventLevel::kError, std::string("cannot start a process: ") + std::strerror(errno));
      pendingStarts_.push_back(predecessor);
      nextStart_ = Clock::now() + kRestartPause;
      return std::nullopt;
    }
    running_[pid] = Process{Clock::now(), *slot, generation_, false, 0};
    if (predecessor) {
      ++status_.replacements;
      LogEvent(EventLevel::kNotice,
               "process " + std::to_string(pid) + " started in place of " + std::to_string(*predecessor));
    }
    return pid;
  }

  // The earliest of the pending starts and the next step of a reload; none when nothing waits.
  std::optional<Clock::time_point> NextDeadline() const {
    std::optional<Clock::time_point> next = nextReplacement_;
    if (!pendingStarts_.empty() && (!next || nextStart_ < *next)) next = nextStart_;
    return next;
  }

  void WaitForEvent() {
    siginfo_t info;
    int signal = 0;
    if (const std::optional<Clock::time_point> next = NextDeadline()) {
      const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(*next - Clock::now());
      if (wait.count() <= 0) {
        if (!pendingStarts_.empty() && nextStart_ <= Clock::now()) StartPending();
        if (nextReplacement_ && *nextReplacement_ <= Clock::now()) {
          nextReplacement_.reset();
          ReplaceNextOld();
        }
        return;
      }
      const timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                             static_cast<long>(wait.count() % 1000000000)};
      signal = sigtimedwait(&signals_, &info, &timeout);
    } else {
      signal = sigwaitinfo(&signals_, &info);
    }
    if (signal == SIGTERM || signal == SIGINT) {
      LogEvent(EventLevel::kNotice, std::string("stopping on ") + (signal == SIGTERM ? "SIGTERM" : "SIGINT") +
                                        ": the processes finish their requests in flight");
      stopping_ = true;
    } else if (signal == SIGHUP) {
      Reload();
    } else if (signal == SIGCHLD) {
      while (ReapOne(false)) {
      }
    }
  }

  void StartPending() {
    std::deque<std::optional<pid_t>> pending;
    pending.swap(pendingStarts_);
    for (const std::optional<pid_t>& predecessor : pending) Start(predecessor);
  }

  void Reload() {
    ++generation_;
    reloadHalted_ = false;
    const std::size_t count = running_.size();
    LogEvent(EventLevel::kNotice, "reloading: replacing " + std::to_string(count) +
                                      (count == 1 ? " process" : " processes") + " one after another");
    if (nextReplacement_) return;  // a replacement is under way; it goes on to the others
    for (const auto& [pid, process] : running_) {
      if (process.leaving) return;
    }
    ReplaceNextOld();
  }

  // Asks the next process of an earlier generation to stop after its request in flight, and
  // starts its successor at once, so that the socket never lacks a process.
  void ReplaceNextOld() {
    if (reloadHalted_) return;
    for (auto& [pid, process] : running_) {
      if (process.generation < generation_ && !process.leaving) {
        process.leaving = true;
        kill(pid, SIGTERM);
        process.successor = Start(pid).value_or(0);
        return;
      }
    }
    LogEvent(EventLevel::kNotice, "reload complete");
  }

  bool Reloading() const {
    return std::any_of(running_.begin(), running_.end(),
                       [this](const auto& running) { return running.second.generation < generation_; });
  }

  // A process of the new program that ends at once stops the reload: the processes not yet
  // replaced serve on with the program they run.
  void HaltReload(pid_t pid) {
    if (reloadHalted_) return;
    reloadHalted_ = true;
    nextReplacement_.reset();
    LogEvent(EventLevel::kError, "reload halted: process " + std::to_string(pid) +
                                     " of the new program ended at once; the processes not yet replaced keep "
                                     "the program they run; send SIGHUP again once it is fixed");
  }

  // The next step once the leaving process has ended: after its successor's probation, or not at
  // all when that successor has ended already.
  void ScheduleNextReplacement(const Process& left) {
    const auto successor = running_.find(left.successor);
    if (successor == running_.end()) {
      HaltReload(left.successor);
      return;
    }
    nextReplacement_ = successor->second.started + kReloadProbation;
  }

  // What ended a process, and what it was doing then.
  std::string DescribeEnd(pid_t pid, const Process& process, int waitStatus) const {
    std::string text = "process " + std::to_string(pid);
    if (WIFEXITED(waitStatus)) {
      text += " exited with status " + std::to_string(WEXITSTATUS(waitStatus));
    } else if (WTERMSIG(waitStatus) == SIGALRM) {
      text += " ended by the request time bound (" + std::to_string(setup_.requestTimeoutSeconds) + " s)";
    } else {
      const int signal = WTERMSIG(waitStatus);
      text += " killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    }
    const double lived = std::chrono::duration<double>(Clock::now() - process.started).count();
    char after[48];
    std::snprintf(after, sizeof after, " after %.1f s from its start", lived);
    text += after;
    const ProcessSlot& slot = status_.slots[process.slot];
    const uint32_t state = slot.state.load();
    if (state == ProcessSlot::kServing) {
      text += " while serving " + EscapedForLog(slot.method) + " " + QuotedForLog(slot.query);
      if (slot.contentLength[0] != '\0') text += " with a body of " + EscapedForLog(slot.contentLength) + " bytes";
    } else if (state == ProcessSlot::kReading) {
      text += " while reading a request";
    }
    return text;
  }

  // Reaps one ended process (waiting for one when block is set), logs its end and replaces it
  // unless the pool is stopping or a reload has replaced it already. False when there was none.
  bool ReapOne(bool block) {
    int waitStatus = 0;
    const pid_t pid = waitpid(-1, &waitStatus, block ? 0 : WNOHANG);
    if (pid <= 0) {
      if (pid < 0 && errno == ECHILD) running_.clear();
      return false;
    }
    const auto found = running_.find(pid);
    if (found == running_.end()) return true;
    const Process process = found->second;
    running_.erase(found);
    const bool timeBound = WIFSIGNALED(waitStatus) && WTERMSIG(waitStatus) == SIGALRM;
    const bool expected = (stopping_ || process.leaving) && WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
    if (timeBound) ++status_.timeBoundEnds;
    LogEvent(expected ? EventLevel::kNotice : EventLevel::kWarning, DescribeEnd(pid, process, waitStatus));
    status_.slots[process.slot].state = ProcessSlot::kFree;
    if (stopping_) return true;
    const bool shortLived = Clock::now() - process.started < kShortLife;
    if (process.leaving) {
      ScheduleNextReplacement(process);
    } else if (shortLived) {
      if (process.generation == generation_ && Reloading()) HaltReload(pid);
      if (pendingStarts_.empty()) nextStart_ = Clock::now() + kRestartPause;
      pendingStarts_.push_back(pid);
    } else {
      Start(pid);
    }
    return true;
  }

  const PoolSetup& setup_;
  PoolStatus& status_;
  const int statusFd_;
  const std::function<int(std::size_t)>& serveInPlace_;
  const sigset_t signals_;
  sigset_t previous_{};
  std::map<pid_t, Process> running_;
  std::deque<std::optional<pid_t>> pendingStarts_;
  Clock::time_point nextStart_{};
  std::optional<Clock::time_point> nextReplacement_;
  bool reloadHalted_ = false;
  unsigned generation_ = 0;
  bool stopping_ = false;
};

}  // namespace

void HoldPoolSignals() {
  const sigset_t signals = PoolSignals();
  sigprocmask(SIG_BLOCK, &signals, nullptr);
}

int RunWorkerPool(const PoolSetup& setup, PoolStatus& status, int statusFd,
                  const std::function<int(std::size_t)>& serveInPlace) {
  return Pool(setup, status, statusFd, serveInPlace).Run();
}

}  // namespace korvex::internal
