// The demo page as a user meets it: served by scripts/run-server.sh (what `make run` starts),
// driven in headless Chromium by demo-check.js, which types data, waits for the preview and
// takes a screenshot of the page; zxing-cpp must read the typed data from the part of the
// screenshot where the preview stands (on the whole page its detector gets lost in the text).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/CgiProcess.h"
#include "support/Decoders.h"
#include "support/Paths.h"
#include "support/PngReader.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char* const kSystemPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

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

// The first executable of the names in the usual directories, or "".
std::string FindProgram(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    for (const char* directory : {"/usr/local/bin", "/usr/bin", "/bin"}) {
      const fs::path candidate = fs::path(directory) / name;
      if (access(candidate.c_str(), X_OK) == 0) {
        return candidate.string();
      }
    }
  }
  return "";
}

// scripts/run-server.sh in the background, as `make run` starts it; stopped with SIGINT.
class DemoServer {
 public:
  DemoServer(int port, const fs::path& stateDir) : log_(stateDir / "server.log") {
    const std::string script = std::string(TestPaths::kSourceDir) + "/scripts/run-server.sh";
    std::vector<std::string> environment = {std::string("PATH=") + kSystemPath, std::string("KORVEX_CGI=") + TestPaths::kCgi,
                                            "KORVEX_SERVER_DIR=" + stateDir.string()};
    std::vector<std::string> args = {"/bin/bash", script, std::to_string(port)};
    std::vector<char*> envp;
    for (std::string& entry : environment) {
      envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      const int out = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
  ~DemoServer() {
    if (!Running()) {
      return;
    }
    kill(pid_, SIGINT);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Running() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(20ms);
    }
    if (Running()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  bool Running() {
    if (pid_ <= 0) {
      return false;
    }
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    return true;
  }
  std::string Log() const { return ReadFile(log_); }

 private:
  fs::path log_;
  pid_t pid_ = -1;
};

// A fresh directory under /tmp, removed with everything in it.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char pattern[] = "/tmp/korvex-browser-XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
      path_ = pattern;
    }
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    if (!path_.empty()) {
      fs::remove_all(path_, ignored);
    }
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// The value of a string member of the one-line JSON that demo-check.js prints.
std::string JsonString(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  const std::size_t start = json.find(key);
  if (start == std::string::npos) {
    return "";
  }
  std::string value;
  for (std::size_t i = start + key.size(); i < json.size() && json[i] != '"'; ++i) {
    if (json[i] == '\\' && i + 1 < json.size()) {
      ++i;
    }
    value += json[i];
  }
  return value;
}

// The value of an integer member of the named object in the JSON line, or -1.
int JsonInteger(const std::string& json, const std::string& object, const std::string& name) {
  const std::size_t objectStart = json.find("\"" + object + "\":{");
  if (objectStart == std::string::npos) {
    return -1;
  }
  const std::size_t at = json.find("\"" + name + "\":", objectStart);
  if (at == std::string::npos) {
    return -1;
  }
  return std::atoi(json.c_str() + at + name.size() + 3);
}

// The rectangle of the raster; empty when it does not lie inside.
Raster Crop(const Raster& raster, int left, int top, int width, int height) {
  Raster part;
  if (left < 0 || top < 0 || width <= 0 || height <= 0 || left + width > raster.width ||
      top + height > raster.height) {
    return part;
  }
  part.width = width;
  part.height = height;
  part.channels = raster.channels;
  for (int y = top; y < top + height; ++y) {
    const auto row = raster.pixels.begin() + (static_cast<std::ptrdiff_t>(y) * raster.width + left) * raster.channels;
    part.pixels.insert(part.pixels.end(), row, row + static_cast<std::ptrdiff_t>(width) * raster.channels);
  }
  return part;
}

TEST(BrowserTest, TypedDataAppearsAsAReadableSymbolAndErrorsShowTheirText) {
  const std::string chromium = FindProgram({"chromium", "chromium-browser"});
  if (chromium.empty()) {
    GTEST_SKIP() << "Chromium is not installed (Debian package chromium); the demo page was not tested in a browser";
  }
  const std::string node = FindProgram({"node", "nodejs"});
  if (node.empty()) {
    GTEST_SKIP() << "Node.js is not installed; the demo page was not tested in a browser";
  }
  const fs::path browserDir = fs::path(TestPaths::kSourceDir) / "tests" / "browser";
  if (!fs::exists(browserDir / "node_modules" / "playwright-core")) {
    GTEST_SKIP() << "playwright-core is not installed (run tests/browser/install.sh); the demo page was not tested "
                    "in a browser";
  }

  ScratchDirectory scratch;
  ASSERT_FALSE(scratch.Path().empty());
  const int port = FreePort();
  ASSERT_GT(port, 0);
  DemoServer server(port, scratch.Path());
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  while (!Accepting(port) && server.Running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(Accepting(port)) << "the demo server did not come up:\n" << server.Log();

  const std::string typed = "Korvex in Chromium 2026";
  const fs::path screenshot = scratch.Path() / "demo.png";
  const ProcessResult run =
      RunProcess(node,
                 {(browserDir / "demo-check.js").string(), "http://127.0.0.1:" + std::to_string(port), typed,
                  screenshot.string()},
                 {{"PATH", kSystemPath}, {"HOME", scratch.Path().string()}, {"KORVEX_CHROMIUM", chromium}}, "",
                 std::chrono::seconds(90));
  ASSERT_TRUE(run.started);
  ASSERT_FALSE(run.timedOut) << run.errorOutput;
  ASSERT_EQ(run.exitStatus, 0) << run.output << run.errorOutput << "\n" << server.Log();

  EXPECT_EQ(JsonString(run.output, "readyStatus").rfind("Ready:", 0), 0u) << run.output;
  EXPECT_NE(JsonString(run.output, "errorStatus").find("Error: Invalid barcode size."), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\"problems\":[]"), std::string::npos) << "the page reported errors: " << run.output;

  PngInfo png;
  std::string error;
  ASSERT_TRUE(ReadPng(ReadFile(screenshot), png, &error)) << error;
  Raster screen;
  screen.width = static_cast<int>(png.width);
  screen.height = static_cast<int>(png.height);
  screen.channels = 3;
  screen.pixels = png.rgb;
  const Raster preview = Crop(screen, JsonInteger(run.output, "frame", "x"), JsonInteger(run.output, "frame", "y"),
                              JsonInteger(run.output, "frame", "width"), JsonInteger(run.output, "frame", "height"));
  ASSERT_GT(preview.width, 0) << "the preview frame is not inside the screenshot: " << run.output;
  const std::optional<Decoded> read = ReadWithZxing(preview);
  ASSERT_TRUE(read.has_value()) << "zxing-cpp found no symbol where the preview stands in the screenshot";
  EXPECT_EQ(read->bytes, typed);
}

}  // namespace
