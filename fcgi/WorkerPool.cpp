#include "fcgi/WorkerPool.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kShortLife = std::chrono::seconds(1);
constexpr auto kRestartPause = std::chrono::milliseconds(200);

sigset_t PoolSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGCHLD);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

class Pool {
 public:
  Pool(int workers, const std::function<int()>& serveRequests)
      : workers_(workers), serveRequests_(serveRequests), signals_(PoolSignals()) {}

  int Run() {
    // The pool waits for its signals instead of handling them, so none is lost between checks.
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &signals_, &previous);
    previous_ = previous;
    for (int i = 0; i < workers_; ++i) Start();
    while (!stopping_) WaitForEvent();
    for (const auto& worker : running_) kill(worker.first, SIGTERM);
    while (!running_.empty()) ReapOne(true);
    return 0;
  }

 private:
  void Start() {
    const pid_t pool = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
      sigprocmask(SIG_SETMASK, &previous_, nullptr);
      // A worker whose pool is gone (killed, so it could not pass the stop on) stops as well,
      // after the request it is serving.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != pool) std::_Exit(0);
      std::_Exit(serveRequests_());
    }
    if (pid < 0) {
      std::perror("korvex.fcgi: fork");
      ++pendingStarts_;
      nextStart_ = Clock::now() + kRestartPause;
      return;
    }
    running_[pid] = Clock::now();
  }

  void WaitForEvent() {
    siginfo_t info;
    int signal = 0;
    if (pendingStarts_ > 0) {
      const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(nextStart_ - Clock::now());
      if (wait.count() <= 0) {
        StartPending();
        return;
      }
      const timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                             static_cast<long>(wait.count() % 1000000000)};
      signal = sigtimedwait(&signals_, &info, &timeout);
    } else {
      signal = sigwaitinfo(&signals_, &info);
    }
    if (signal == SIGTERM || signal == SIGINT) {
      stopping_ = true;
    } else if (signal == SIGCHLD) {
      while (ReapOne(false)) {
      }
    }
  }

  void StartPending() {
    for (; pendingStarts_ > 0; --pendingStarts_) Start();
  }

  // Reaps one ended worker (waiting for one when block is set) and replaces it unless the pool
  // is stopping. False when there was none.
  bool ReapOne(bool block) {
    int status = 0;
    const pid_t pid = waitpid(-1, &status, block ? 0 : WNOHANG);
    if (pid <= 0) {
      if (pid < 0 && errno == ECHILD) running_.clear();
      return false;
    }
    const auto worker = running_.find(pid);
    if (worker == running_.end()) return true;
    const bool shortLived = Clock::now() - worker->second < kShortLife;
    running_.erase(worker);
    if (stopping_) return true;
    if (shortLived) {
      if (pendingStarts_ == 0) nextStart_ = Clock::now() + kRestartPause;
      ++pendingStarts_;
    } else {
      Start();
    }
    return true;
  }

  const int workers_;
  const std::function<int()>& serveRequests_;
  const sigset_t signals_;
  sigset_t previous_{};
  std::map<pid_t, Clock::time_point> running_;
  int pendingStarts_ = 0;
  Clock::time_point nextStart_{};
  bool stopping_ = false;
};

}  // namespace

int RunWorkerPool(int workers, const std::function<int()>& serveRequests) {
  return Pool(workers, serveRequests).Run();
}
