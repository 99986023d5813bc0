// The FastCGI worker as a process pool: its command line, its socket, a graceful stop, workers
// killed under load or by the request time bound, a reload under load, its log and status
// page, kept connections, and memory over a long run. What it answers
// is compared with the CGI program in HostileRequestTest and through nginx in DeploymentTest.

#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "process/CgiResponse.h"
#include "support/FastCgiClient.h"
#include "support/LocalServer.h"
#include "support/Paths.h"
#include "support/ScratchDirectory.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A request that keeps a worker busy for a while: the largest raster that xdim allows.
const std::string kSlowQuery = "xdim=32&mode=1&data=" + std::string(3110, '7');

long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Where /proc says the process's program is; " (deleted)" at its end when the file was replaced.
std::string ProgramOf(pid_t pid) {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
}

// A unix socket file that nothing listens on any more, as a worker killed outright leaves it.
bool MakeStaleSocket(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  const bool made =
      fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 1) == 0;
  if (fd >= 0) close(fd);
  return made;
}

constexpr const char* kStatusPath = "/korvex-status";

class WorkerTest : public ::testing::Test {
 protected:
  // In the sanitizer build the pool and its processes report in the log, which is checked once
  // they have stopped.
  void TearDown() override {
    if (!worker_) return;
    worker_->Stop();
    const std::string log = worker_->Log();
    EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
    EXPECT_EQ(log.find("runtime error:"), std::string::npos) << log;
  }

  void Start(int workers, const std::vector<std::string>& moreArgs = {}) {
    ASSERT_FALSE(scratch_.Path().empty());
    socket_ = scratch_.Path() / "korvex.sock";
    address_ = "unix:" + socket_.string();
    LocalServerOptions options = FastCgiWorker(address_, workers, scratch_.Path() / "worker.log", moreArgs);
    options.argv[0] = program_;
    worker_ = std::make_unique<LocalServer>(std::move(options));
    ASSERT_TRUE(WaitForFastCgiSocket(address_, 10s)) << worker_->Log();
    ASSERT_TRUE(WaitForWorkers(static_cast<std::size_t>(workers), -1, 5s));
    ASSERT_TRUE(WaitUntilStarted(10s)) << "the processes did not run the program";
  }

