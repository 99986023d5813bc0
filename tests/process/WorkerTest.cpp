// The FastCGI worker as a process pool: its command line, its socket, a graceful stop, workers
// killed under load or by the request time bound, and memory over a long run. What it answers
// is compared with the CGI program in HostileRequestTest and through nginx in DeploymentTest.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
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

class WorkerTest : public ::testing::Test {
 protected:
  void Start(int workers, const std::vector<std::string>& moreArgs = {}) {
    ASSERT_FALSE(scratch_.Path().empty());
    socket_ = scratch_.Path() / "korvex.sock";
    address_ = "unix:" + socket_.string();
    worker_ = std::make_unique<LocalServer>(FastCgiWorker(address_, workers, scratch_.Path() / "worker.log", moreArgs));
    ASSERT_TRUE(WaitForFastCgiSocket(address_, 10s)) << worker_->Log();
    ASSERT_TRUE(WaitForWorkers(static_cast<std::size_t>(workers), -1, 5s));
  }

  FastCgiResponse Get(const std::string& query) { return SendFastCgiRequest(address_, GetRequest(query)); }

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
// connects and sends nothing at all.
TEST_F(WorkerTest, EndsAWorkerWhoseRequestOutlastsTheTimeBound) {
  Start(1, {"--request-timeout", "1"});
  for (const bool sendsHalfARequest : {true, false}) {
    SCOPED_TRACE(sendsHalfARequest ? "body announced, never sent" : "nothing sent");
    const pid_t first = ChildProcesses(worker_->Pid()).front();
    FastCgiConnection stalled(address_);
    ASSERT_TRUE(stalled.Connected());
    if (sendsHalfARequest) {
      ASSERT_TRUE(stalled.SendRequest(PostRequest("100"), "data=only ten", false));
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
    // A replacement that starts within a second of its predecessor waits a moment first; give
    // the next round a worker that has lived past that.
    std::this_thread::sleep_for(1s);
  }
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
