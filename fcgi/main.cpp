#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcgiapp.h>

#include "fcgi/EventLog.h"
#include "fcgi/FastCgiResponder.h"
#include "fcgi/PoolStatus.h"
#include "fcgi/WorkerOptions.h"
#include "fcgi/WorkerPool.h"

namespace korvex::internal {

namespace {

constexpr int kStatusUsage = 2;
constexpr int kStatusNoSocket = 3;
constexpr int kListenBacklog = 1024;
// Started by a web server or spawn-fcgi, the listening socket is standard input; a process of
// the pool finds it there as well.
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

// Why a socket could not be opened; empty when it was.
struct OpenedSocket {
  int fd = -1;
  std::string error;
};

OpenedSocket Failed(int fd, const std::string& error) {
  if (fd >= 0) close(fd);
  return OpenedSocket{-1, error};
}

// A socket file left at the path is taken over only when nothing accepts connections on it any
// more: a second worker started on the path of a running one must not steal its socket.
std::string CheckSocketPathFree(const sockaddr_un& address) {
  struct stat existing {};
  if (lstat(address.sun_path, &existing) != 0 || !S_ISSOCK(existing.st_mode)) return "";
  const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (probe < 0) return std::string("cannot probe the socket: ") + std::strerror(errno);
  const bool accepted = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  const int why = errno;
  close(probe);
  // EAGAIN: the backlog of a running server is full.
  if (accepted || why == EAGAIN) {
    return "a server is running there (it accepts connections); stop it or choose another path";
  }
  if (why != ECONNREFUSED) return std::string("cannot tell whether a server runs there: ") + std::strerror(why);
  unlink(address.sun_path);
  return "";
}

// A FastCGI socket is a back door to the generator: a unix socket is for its owner alone from
// the moment it exists until it has its group and mode (by default the web server's group:
// 0660).
OpenedSocket OpenUnixSocket(const std::string& path, const WorkerOptions& options) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return Failed(-1, "the path is too long");
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (const std::string busy = CheckSocketPathFree(address); !busy.empty()) return Failed(-1, busy);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failed(-1, std::strerror(errno));
  const mode_t previousMask = umask(0177);
  const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  const int bindError = errno;
  umask(previousMask);
  if (!bound) return Failed(fd, std::strerror(bindError));
  if (options.socketGroup && chown(path.c_str(), static_cast<uid_t>(-1), *options.socketGroup) != 0) {
    const std::string error = "cannot give the socket to group " + std::to_string(*options.socketGroup) + ": " +
                              std::strerror(errno);
    unlink(path.c_str());
    return Failed(fd, error);
  }
  if (chmod(path.c_str(), options.socketMode) != 0 || listen(fd, kListenBacklog) != 0) {
    const std::string error = std::strerror(errno);
    unlink(path.c_str());
    return Failed(fd, error);
  }
  return OpenedSocket{fd, ""};
}

OpenedSocket OpenTcpSocket(const std::string& hostAndPort) {
  const std::size_t colon = hostAndPort.rfind(':');
  std::string host = hostAndPort.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);  // [::1]
  const std::string port = hostAndPort.substr(colon + 1);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (const int error = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0) {
    return Failed(-1, gai_strerror(error));
  }
  int fd = -1;
  std::string error = "no address";
  for (const addrinfo* candidate = found; candidate != nullptr && fd < 0; candidate = candidate->ai_next) {
    fd = socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC, candidate->ai_protocol);
    if (fd < 0) continue;
    const int reuse = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 || listen(fd, kListenBacklog) != 0) {
      error = std::strerror(errno);
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  return fd >= 0 ? OpenedSocket{fd, ""} : Failed(-1, error);
}

OpenedSocket OpenListenSocket(const WorkerOptions& options) {
  if (options.listen.empty()) {
    if (IsListeningSocket(kInheritedSocket)) return OpenedSocket{kInheritedSocket, ""};
    return Failed(-1, "");
  }
  if (const std::optional<std::string> path = UnixSocketPath(options.listen)) return OpenUnixSocket(*path, options);
  return OpenTcpSocket(options.listen);
}

// The binary as it is installed: each process of the pool is started from this path, so that a
// reload takes up a new binary put in its place.
std::string ProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// A process of the pool: korvex.fcgi --process-slot N OPTIONS..., started by the pool.
int ServeAsPoolProcess(const std::vector<std::string>& args) {
  const StatusOr<WorkerOptions> options =
      args.size() >= 2 ? ParseWorkerOptions({args.begin() + 2, args.end()}) : Status(Result::InvalidArgument);
  const std::size_t slot = args.size() >= 2 ? std::strtoul(args[1].c_str(), nullptr, 10) : PoolStatus::kSlots;
  SharedPoolStatus status = SharedPoolStatus::Attach(kStatusDescriptor);
  if (!options.Ok() || slot >= PoolStatus::kSlots || !status.Valid() || FCGX_Init() != 0) {
    const std::string& error = options.Detail();
    LogEvent(EventLevel::kError, "a process could not start: " + (error.empty() ? "no pool status" : error));
    return kStatusUsage;
  }
  return ServeFastCgiRequests(kInheritedSocket, *options, status.Status(), slot);
}

}  // namespace

}  // namespace korvex::internal

using namespace korvex::internal;

// A persistent FastCGI front end over the CGI program's request handler: the same answers,
// without a process per request.
int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kWorkerUsage, stdout);
    return 0;
  }
  if (!args.empty() && args[0] == kProcessSlotOption) return ServeAsPoolProcess(args);
  HoldPoolSignals();
  const StatusOr<WorkerOptions> options = ParseWorkerOptions(args);
  if (!options.Ok()) {
    std::fprintf(stderr, "korvex.fcgi: %s\n%s", options.Detail().c_str(), kWorkerUsage);
    return kStatusUsage;
  }
  const OpenedSocket socket = OpenListenSocket(*options);
  if (socket.fd < 0) {
    if (options->listen.empty()) {
      std::fputs("korvex.fcgi: standard input is not a listening socket; start it from a web server or "
                 "spawn-fcgi, or give --listen\n", stderr);
    } else {
      std::fprintf(stderr, "korvex.fcgi: cannot listen on %s: %s\n", options->listen.c_str(), socket.error.c_str());
    }
    return kStatusNoSocket;
  }
  const std::optional<std::string> unixPath = UnixSocketPath(options->listen);
  SharedPoolStatus status = SharedPoolStatus::Create();
  if (!status.Valid()) {
    std::fprintf(stderr, "korvex.fcgi: no memory for the pool's status: %s\n", std::strerror(errno));
    if (unixPath) unlink(unixPath->c_str());
    return kStatusNoSocket;
  }

  const PoolSetup setup{options->workers, ProgramPath(), args, socket.fd, options->requestTimeoutSeconds};
  const std::string where = options->listen.empty() ? "the socket on standard input" : options->listen;
  LogEvent(EventLevel::kNotice, "ready on " + where + ": " + DescribeWorkerOptions(*options));
  // The pool itself leaves libfcgi alone: its start would install signal handlers of its own.
  const int exitStatus = RunWorkerPool(setup, status.Status(), status.Fd(), [&](std::size_t slot) {
    return FCGX_Init() == 0 ? ServeFastCgiRequests(kInheritedSocket, *options, status.Status(), slot)
                            : kStatusNoSocket;
  });
  if (unixPath) unlink(unixPath->c_str());
  return exitStatus;
}