  // Every process of the pool runs the program (has passed exec), so that a test may replace
  // the file afterwards.
  bool WaitUntilStarted(std::chrono::milliseconds timeout) {
    const auto started = [](pid_t pid) {
      return ReadFile("/proc/" + std::to_string(pid) + "/cmdline").find("--process-slot") != std::string::npos;
    };
    for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
      const std::vector<pid_t> children = ChildProcesses(worker_->Pid());
      if (std::all_of(children.begin(), children.end(), started)) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

  FastCgiResponse Get(const std::string& query) { return SendFastCgiRequest(address_, GetRequest(query)); }

  // The status page's answer, with its header, for a worker started with --status-path.
  std::string Status(const std::string& query = "") {
    std::vector<EnvironmentVariable> request = GetRequest(query);
    request.emplace_back("SCRIPT_NAME", kStatusPath);
    const FastCgiResponse response = SendFastCgiRequest(address_, request);
    EXPECT_TRUE(response.completed) << response.error;
    EXPECT_EQ(response.appStatus, 0u);
    return response.output;
  }

  // The pool has the given number of workers, gone not among them; false after the timeout.
  bool WaitForWorkers(std::size_t workers, pid_t gone, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
      const std::vector<pid_t> children = ChildProcesses(worker_->Pid());
      if (children.size() == workers && std::find(children.begin(), children.end(), gone) == children.end()) {
        return true;
      }
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

  ScratchDirectory scratch_{"korvex-worker"};
  std::string program_ = TestPaths::kFcgi;
  std::filesystem::path socket_;
  std::string address_;
  std::unique_ptr<LocalServer> worker_;
};

TEST(WorkerCommandLineTest, RefusesWhatItCannotServe) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"--help"}, 0, "Usage: korvex.fcgi"},
      {{"--workers", "0"}, 2, "--workers takes a number from 1 to 256"},
      {{"--workers", "4x"}, 2, "--workers takes"},
      {{"--listen", "nowhere"}, 2, "--listen takes unix:PATH or HOST:PORT"},
      {{"--listen", "127.0.0.1:65536"}, 2, "--listen takes"},
      {{"--request-timeout", "0"}, 2, "--request-timeout takes seconds"},
      {{"--listen"}, 2, "--listen needs a value"},
      {{"--port", "9000"}, 2, "unknown option '--port'"},
      {{"--idle-timeout", "0"}, 2, "--idle-timeout takes seconds from 1 to 3600"},
      {{"--status-path", "status"}, 2, "--status-path takes a path starting with /"},
      {{"--listen", "unix:/tmp/k.sock", "--socket-mode", "0999"}, 2, "--socket-mode takes octal permissions"},
      {{"--listen", "unix:/tmp/k.sock", "--socket-mode", "0066"}, 2, "--socket-mode takes"},
      {{"--listen", "unix:/tmp/k.sock", "--socket-group", "no-such-group-korvex"}, 2, "--socket-group takes"},
      {{"--listen", "127.0.0.1:9000", "--socket-mode", "0660"}, 2, "--socket-group need --listen unix:"},
      {{"--max-pixels", "22369622"}, 2, "--max-pixels takes a number from 1 to 22369621"},
      {{"--max-pixels", "0"}, 2, "--max-pixels takes"},
      {{"--max-age", "31536001"}, 2, "--max-age takes seconds from 0 to 31536000"},
      {{"--max-age", "-1"}, 2, "--max-age takes"},
      {{"--http-errors", "--max-age"}, 2, "--max-age needs a value"},
      {{"--allow-origin", "labels.example"}, 2, "--allow-origin takes * or an origin"},
      {{"--allow-origin", "https://a.example, https://b.example"}, 2, "--allow-origin takes"},
      {{"--process-slot", "x"}, 2, "a process could not start"},
      // Standard input is a pipe here, not a listening socket.
      {{}, 3, "standard input is not a listening socket"},
      {{"--listen", "unix:/nonexistent-directory/korvex.sock"}, 3, "cannot listen on"},
  };
  for (const Case& c : cases) {
    const ProcessResult result = RunProcess(TestPaths::kFcgi, c.args, {}, "", 10s);
    SCOPED_TRACE(c.message);
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.exitStatus, c.status);
    EXPECT_NE((c.status == 0 ? result.output : result.errorOutput).find(c.message), std::string::npos)
        << result.output << result.errorOutput;
  }
}

TEST_F(WorkerTest, StopsOnlyAfterTheRequestsInFlightAndRemovesItsSocket) {
  Start(2);
  struct stat socketStat {};
  ASSERT_EQ(stat(socket_.c_str(), &socketStat), 0);
  EXPECT_TRUE(S_ISSOCK(socketStat.st_mode));
  EXPECT_EQ(socketStat.st_mode & 0777, 0660u) << "a FastCGI socket is for its owner and group only";

  FastCgiResponse slow;
  std::thread client([&] { slow = Get(kSlowQuery); });
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(worker_->Stop()) << "the pool did not end by itself after SIGTERM";
  client.join();
  ASSERT_TRUE(slow.completed) << slow.error;
  EXPECT_EQ(slow.appStatus, 0u);
  PngInfo png;
  std::string error;
  EXPECT_TRUE(ReadPngResponse(slow.output, png, error)) << error;
  EXPECT_FALSE(std::filesystem::exists(socket_));
  const std::string log = worker_->Log();
  EXPECT_NE(log.find("NOTICE: ready on " + address_ + ": 2 processes, request timeout 10 s"), std::string::npos) << log;
  EXPECT_NE(log.find("NOTICE: stopping on SIGTERM"), std::string::npos) << log;
  EXPECT_EQ(Occurrences(log, " exited with status 0 after "), 2u) << log;
  EXPECT_NE(log.find("NOTICE: stopped\n"), std::string::npos) << log;
}

