#include "fcgi/FastCgiResponder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include <fcgiapp.h>

#include "cgi/RequestHandler.h"
#include "fcgi/FcgiStream.h"

namespace {

constexpr int kStatusStopped = 0;
constexpr int kStatusSocketFailed = 3;

std::optional<std::string> Parameter(const FCGX_Request& request, const char* name) {
  const char* value = FCGX_GetParam(name, request.envp);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

// The handler writes exactly what the CGI program would write to standard output, and its
// result, the CGI program's exit status, goes out as the request's application status.
void Respond(FCGX_Request& request) {
  CgiEnvironment environment;
  environment.requestMethod = Parameter(request, "REQUEST_METHOD");
  environment.queryString = Parameter(request, "QUERY_STRING");
  environment.contentLength = Parameter(request, "CONTENT_LENGTH");

  int status = 0;
  {
    FilePointer input = OpenFcgiInput(request.in);
    FilePointer output = OpenFcgiOutput(request.out);
    if (!input || !output) {
      // No memory for the streams: nothing can be answered, like a CGI that could not start.
      status = 1;
    } else {
      status = HandleRequest(environment, input.get(), output.get());
    }
  }
  FCGX_SetExitStatus(status, request.out);
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
}

// Waits, with the stop signals let through, until the next request can be read: on a kept
// connection when the web server keeps one open, else on the listening socket. False when a
// stop signal came.
bool WaitForNextRequest(const FCGX_Request& request, int listenSocket, const sigset_t& waitMask) {
  // libfcgi keeps the connection of a request whose server asked for that; the next request
  // comes on it.
  pollfd ready{request.ipcFd >= 0 ? request.ipcFd : listenSocket, POLLIN, 0};
  while (!stopRequested) {
    if (ppoll(&ready, 1, nullptr, &waitMask) > 0) return true;
  }
  return false;
}

}  // namespace

// Stop signals are held back except while waiting for a request, so a request that has begun is
// answered in full. The time bound runs from the moment a connection is ready to be read, so a
// client that connects and then stalls, before its request is complete or within it, costs at
// most the bound.
int ServeFastCgiRequests(int listenSocket, int requestTimeoutSeconds) {
  InstallSignalHandlers();
  const sigset_t stopSignals = StopSignals();
  sigset_t waitMask;
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  // Every worker wakes for a new connection; those that lose the race to accept it must not
  // block in accept with their time bound running.
  fcntl(listenSocket, F_SETFL, fcntl(listenSocket, F_GETFL) | O_NONBLOCK);

  FCGX_Request request;
  if (FCGX_InitRequest(&request, listenSocket, 0) != 0) return kStatusSocketFailed;
  int status = kStatusStopped;
  while (WaitForNextRequest(request, listenSocket, waitMask)) {
    alarm(static_cast<unsigned>(requestTimeoutSeconds));
    const int accepted = FCGX_Accept_r(&request);
    if (accepted < 0) {
      alarm(0);
      if (accepted == -EAGAIN || accepted == -EWOULDBLOCK || accepted == -EINTR) continue;  // lost the race
      status = kStatusSocketFailed;
      break;
    }
    Respond(request);
    FCGX_Finish_r(&request);
    alarm(0);
  }
  FCGX_Free(&request, 1);
  return status;
}
