#include "support/LocalServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "support/Paths.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

}  // namespace

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof(address);
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool Accepting(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = LoopbackAddress(port);
  const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return connected;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

LocalServer::LocalServer(LocalServerOptions options) : options_(std::move(options)) {
  const std::vector<char*> argv = NullTerminated(options_.argv);
  std::vector<std::string> environment;
  if (options_.environment) {
    environment = EnvironmentEntries(*options_.environment);
  }
  const std::vector<char*> envp = NullTerminated(environment);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options_.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  // A test run in the background inherits an ignored SIGINT, which a shell script could not
  // even trap: the stop signal must do what it says.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, options_.stopSignal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  short flags = POSIX_SPAWN_SETSIGDEF;
  if (options_.ownProcessGroup) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  posix_spawnattr_setflags(&attributes, flags);
  char* const* env = options_.environment ? envp.data() : environ;
  if (posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), env) != 0) {
    pid_ = -1;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (options_.ownProcessGroup) {
    group_ = pid_;
  }
}

LocalServer::~LocalServer() { Stop(); }

bool LocalServer::Running() {
  if (pid_ <= 0) {
    return false;
  }
  if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

bool LocalServer::WaitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!Running()) {
      return true;
    }
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

bool LocalServer::Stop() {
  // A group's members may outlive its leader, so the group is signalled even then.
  if (group_ <= 0 && !Running()) {
    return true;
  }
  kill(group_ > 0 ? -group_ : pid_, options_.stopSignal);
  const bool ended = WaitForExit(options_.stopTimeout);
  if (group_ > 0) {
    kill(-group_, SIGKILL);
    group_ = -1;
  }
  if (!ended) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  return ended;
}

void LocalServer::Kill() {
  if (group_ > 0) {
    kill(-group_, SIGKILL);
    group_ = -1;
  } else if (pid_ > 0) {
    kill(pid_, SIGKILL);
  }
  if (pid_ > 0) {
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

bool WaitUntilAccepting(int port, const std::vector<LocalServer*>& servers, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    for (LocalServer* server : servers) {
      if (!server->Running()) {
        return false;
      }
    }
    if (Accepting(port)) {
      return true;
    }
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

LocalServerOptions RunServerScript(int port, const fs::path& stateDir, const fs::path& log) {
  LocalServerOptions options;
  options.argv = {"/bin/bash", (fs::path(TestPaths::kSourceDir) / "scripts" / "run-server.sh").string(),
                  std::to_string(port)};
  options.environment = std::vector<EnvironmentVariable>{
      {"PATH", kSystemPath}, {"KORVEX_CGI", TestPaths::kCgi}, {"KORVEX_SERVER_DIR", stateDir.string()}};
  options.log = log;
  options.stopSignal = SIGINT;
  options.stopTimeout = 10s;
  return options;
}

LocalServerOptions FastCgiWorker(const std::string& address, int workers, const fs::path& log,
                                 const std::vector<std::string>& moreArgs) {
  LocalServerOptions options;
  options.argv = {TestPaths::kFcgi, "--listen", address, "--workers", std::to_string(workers)};
  options.argv.insert(options.argv.end(), moreArgs.begin(), moreArgs.end());
  options.log = log;
  return options;
}

std::vector<pid_t> ChildProcesses(pid_t parent) {
  std::ifstream list("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
  std::vector<pid_t> children;
  for (pid_t child = 0; list >> child;) children.push_back(child);
  return children;
}
