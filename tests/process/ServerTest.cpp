#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process/CgiResponse.h"
#include "support/HtmlPageTexts.h"
#include "support/Paths.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A port that nothing listens on right now.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return connected;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// scripts/run-server.sh running in the background, its output going to a log file. Stopped
// with SIGINT, as Ctrl-C would, and killed if it ignores that.
class ServerScript {
 public:
  ServerScript(int port, const fs::path& stateDir) : stateDir_(stateDir) {
    const std::string script = std::string(TestPaths::kSourceDir) + "/scripts/run-server.sh";
    const std::string portText = std::to_string(port);
    const std::string log = (stateDir / "script.log").string();
    std::vector<std::string> environment = {"PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
                                            std::string("KORVEX_CGI=") + TestPaths::kCgi,
                                            "KORVEX_SERVER_DIR=" + stateDir.string()};
    std::vector<char*> envp;
    for (std::string& entry : environment) {
      envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string bash = "/bin/bash";
    std::vector<char*> argv = {bash.data(), const_cast<char*>(script.c_str()), const_cast<char*>(portText.c_str()),
                               nullptr};
    pid_ = fork();
    if (pid_ == 0) {
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int in = open("/dev/null", O_RDONLY);
      if (out < 0 || in < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 ||
          dup2(out, STDERR_FILENO) < 0) {
        _exit(127);
      }
      signal(SIGINT, SIG_DFL);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
  }

  ~ServerScript() { Stop(); }

  bool Running() {
    if (pid_ <= 0) {
      return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    return true;
  }

  // Sends SIGINT and waits up to ten seconds for the script to end; true when it ended by itself.
  bool Stop() {
    if (!Running()) {
      return true;
    }
    kill(pid_, SIGINT);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!Running()) {
        return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return false;
  }

  std::string Log() const { return ReadFile(stateDir_ / "script.log"); }

 private:
  fs::path stateDir_;
  pid_t pid_ = -1;
};

// The body of a GET through curl; empty when the request fails.
std::string Fetch(const std::string& url) {
  const ProcessResult result = RunProcess("/usr/bin/curl", {"-sS", "--fail", "--max-time", "20", "-o", "-", url}, {}, "");
  EXPECT_TRUE(result.started) << "curl cannot be run";
  EXPECT_EQ(result.exitStatus, 0) << url << ": " << result.errorOutput;
  return result.output;
}

std::string WithoutCgiHeader(const std::string& page) {
  const std::string header = "Content-type: text/html\n\n";
  return page.compare(0, header.size(), header) == 0 ? page.substr(header.size()) : page;
}

TEST(ServerTest, ServesHelpPageImageAndDocumentationThenStops) {
  const int port = FreePort();
  ASSERT_GT(port, 0);
  const fs::path stateDir = fs::path(TestPaths::kBinaryDir) / ("server-test-" + std::to_string(getpid()));
  fs::remove_all(stateDir);
  fs::create_directories(stateDir);

  ServerScript server(port, stateDir);
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  while (!Accepting(port) && server.Running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(Accepting(port)) << "the server did not come up:\n" << server.Log();

  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(Fetch(base + "/cgi-bin/korvex.cgi?help=1"), WithoutCgiHeader(ExpectedHelpPage()));

  const std::string image = Fetch(base + "/cgi-bin/korvex.cgi?data=Served&w=120&h=90&bcolor=00ff00");
  PngInfo png;
  std::string error;
  ASSERT_TRUE(ReadPng(image, png, &error)) << error;
  EXPECT_EQ(png.width, 120u);
  EXPECT_EQ(png.height, 90u);
  EXPECT_EQ(png.PixelRgb(0, 0), 0x00FF00u);

  // POST goes through the server's body handling.
  const ProcessResult posted = RunProcess(
      "/usr/bin/curl", {"-sS", "--fail", "--max-time", "20", "-o", "-", "--data", "help=1", base + "/cgi-bin/korvex.cgi"},
      {}, "");
  EXPECT_EQ(posted.output, WithoutCgiHeader(ExpectedHelpPage())) << posted.errorOutput;

  // Every address the help page links to exists in the documentation.
  const std::string docs = Fetch(base + "/docs/index.html");
  for (const char* anchor : {"properties", "DataToEncode", "PreferredFormat", "EncodingMode", "Orientation",
                             "QuietZone", "QuietZoneSize", "AlignH", "AlignV", "BackColor", "ForeColor"}) {
    EXPECT_NE(docs.find(std::string("id=\"") + anchor + "\""), std::string::npos) << anchor;
  }

  const std::string pidText = ReadFile(stateDir / "lighttpd.pid");
  const pid_t lighttpdPid = static_cast<pid_t>(std::atoi(pidText.c_str()));
  EXPECT_GT(lighttpdPid, 0) << "no pid file";

  EXPECT_TRUE(server.Stop()) << "the script ignored SIGINT:\n" << server.Log();
  EXPECT_FALSE(Accepting(port));
  if (lighttpdPid > 0) {
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(lighttpdPid))) << "lighttpd is still there";
  }
  EXPECT_NE(server.Log().find("help page:"), std::string::npos) << server.Log();
  fs::remove_all(stateDir);
}

}  // namespace
