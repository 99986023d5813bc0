#include "fcgi/FastCgiResponder.h"

#include <signal.h>
#include <unistd.h>

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
    // The handler never reads more of a body than it accepts.
    FilePointer input = OpenFcgiInput(request.in, static_cast<std::size_t>(kMaxRequestLength));
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

void RequestStop(int) {
  stopRequested = 1;
  FCGX_ShutdownPending();
}

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

// Stop signals interrupt only the wait for the next connection: a request that has begun is
// answered in full, with the signal held back until then.
void InstallSignalHandlers() {
  struct sigaction stop {};
  stop.sa_handler = RequestStop;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = 0;  // no restart: accept returns, and the loop sees the pending stop
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  // A client that leaves makes writes fail instead of ending the process.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGALRM, SIG_DFL);
}

}  // namespace

int ServeFastCgiRequests(int listenSocket, int requestTimeoutSeconds) {
  InstallSignalHandlers();
  const sigset_t stopSignals = StopSignals();
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

  FCGX_Request request;
  if (FCGX_InitRequest(&request, listenSocket, FCGI_FAIL_ACCEPT_ON_INTR) != 0) return kStatusSocketFailed;
  for (;;) {
    sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
    const int accepted = FCGX_Accept_r(&request);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    if (accepted < 0) break;  // a stop signal, or the socket is unusable
    alarm(static_cast<unsigned>(requestTimeoutSeconds));
    Respond(request);
    FCGX_Finish_r(&request);
    alarm(0);
  }
  FCGX_Free(&request, 1);
  return stopRequested ? kStatusStopped : kStatusSocketFailed;
}
