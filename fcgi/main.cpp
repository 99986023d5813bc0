#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
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
constexpr std::string_view kUnixPrefix = "unix:";

// The socket path of a unix:PATH address, or nothing for HOST:PORT and the inherited socket.
std::optional<std::string> UnixSocketPath(const std::string& listen) {
  if (listen.rfind(kUnixPrefix, 0) != 0) return std::nullopt;
  return listen.substr(kUnixPrefix.size());
}

bool IsListeningSocket(int fd) {
  int accepting = 0;
  socklen_t length = sizeof accepting;
  return getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) == 0 && accepting != 0;
}

// A FastCGI socket is a back door to the generator: a unix socket is for its owner and the
// web server's group only, from the moment it exists.
int OpenUnixSocket(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return -1;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) unlink(path.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  const mode_t previousMask = umask(0117);
  const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  umask(previousMask);
  if (!bound || listen(fd, kListenBacklog) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int OpenTcpSocket(const std::string& hostAndPort) {
  const std::size_t colon = hostAndPort.rfind(':');
  std::string host = hostAndPort.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);  // [::1]
  const std::string port = hostAndPort.substr(colon + 1);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (const addrinfo* candidate = found; candidate != nullptr && fd < 0; candidate = candidate->ai_next) {
    fd = socket(candidate->ai_family, candidate->ai_socktype, candidate->ai_protocol);
    if (fd < 0) continue;
    const int reuse = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 || listen(fd, kListenBacklog) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  return fd;
}

int OpenListenSocket(const WorkerOptions& options) {
  if (options.listen.empty()) return IsListeningSocket(kInheritedSocket) ? kInheritedSocket : -1;
  if (const std::optional<std::string> path = UnixSocketPath(options.listen)) return OpenUnixSocket(*path);
  return OpenTcpSocket(options.listen);
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
  const std::optional<WorkerOptions> options = ParseWorkerOptions(args, &error);
  if (!options) {
    std::fprintf(stderr, "korvex.fcgi: %s\n%s", error.c_str(), kWorkerUsage);
    return kStatusUsage;
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
  if (const std::optional<std::string> path = UnixSocketPath(options->listen)) unlink(path->c_str());
  return status;
}