// Two clients keep both workers busy while one worker is killed: it is replaced within a
// second, only the request it had in flight may fail, and every answer is the right one.
TEST_F(WorkerTest, ReplacesAKilledWorkerWithinASecondUnderLoad) {
  Start(2);
  const std::string query = "data=Replaced&w=200&h=200";
  const FastCgiResponse reference = Get(query);
  ASSERT_TRUE(reference.completed) << reference.error;

  std::atomic<bool> loading{true};
  std::atomic<int> answered{0};
  std::atomic<int> failed{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 2; ++i) {
    clients.emplace_back([&] {
      for (int n = 0; loading && n < 20000; ++n) {
        const FastCgiResponse response = Get(query);
        if (!response.completed) {
          ++failed;
        } else if (response.appStatus != 0 || WithoutPngTime(response.output) != WithoutPngTime(reference.output)) {
          ++wrong;
        } else {
          ++answered;
        }
      }
    });
  }
  std::this_thread::sleep_for(300ms);
  const pid_t victim = ChildProcesses(worker_->Pid()).front();
  const auto killedAt = Clock::now();
  kill(victim, SIGKILL);
  const bool replaced = WaitForWorkers(2, victim, 2s);
  const auto replacedAfter = Clock::now() - killedAt;
  std::this_thread::sleep_for(300ms);
  loading = false;
  for (std::thread& client : clients) client.join();

  EXPECT_TRUE(replaced);
  EXPECT_LT(replacedAfter, 1s);
  EXPECT_EQ(wrong, 0);
  EXPECT_LE(failed, 1) << "only the killed worker's request in flight may fail";
  EXPECT_GT(answered, 10);
  EXPECT_TRUE(Get(query).completed);
}

