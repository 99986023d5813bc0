#include "fcgi/FastCgiResponder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <string>
#include <string_view>

#include <fcgiapp.h>

#include "cgi/CgiRequest.h"
#include "cgi/HttpAnswer.h"

namespace korvex::internal {

namespace {

constexpr int kStatusStopped = 0;
constexpr int kStatusSocketFailed = 3;

std::optional<std::string> Parameter(const FCGX_Request& request, const char* name) {
  const char* value = FCGX_GetParam(name, request.envp);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

bool IsStatusRequest(const FCGX_Request& request, const std::string& statusPath) {
  if (statusPath.empty()) return false;
  const std::optional<std::string> script = Parameter(request, "SCRIPT_NAME");
  const std::optional<std::string> document = Parameter(request, "DOCUMENT_URI");
  return script == statusPath || document == statusPath;
}

// "json" among the query's parameters (json, json=1), as php-fpm's status page takes it.
bool AsksForJson(const std::string& query) {
  for (std::size_t start = 0; start <= query.size();) {
    const std::size_t end = std::min(query.find('&', start), query.size());
    const std::string_view name = std::string_view(query).substr(start, end - start);
    if (name == "json" || name.rfind("json=", 0) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The pool's counters; never cached, since each answer is of its moment.
void RespondWithStatus(FCGX_Request& request, const PoolStatus& status) {
  const bool json = AsksForJson(Parameter(request, "QUERY_STRING").value_or(""));
  const std::string answer = std::string("Content-Type: ") +
                             (json ? "application/json" : "text/plain; charset=utf-8") +
                             "\nCache-Control: no-store\n\n" + status.Describe(json);
  FCGX_PutStr(answer.data(), static_cast<int>(answer.size()), request.out);
}

// The request's body, read as the CGI program reads its standard input: no more than asked for.
InputReader ReaderOf(FCGX_Stream* in) {
  return [in](char* buffer, std::size_t size) -> std::size_t {
    const int got = FCGX_GetStr(buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), in);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  };
}

// A client that went away makes the write fail; the request ends all the same. Every response
// is far below 2 GiB: the largest, a PNG, comes from a raster capped at 64 MiB.
void Put(const std::string& bytes, FCGX_Stream* out) { FCGX_PutStr(bytes.data(), static_cast<int>(bytes.size()), out); }

// The response is the CGI program's, byte for byte, and its exit status goes out as the
// request's application status.
int Respond(FCGX_Request& request, const RequestLimits& limits, const HttpOptions& http) {
  const CgiVariables variable = [&request](const char* name) { return FCGX_GetParam(name, request.envp); };
  const CgiResponse response = RespondToRequest(ReadCgiEnvironment(variable), ReadHttpRequestHeaders(variable), http,
                                                ReaderOf(request.in), limits);
  Put(response.head, request.out);
  Put(response.body, request.out);
  FCGX_SetExitStatus(response.status, request.out);
  return response.status;
}

// libfcgi leaves what a request did not read of its standard input in a kept connection, where
// the next request's start would find it and take it for a protocol error, dropping the
// connection (a GET's empty input record that arrives after its parameters is enough). So the
// rest is read and dropped, up to a bound; a request with more left over loses its connection
// instead. The request's time bound still runs.
void DiscardUnreadInput(FCGX_Request& request) {
  constexpr int kMaxDiscardedBytes = 1 << 20;
  if (!request.keepConnection || request.in == nullptr) return;
  char buffer[4096];
  for (int discarded = 0; discarded <= kMaxDiscardedBytes;) {
    const int read = FCGX_GetStr(buffer, sizeof buffer, request.in);
    if (read <= 0) return;
    discarded += read;
  }
  request.keepConnection = 0;
}

// One accepted request, counted, and recorded in the process's slot for the pool to name should
// the process die serving it.
void Serve(FCGX_Request& request, const WorkerOptions& options, PoolStatus& status, ProcessSlot& slot) {
  ++status.accepted;
  slot.Record(Parameter(request, "REQUEST_METHOD").value_or(""), Parameter(request, "QUERY_STRING").value_or(""),
              Parameter(request, "CONTENT_LENGTH").value_or(""));
  slot.state = ProcessSlot::kServing;
  int exitStatus = 0;
  if (IsStatusRequest(request, options.statusPath)) {
    RespondWithStatus(request, status);
  } else {
    exitStatus = Respond(request, options.limits, options.http);
  }
  ++status.byExitStatus[static_cast<unsigned>(exitStatus) % PoolStatus::kExitStatuses];
}

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

void InstallSignalHandlers() {
  struct sigaction stop {};
  stop.sa_handler = RequestStop;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  // A client that leaves makes writes fail instead of ending the process.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGALRM, SIG_DFL);
  // A reload is the pool's business; a process group signal must not end a process.
  signal(SIGHUP, SIG_IGN);
}

enum class Wait { kReady, kStop, kIdle };

// Waits, with the stop signals let through, until the next request can be read: on a kept
// connection when the web server keeps one open, else on the listening socket. A kept
// connection that stays quiet for the idle timeout is given up.
Wait WaitForNextRequest(const FCGX_Request& request, int listenSocket, const sigset_t& waitMask, int idleSeconds) {
  // libfcgi keeps the connection of a request whose server asked for that; the next request
  // comes on it.
  const bool kept = request.ipcFd >= 0;
  pollfd ready{kept ? request.ipcFd : listenSocket, POLLIN, 0};
  const timespec idle{idleSeconds, 0};
  // Under steady load the socket is always ready, and ppoll returns at once without letting a
  // stop signal that came during the request through; it would wait for a quiet moment.
  sigset_t pending;
  sigpending(&pending);
  if (sigismember(&pending, SIGTERM) == 1 || sigismember(&pending, SIGINT) == 1) return Wait::kStop;
  while (!stopRequested) {
    const int result = ppoll(&ready, 1, kept ? &idle : nullptr, &waitMask);
    if (result > 0) return Wait::kReady;
    if (result == 0) return Wait::kIdle;
  }
  return Wait::kStop;
}

}  // namespace

// Stop signals are held back except while waiting for a request, so a request that has begun is
// answered in full. The time bound runs from the moment a connection is ready to be read, so a
// client that connects and then stalls, before its request is complete or within it, costs at
// most the bound.
int ServeFastCgiRequests(int listenSocket, const WorkerOptions& options, PoolStatus& status, std::size_t slotIndex) {
  InstallSignalHandlers();
  const sigset_t stopSignals = StopSignals();
  sigset_t waitMask;
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  // Every worker wakes for a new connection; those that lose the race to accept it must not
  // block in accept with their time bound running.
  fcntl(listenSocket, F_SETFL, fcntl(listenSocket, F_GETFL) | O_NONBLOCK);
  ProcessSlot& slot = status.slots[slotIndex];
  slot.state = ProcessSlot::kIdle;

  FCGX_Request request;
  if (FCGX_InitRequest(&request, listenSocket, 0) != 0) return kStatusSocketFailed;
  int exitStatus = kStatusStopped;
  for (;;) {
    const Wait wait = WaitForNextRequest(request, listenSocket, waitMask, options.idleTimeoutSeconds);
    if (wait == Wait::kStop) break;
    if (wait == Wait::kIdle) {
      // The request before has been finished; only the connection is left to give up.
      close(request.ipcFd);
      request.ipcFd = -1;
      continue;
    }
    alarm(static_cast<unsigned>(options.requestTimeoutSeconds));
    slot.state = ProcessSlot::kReading;
    const int accepted = FCGX_Accept_r(&request);
    if (accepted < 0) {
      alarm(0);
      slot.state = ProcessSlot::kIdle;
      if (accepted == -EAGAIN || accepted == -EWOULDBLOCK || accepted == -EINTR) continue;  // lost the race
      exitStatus = kStatusSocketFailed;
      break;
    }
    Serve(request, options, status, slot);
    DiscardUnreadInput(request);
    FCGX_Finish_r(&request);
    alarm(0);
    slot.state = ProcessSlot::kIdle;
  }
  FCGX_Free(&request, 1);
  return exitStatus;
}

}  // namespace korvex::internal
