#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fcgiapp.h>

#include "fcgi/FastCgiResponder.h"
#include "fcgi/WorkerOptions.h"
#include "fcgi/WorkerPool.h"

namespace {

constexpr int kStatusUsage = 2;
constexpr int kStatusNoSocket = 3;
constexpr int kListenBacklog = 1024;
// Started by a web server or spawn-fcgi, the listening socket is standard input.
constexpr int kInheritedSocket = 0;
constexpr const char kUnixPrefix[] = "unix:";

bool IsListeningSocket(int fd) {
  int accepting = 0;
  socklen_t length = sizeof accepting;
  return getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) == 0 && accepting != 0;
}

// A FastCGI socket is a back door to the generator: a unix socket is for its owner and the
// web server's group only, from the moment it exists.
int OpenUnixSocket(const std::string& path) {
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) unlink(path.c_str());
  const mode_t previousMask = umask(0117);
  const int fd = FCGX_OpenSocket(path.c_str(), kListenBacklog);
  umask(previousMask);
  if (fd >= 0) chmod(path.c_str(), 0660);
  return fd;
}

int OpenListenSocket(const WorkerOptions& options) {
  if (options.listen.empty()) return IsListeningSocket(kInheritedSocket) ? kInheritedSocket : -1;
  if (options.listen.rfind(kUnixPrefix, 0) == 0) return OpenUnixSocket(options.listen.substr(sizeof kUnixPrefix - 1));
  return FCGX_OpenSocket(options.listen.c_str(), kListenBacklog);
}

}  // namespace

// A persistent FastCGI front end over the CGI program's request handler: the same answers,
// without a process per request.
int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kWorkerUsage, stdout);
    return 0;
  }
  std::string error;
  std::optional<WorkerOptions> options = ParseWorkerOptions(args, &error);
  if (!options) {
    std::fprintf(stderr, "korvex.fcgi: %s\n%s", error.c_str(), kWorkerUsage);
    return kStatusUsage;
  }
  if (options->workers == 0) {
    const unsigned cores = std::thread::hardware_concurrency();
    options->workers = cores > 0 ? static_cast<int>(cores) : 1;
  }

  if (FCGX_Init() != 0) {
    std::fputs("korvex.fcgi: the FastCGI library could not start\n", stderr);
    return kStatusNoSocket;
  }
  const int socket = OpenListenSocket(*options);
  if (socket < 0) {
    if (options->listen.empty()) {
      std::fputs("korvex.fcgi: standard input is not a listening socket; start it from a web server or "
                 "spawn-fcgi, or give --listen\n", stderr);
    } else {
      std::fprintf(stderr, "korvex.fcgi: cannot listen on %s\n", options->listen.c_str());
    }
    return kStatusNoSocket;
  }

  const int timeout = options->requestTimeoutSeconds;
  const int status = RunWorkerPool(options->workers, [socket, timeout] { return ServeFastCgiRequests(socket, timeout); });
  if (options->listen.rfind(kUnixPrefix, 0) == 0) unlink(options->listen.substr(sizeof kUnixPrefix - 1).c_str());
  return status;
}