// A client that stalls holds its worker until the time bound ends that process; the pool
// replaces it and serves on: one that announces a body and never sends it, and one that
// connects and sends nothing at all. The log names the cause and the request (its query cut at
// 200 characters), and the status page counts both ends and both replacements.
TEST_F(WorkerTest, EndsAWorkerWhoseRequestOutlastsTheTimeBound) {
  Start(1, {"--request-timeout", "1", "--status-path", kStatusPath});
  const std::string longQuery = "stalled=" + std::string(192, 'q') + std::string(100, 'z');
  for (const bool sendsHalfARequest : {true, false}) {
    SCOPED_TRACE(sendsHalfARequest ? "body announced, never sent" : "nothing sent");
    const pid_t first = ChildProcesses(worker_->Pid()).front();
    FastCgiConnection stalled(address_);
    ASSERT_TRUE(stalled.Connected());
    if (sendsHalfARequest) {
      std::vector<EnvironmentVariable> request = PostRequest("100");
      request.emplace_back("QUERY_STRING", longQuery);
      ASSERT_TRUE(stalled.SendRequest(request, "data=only ten", false));
    }
    const auto sent = Clock::now();
    const FastCgiResponse response = stalled.ReadResponse(10s);
    const auto ended = Clock::now() - sent;
    EXPECT_FALSE(response.completed);
    EXPECT_EQ(response.output, "");
    EXPECT_GE(ended, 900ms);
    EXPECT_LT(ended, 5s);
    ASSERT_TRUE(WaitForWorkers(1, first, 2s));
    const FastCgiResponse next = Get("data=next");
    EXPECT_TRUE(next.completed) << next.error;
    EXPECT_EQ(next.appStatus, 0u);
    const std::string log = worker_->Log();
    const std::string end = "process " + std::to_string(first) + " ended by the request time bound (1 s)";
    const std::string cause = sendsHalfARequest
                                  ? " while serving POST \"" + longQuery.substr(0, 200) + "\" with a body of 100 bytes"
                                  : " while reading a request";
    EXPECT_NE(log.find(end), std::string::npos) << log;
    EXPECT_NE(log.find(cause + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("started in place of " + std::to_string(first)), std::string::npos) << log;
    // A replacement that starts within a second of its predecessor waits a moment first; give
    // the next round a worker that has lived past that.
    std::this_thread::sleep_for(1s);
  }
  const std::string status = Status();
  EXPECT_NE(status.find("time-bound ends:      2\n"), std::string::npos) << status;
  EXPECT_NE(status.find("replacements:         2\n"), std::string::npos) << status;
}

// The status page counts what was sent: every request accepted, each by its exit status, the
// status request itself in flight. Other paths, and requests that name none, are answered as
// without the option. One process, so that none is still finishing the request before.
TEST_F(WorkerTest, StatusPageCountsTheRequestsSent) {
  Start(1, {"--status-path", kStatusPath});
  struct Sent {
    std::vector<EnvironmentVariable> request;
    std::string body;
    uint32_t status;
    int times;
  };
  std::vector<EnvironmentVariable> otherPath = GetRequest("data=other");
  otherPath.emplace_back("SCRIPT_NAME", "/cgi-bin/korvex.cgi");
  const Sent sent[] = {
      {GetRequest("data=counted"), "", 0, 3},
      {otherPath, "", 0, 1},
      {GetRequest("help=1"), "", 0, 1},
      {GetRequest("qsize=-1"), "", 1, 2},
      {PostRequest("3601"), "", 5, 1},
      {GetRequest("fmt=1&data=" + std::string(40, 'x')), "", 10, 2},
  };
  for (const Sent& each : sent) {
    for (int i = 0; i < each.times; ++i) {
      const FastCgiResponse response = SendFastCgiRequest(address_, each.request, each.body);
      ASSERT_TRUE(response.completed) << response.error;
      EXPECT_EQ(response.appStatus, each.status);
    }
  }
  EXPECT_EQ(WithoutPngTime(SendFastCgiRequest(address_, otherPath).output), WithoutPngTime(Get("data=other").output));

  const std::string text = Status();
  EXPECT_EQ(text.rfind("Content-Type: text/plain; charset=utf-8\nCache-Control: no-store\n\nstart time:", 0), 0u)
      << text;
  for (const char* line : {"accepted requests:    13\n", "active processes:     1\n", "idle processes:       0\n",
                           "total processes:      1\n", "time-bound ends:      0\n", "replacements:         0\n",
                           "exit status 0:        7\n", "exit status 1:        2\n", "exit status 5:        1\n",
                           "exit status 10:       2\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
  // The first status request is counted now; the page is found by DOCUMENT_URI as well.
  std::vector<EnvironmentVariable> byDocument = GetRequest("full&json");
  byDocument.emplace_back("DOCUMENT_URI", kStatusPath);
  const std::string json = SendFastCgiRequest(address_, byDocument).output;
  EXPECT_EQ(json.rfind("Content-Type: application/json\n", 0), 0u) << json;
  EXPECT_NE(json.find("\"accepted requests\":14,\"active processes\":1,\"idle processes\":0,\"total processes\":1,"
                      "\"time-bound ends\":0,\"replacements\":0,\"requests by exit status\":{\"0\":8,\"1\":2,\"5\":1,"
                      "\"10\":2}}\n"),
            std::string::npos)
      << json;
}

// --max-pixels refuses a larger image with code 3, and its page under debug; up to the cap the
// image is the one the worker draws without the option.
TEST_F(WorkerTest, RefusesImagesOverItsPixelCap) {
  Start(1, {"--max-pixels", "40000"});
  struct Case {
    std::string query;
    uint32_t status;
    bool image;
  };
  const Case cases[] = {
      {"data=cap&w=200&h=200", 0, true},
      {"data=cap&w=200&h=201", 3, false},
      {"data=cap&w=699&h=699&debug=1", 3, false},
      {"data=cap&xdim=40", 3, false},
      {"data=cap&xdim=16", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    const FastCgiResponse response = Get(c.query);
    ASSERT_TRUE(response.completed) << response.error;
    EXPECT_EQ(response.appStatus, c.status);
    if (c.image) {
      const ProcessResult cgi = RunCgi(GetRequest(c.query));
      EXPECT_TRUE(WithoutPngTime(response.output) == WithoutPngTime(cgi.output)) << "not the CGI program's image";
    } else if (c.query.find("debug") != std::string::npos) {
      EXPECT_NE(response.output.find("Content-type: text/html"), std::string::npos) << response.output.substr(0, 200);
    } else {
      EXPECT_EQ(response.output, "");
    }
  }
}

// A second worker on the path of a running one refuses to start and leaves its socket alone; a
// socket file that nothing serves any more is taken over. The socket gets the mode and group
// asked for.
TEST_F(WorkerTest, LeavesALiveSocketAloneAndReplacesAStaleOne) {
  const std::filesystem::path stale = scratch_.Path() / "korvex.sock";
  ASSERT_TRUE(MakeStaleSocket(stale));
  // Root may give the socket to any group; anyone else to a group of its own.
  const group* nogroup = getgrnam("nogroup");
  const gid_t group = geteuid() == 0 && nogroup != nullptr ? nogroup->gr_gid : getegid();
  Start(1, {"--socket-mode", "0600", "--socket-group", std::to_string(group)});
  struct stat socketStat {};
  ASSERT_EQ(stat(socket_.c_str(), &socketStat), 0);
  EXPECT_EQ(socketStat.st_mode & 0777, 0600u);
  EXPECT_EQ(socketStat.st_gid, group);

  const ProcessResult second = RunProcess(TestPaths::kFcgi, {"--listen", address_, "--workers", "1"}, {}, "", 10s);
  ASSERT_TRUE(second.exited);
  EXPECT_EQ(second.exitStatus, 3);
  EXPECT_NE(second.errorOutput.find("cannot listen on " + address_ + ": a server is running there"), std::string::npos)
      << second.errorOutput;
  struct stat after {};
  ASSERT_EQ(stat(socket_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, socketStat.st_ino) << "the running worker's socket was replaced";
  const FastCgiResponse served = Get("data=first");
  EXPECT_TRUE(served.completed) << served.error;
}

// A connection that the web server keeps open holds its process only until it has been idle
// for the idle timeout: then the process closes it and serves the next connection.
TEST_F(WorkerTest, ClosesAKeptConnectionLeftIdle) {
  Start(1, {"--idle-timeout", "1"});
  FastCgiConnection kept(address_);
  kept.KeepOpen();
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(kept.SendRequest(GetRequest("data=kept"), ""));
    const FastCgiResponse response = kept.ReadResponse(10s);
    ASSERT_TRUE(response.completed) << "request " << i << " on the kept connection: " << response.error;
  }
  // The one process is held by the kept connection until it gives it up.
  const FastCgiResponse other = SendFastCgiRequest(address_, GetRequest("data=other"), "", 10s);
  EXPECT_TRUE(other.completed) << other.error;
  EXPECT_EQ(kept.ReadResponse(10s).error, "connection closed before the end of the request");
  EXPECT_EQ(worker_->Log().find("WARNING"), std::string::npos) << worker_->Log();
}

// Input a request leaves unread (a body beyond its CONTENT_LENGTH, a GET's input) stays in a
// kept connection, beyond what libfcgi has buffered, where the next request must not take it
// for its own start.
TEST_F(WorkerTest, KeptConnectionOutlivesInputARequestLeftUnread) {
  Start(1);
  FastCgiConnection kept(address_);
  kept.KeepOpen();
  const std::pair<std::vector<EnvironmentVariable>, std::string> requests[] = {
      {PostRequest("6"), "data=A" + std::string(20000, '&')},
      {GetRequest("data=B"), std::string(30000, 'x')},
      {GetRequest("data=C"), ""},
  };
  for (const auto& [parameters, body] : requests) {
    ASSERT_TRUE(kept.SendRequest(parameters, body));
    const FastCgiResponse response = kept.ReadResponse(10s);
    ASSERT_TRUE(response.completed) << body << ": " << response.error;
    EXPECT_EQ(response.appStatus, 0u) << body;
  }
}

// SIGHUP under load from four clients: every process is replaced, one after another, by one
// running the binary as it is on disk now, and no request fails or is answered wrongly.
TEST_F(WorkerTest, ReloadReplacesEveryProcessUnderLoadWithoutLosingARequest) {
  const std::filesystem::path installed = scratch_.Path() / "korvex.fcgi";
  std::filesystem::copy_file(TestPaths::kFcgi, installed);
  program_ = installed.string();
  Start(2);
  const std::vector<pid_t> before = ChildProcesses(worker_->Pid());

  struct Expected {
    std::vector<EnvironmentVariable> request;
    std::string body;
    uint32_t status;
    std::string output;
  };
  std::vector<Expected> mix = {{GetRequest("data=Reloaded&w=200&h=200"), "", 0, ""},
                               {PostRequest("21"), "data=Posted&xdim=3&x=", 0, ""},
                               {GetRequest("help=1"), "", 0, ""},
                               {GetRequest("qsize=-1"), "", 1, ""},
                               {GetRequest("data=Large&w=699&h=699&angle=90"), "", 0, ""}};
  for (Expected& each : mix) {
    const FastCgiResponse reference = SendFastCgiRequest(address_, each.request, each.body);
    ASSERT_TRUE(reference.completed && reference.appStatus == each.status) << reference.error;
    each.output = WithoutPngTime(reference.output);
  }

  std::atomic<bool> loading{true};
  std::atomic<int> answered{0};
  std::atomic<int> failed{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> clients;
  for (int client = 0; client < 4; ++client) {
    clients.emplace_back([&, client] {
      for (std::size_t n = static_cast<std::size_t>(client); loading; ++n) {
        const Expected& each = mix[n % mix.size()];
        const FastCgiResponse response = SendFastCgiRequest(address_, each.request, each.body);
        if (!response.completed) {
          ++failed;
        } else if (response.appStatus != each.status || WithoutPngTime(response.output) != each.output) {
          ++wrong;
        } else {
          ++answered;
        }
      }
    });
  }
  // The binary is installed anew (a new file in place of the old, as an upgrade does), then
  // the pool is told to take it up.
  std::this_thread::sleep_for(1s);
  const std::filesystem::path upgrade = scratch_.Path() / "korvex.fcgi.new";
  std::filesystem::copy_file(TestPaths::kFcgi, upgrade);
  std::filesystem::rename(upgrade, installed);
  for (const pid_t pid : before) EXPECT_NE(ProgramOf(pid).find("(deleted)"), std::string::npos);
  kill(worker_->Pid(), SIGHUP);
  std::this_thread::sleep_for(4s);
  const bool reloadedUnderLoad = worker_->Log().find("reload complete") != std::string::npos;
  loading = false;
  for (std::thread& client : clients) client.join();

  EXPECT_EQ(failed, 0);
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(answered, 10);
  EXPECT_TRUE(reloadedUnderLoad) << "a process asked to leave did so only once the load had ended";
  // A process that was serving a large image when the reload reached it may still be leaving.
  for (const auto deadline = Clock::now() + 10s;
       Clock::now() < deadline && worker_->Log().find("reload complete") == std::string::npos;) {
    std::this_thread::sleep_for(10ms);
  }
  const std::vector<pid_t> after = ChildProcesses(worker_->Pid());
  ASSERT_EQ(after.size(), 2u);
  for (const pid_t pid : after) {
    EXPECT_EQ(std::find(before.begin(), before.end(), pid), before.end()) << pid << " was not replaced";
    EXPECT_EQ(ProgramOf(pid), installed.string()) << "not the binary installed now";
  }
  const std::string log = worker_->Log();
  EXPECT_EQ(Occurrences(log, "reloading: replacing 2 processes one after another\n"), 1u) << log;
  for (const pid_t pid : before) {
    EXPECT_EQ(Occurrences(log, "started in place of " + std::to_string(pid) + "\n"), 1u) << log;
    EXPECT_EQ(Occurrences(log, "NOTICE: process " + std::to_string(pid) + " exited with status 0"), 1u) << log;
  }
  EXPECT_EQ(Occurrences(log, "reload complete\n"), 1u) << log;
  EXPECT_EQ(log.find("WARNING"), std::string::npos) << log;
  std::printf("%d requests answered by 4 clients around the reload\n", answered.load());
}

// With its program file gone, a reload still leaves a pool that serves: each new process runs
// the code it was forked from, and the log says so.
TEST_F(WorkerTest, ReloadWithTheProgramGoneServesOn) {
  const std::filesystem::path installed = scratch_.Path() / "korvex.fcgi";
  std::filesystem::copy_file(TestPaths::kFcgi, installed);
  program_ = installed.string();
  Start(1);
  const pid_t old = ChildProcesses(worker_->Pid()).front();
  std::filesystem::remove(installed);
  kill(worker_->Pid(), SIGHUP);
  ASSERT_TRUE(WaitForWorkers(1, old, 5s)) << worker_->Log();
  const FastCgiResponse response = Get("data=still");
  EXPECT_TRUE(response.completed) << response.error;
  EXPECT_EQ(response.appStatus, 0u);
  EXPECT_NE(worker_->Log().find("WARNING: cannot run " + installed.string() + " (No such file or directory)"),
            std::string::npos)
      << worker_->Log();
}

// A new program that cannot serve halts the reload after its first process: the processes not
// yet replaced serve on, and a second SIGHUP, once the program is right again, completes it.
TEST_F(WorkerTest, ReloadHaltsWhenTheNewProgramCannotServe) {
  const std::filesystem::path installed = scratch_.Path() / "korvex.fcgi";
  std::filesystem::copy_file(TestPaths::kFcgi, installed);
  program_ = installed.string();
  Start(2);
  const std::vector<pid_t> before = ChildProcesses(worker_->Pid());
  const auto waitForLog = [this](const std::string& text) {
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline && worker_->Log().find(text) == std::string::npos) std::this_thread::sleep_for(10ms);
    return worker_->Log().find(text) != std::string::npos;
  };
  const std::filesystem::path broken = scratch_.Path() / "broken";
  {
    std::ofstream script(broken);
    script << "#!/bin/sh\nexit 2\n";
  }
  std::filesystem::permissions(broken, std::filesystem::perms::owner_all);
  std::filesystem::rename(broken, installed);
  kill(worker_->Pid(), SIGHUP);
  ASSERT_TRUE(waitForLog("ERROR: reload halted: process ")) << worker_->Log();
  const auto oldLeft = [&] {
    const std::vector<pid_t> now = ChildProcesses(worker_->Pid());
    return std::count_if(before.begin(), before.end(),
                         [&](pid_t pid) { return std::find(now.begin(), now.end(), pid) != now.end(); });
  };
  // The first old process, asked to leave before the halt, may take a moment to end; the other
  // is not asked at all, however long the reload would have waited for it.
  for (const auto deadline = Clock::now() + 5s; Clock::now() < deadline && oldLeft() > 1;) {
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(oldLeft(), 1) << "one process of the old program should be left serving\n" << worker_->Log();
  const FastCgiResponse served = Get("data=halted");
  EXPECT_TRUE(served.completed) << served.error;

  std::filesystem::copy_file(TestPaths::kFcgi, installed, std::filesystem::copy_options::overwrite_existing);
  kill(worker_->Pid(), SIGHUP);
  ASSERT_TRUE(waitForLog("reload complete")) << worker_->Log();
  EXPECT_TRUE(WaitForWorkers(2, before.back(), 5s));
  EXPECT_TRUE(WaitForWorkers(2, before.front(), 5s));
  EXPECT_TRUE(Get("data=whole").completed);
}

// A pool killed outright cannot pass the stop on; its workers end by themselves.
TEST_F(WorkerTest, WorkersEndWithTheirPool) {
  Start(2);
  const std::vector<pid_t> workers = ChildProcesses(worker_->Pid());
  kill(worker_->Pid(), SIGKILL);
  const auto deadline = Clock::now() + 2s;
  // Ended workers are reparented and may stay zombies for a while: those count as ended.
  const auto alive = [](pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField, name, state;
    return stat >> pidField >> name >> state && state != "Z";
  };
  while (Clock::now() < deadline && std::any_of(workers.begin(), workers.end(), alive)) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_FALSE(std::any_of(workers.begin(), workers.end(), alive));
}

// A client that leaves before its large answer is written costs nothing: the same worker
// process (no replacement) answers the next request.
TEST_F(WorkerTest, OutlivesAClientThatLeavesDuringItsAnswer) {
  Start(1);
  const pid_t worker = ChildProcesses(worker_->Pid()).front();
  {
    FastCgiConnection leaving(address_);
    ASSERT_TRUE(leaving.SendRequest(GetRequest(kSlowQuery), ""));
  }
  const FastCgiResponse next = Get("data=still%20here");
  EXPECT_TRUE(next.completed) << next.error;
  EXPECT_EQ(next.appStatus, 0u);
  EXPECT_EQ(ChildProcesses(worker_->Pid()), std::vector<pid_t>{worker});
}

// Mixed requests, all answered by one worker process: its memory after the whole run stays
// within 4 MiB of what it was after the first thousand. The sanitizers keep freed memory in
// quarantine, so there the run is shorter and only the answers count.
TEST_F(WorkerTest, MemoryStaysFlatOverAHundredThousandRequests) {
  Start(1);
  const pid_t worker = ChildProcesses(worker_->Pid()).front();
  struct Request {
    std::vector<EnvironmentVariable> environment;
    std::string body;
    uint32_t status;
  };
  // Cheap requests, so that the run is long in count rather than in time; each kind of answer
  // is among them.
  const std::vector<Request> mix = {
      {GetRequest(""), "", 0},
      {GetRequest("data=Label%20" + std::to_string(4711) + "&w=60&h=60&mode=2"), "", 0},
      {GetRequest("data=Hello%20World&angle=90&bcolor=ff0000&xdim=2"), "", 0},
      {PostRequest("25"), "data=posted&mode=3&xdim=1", 0},
      {GetRequest("help=1"), "", 0},
      {GetRequest("debug=1&qsize=-1"), "", 1},
      {GetRequest("fmt=1&data=" + std::string(40, 'x')), "", 10},
      {GetRequest("mode=6&debug=1&data=lower"), "", 5},
      {PostRequest("3601"), "", 5},
      {GetRequest("debug=1&data=" + std::string(1600, '9') + "&mode=4"), "", 5},
  };
  const int total = kSanitized ? 5000 : 100000;
  long afterFirstThousand = 0;
  int wrong = 0;
  for (int n = 0; n < total; ++n) {
    const Request& request = mix[static_cast<std::size_t>(n) % mix.size()];
    const FastCgiResponse response = SendFastCgiRequest(address_, request.environment, request.body);
    if (!response.completed || response.appStatus != request.status) ++wrong;
    if (n + 1 == 1000) afterFirstThousand = ResidentKiB(worker);
  }
  const long afterAll = ResidentKiB(worker);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(ChildProcesses(worker_->Pid()), std::vector<pid_t>{worker}) << "the worker was replaced on the way";
  std::printf("worker resident after 1000 requests: %ld KiB, after %d: %ld KiB\n", afterFirstThousand, total,
              afterAll);
  if (!kSanitized) {
    EXPECT_LE(afterAll - afterFirstThousand, 4 * 1024);
  }
}

}  // namespace
