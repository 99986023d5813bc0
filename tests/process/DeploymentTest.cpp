// The server configurations under deploy/, each started for real on a free loopback port with
// a copy of the built programs: images by GET and POST read back by zxing-cpp, the error page
// of a failed request, and the demo page. Then what only the FastCGI worker's configurations
// promise: the same answers through nginx as the CGI's under fcgiwrap, nginx's cache, and an
// upstream of three worker instances that loses one under load.
#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "process/CgiResponse.h"
#include "support/CgiProcess.h"
#include "support/Decoders.h"
#include "support/FastCgiClient.h"
#include "support/LocalServer.h"
#include "support/Paths.h"
#include "support/PngReader.h"
#include "support/ReadBack.h"
#include "support/ScratchDirectory.h"

using namespace korvex::internal;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Where the nginx examples pass the worker's status page on.
constexpr const char* kStatusPath = "/korvex-status";

bool WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
  return static_cast<bool>(out);
}

// The template with every @NAME@ replaced; names left over are reported in *missing.
std::string FillTemplate(std::string text, const std::map<std::string, std::string>& fields, std::string* missing) {
  for (const auto& [name, value] : fields) {
    const std::string marker = "@" + name + "@";
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + value.size())) {
      text.replace(at, marker.size(), value);
    }
  }
  std::smatch leftOver;
  if (std::regex_search(text, leftOver, std::regex("@[A-Z0-9_]+@"))) {
    *missing = leftOver.str();
  }
  return text;
}

struct HttpResult {
  int status = 0;
  std::string contentType;
  std::string cacheStatus;  // nginx's X-Cache-Status header, where it sends one
  std::string body;
  std::string error;  // curl's complaint when the request did not complete
  std::map<std::string, std::string> headers;  // by lower-case name, the last one of each

  std::string Header(const std::string& lowerCaseName) const {
    const auto found = headers.find(lowerCaseName);
    return found != headers.end() ? found->second : "";
  }
};

// The header lines of the last answer that curl wrote to the file (-D), by lower-case name.
std::map<std::string, std::string> ReadHeaders(const fs::path& file) {
  std::map<std::string, std::string> headers;
  std::istringstream lines(ReadFile(file));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) headers.clear();
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    headers[name] = line.substr(line.find_first_not_of(' ', colon + 1) == std::string::npos
                                    ? line.size()
                                    : line.find_first_not_of(' ', colon + 1));
  }
  return headers;
}

// One request through curl; post is sent as an application/x-www-form-urlencoded body. from,
// when given, is the loopback address the request comes from (127.0.0.2 and so on), so that
// the server sees clients of their own.
// curlArgs go before the address: header fields (-H) or another method (-X).
HttpResult Request(const std::string& url, const fs::path& bodyFile, const std::string* post = nullptr,
                   const std::string& from = "", const std::vector<std::string>& curlArgs = {}) {
  // curl leaves the file alone when the answer has no body.
  std::error_code ignored;
  fs::remove(bodyFile, ignored);
  const fs::path headerFile = bodyFile.string() + ".headers";
  std::vector<std::string> args = {"-sS", "--max-time", "20", "-o", bodyFile.string(), "-D", headerFile.string(), "-w",
                                   "%{http_code}\n%{content_type}\n%header{x-cache-status}\n"};
  args.insert(args.end(), curlArgs.begin(), curlArgs.end());
  if (post != nullptr) {
    args.push_back("--data-binary");
    args.push_back(*post);
  }
  if (!from.empty()) {
    args.push_back("--interface");
    args.push_back(from);
  }
  args.push_back(url);
  const ProcessResult run = RunProcess("/usr/bin/curl", args, {}, "");
  HttpResult result;
  result.error = run.errorOutput;
  std::istringstream written(run.output);
  std::string status;
  std::getline(written, status);
  result.status = std::atoi(status.c_str());
  std::getline(written, result.contentType);
  std::getline(written, result.cacheStatus);
  result.body = ReadFile(bodyFile);
  result.headers = ReadHeaders(headerFile);
  return result;
}

std::optional<Decoded> ReadPngSymbol(const std::string& png, std::string& error) {
  PngInfo info;
  if (!ReadPng(png, info, &error)) {
    return std::nullopt;
  }
  return ReadWithZxing(ToRaster(info));
}

// The options that deploy/korvex-fcgi.service starts the worker with: what the examples' workers
// run with, --http-errors and the status page among them.
std::vector<std::string> UnitWorkerOptions() {
  std::istringstream unit(ReadFile(fs::path(TestPaths::kSourceDir) / "deploy" / "korvex-fcgi.service"));
  std::vector<std::string> options;
  for (std::string line; std::getline(unit, line);) {
    if (line.rfind("ExecStart=", 0) != 0) continue;
    std::istringstream words(line.substr(line.find(' ') + 1));
    for (std::string word; words >> word;) options.push_back(word);
  }
  return options;
}

// True when both bodies are the same PNG apart from its time of writing, or the same bytes.
bool SameAnswer(const std::string& a, const std::string& b) { return WithoutPngTime(a) == WithoutPngTime(b); }

enum class Server { kLighttpd, kNginx, kApache };

// What runs behind the server: nothing (it runs korvex.cgi, or starts korvex.fcgi, itself),
// fcgiwrap, korvex.fcgi on a unix socket, or three korvex.fcgi instances on loopback ports,
// each standing for a machine of its own.
enum class Backend { kNone, kFcgiwrap, kWorkerSocket, kWorkerPorts };

struct Deployment {
  const char* name;
  const char* config;  // the template under deploy/
  Server server;
  Backend backend;
};

void PrintTo(const Deployment& deployment, std::ostream* out) { *out << deployment.name; }

const Deployment kDeployments[] = {
    {"lighttpd", "lighttpd.conf.in", Server::kLighttpd, Backend::kNone},
    {"nginx_fcgiwrap", "nginx-fcgiwrap.conf.in", Server::kNginx, Backend::kFcgiwrap},
    {"apache2_cgid", "apache2-cgid.conf.in", Server::kApache, Backend::kNone},
    {"nginx_fastcgi", "nginx-fastcgi.conf.in", Server::kNginx, Backend::kWorkerSocket},
    // lighttpd starts the worker with the listening socket as its standard input.
    {"lighttpd_fastcgi", "lighttpd-fastcgi.conf.in", Server::kLighttpd, Backend::kNone},
    {"apache2_proxy_fcgi", "apache2-proxy-fcgi.conf.in", Server::kApache, Backend::kWorkerSocket},
    {"nginx_upstream", "nginx-upstream.conf.in", Server::kNginx, Backend::kWorkerPorts},
};

const Deployment& Named(const std::string& name) {
  for (const Deployment& deployment : kDeployments) {
    if (name == deployment.name) {
      return deployment;
    }
  }
  std::abort();
}

const char* ServerBinary(Server server) {
  switch (server) {
    case Server::kLighttpd:
      return "/usr/sbin/lighttpd";
    case Server::kNginx:
      return "/usr/sbin/nginx";
    case Server::kApache:
      return "/usr/sbin/apache2";
  }
  return "";
}

class DeploymentFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // Under /tmp with world-readable directories: Apache runs the program as an
    // unprivileged account, which must reach it.
    root_ = scratch_.Path();
    ASSERT_FALSE(root_.empty()) << "no directory could be made under /tmp";
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(root_ / "www");
    fs::create_directories(root_ / "cgi-bin");
    fs::create_directories(root_ / "bin");
    fs::copy(fs::path(TestPaths::kSourceDir) / "www", root_ / "www", fs::copy_options::recursive);
    fs::copy_file(TestPaths::kCgi, root_ / "cgi-bin" / "korvex.cgi");
    fs::copy_file(TestPaths::kFcgi, root_ / "bin" / "korvex.fcgi");
    // The workers' unix sockets (mode 0660) are for the group that nginx's and Apache's
    // unprivileged processes run as. A set-group-ID directory of that group gives it to every
    // socket made in it, as a runtime directory of the web server's group does in production.
    const group* nogroup = getgrnam("nogroup");
    ASSERT_NE(nogroup, nullptr) << "no group nogroup";
    socketDir_ = root_ / "run";
    fs::create_directories(socketDir_);
    ASSERT_EQ(chown(socketDir_.c_str(), geteuid(), nogroup->gr_gid), 0) << "cannot give " << socketDir_ << " to nogroup";
    fs::permissions(socketDir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::set_gid);
    fields_ = {{"DOCUMENT_ROOT", (root_ / "www").string()},
               {"DOCS_DIR", (fs::path(TestPaths::kSourceDir) / "docs").string()},
               {"CGI_PATH", (root_ / "cgi-bin" / "korvex.cgi").string()},
               {"FCGI_PATH", (root_ / "bin" / "korvex.fcgi").string()},
               {"MODULE_DIR", "/usr/lib/apache2/modules"},
               {"RUN_USER", "nobody"},
               {"RUN_GROUP", "nogroup"}};
  }

  // The servers go before their directory does. In the sanitizer build the programs behind
  // them report in the servers' logs, which nothing else reads.
  void TearDown() override {
    workers_.clear();
    servers_.clear();
    const std::string logs = Logs();
    EXPECT_EQ(logs.find("Sanitizer"), std::string::npos) << logs;
    EXPECT_EQ(logs.find("runtime error:"), std::string::npos) << logs;
  }

  // Starts the deployment, and what runs behind it, on a free port with a state directory of
  // its own (root/<name>), and waits until it accepts connections. Its port, or -1.
  int StartDeployment(const Deployment& deployment) {
    std::vector<const char*> binaries = {ServerBinary(deployment.server)};
    if (deployment.backend == Backend::kFcgiwrap) {
      binaries.push_back("/usr/sbin/fcgiwrap");
    }
    for (const char* binary : binaries) {
      if (!fs::exists(binary)) {
        ADD_FAILURE() << binary << " is not installed; scripts/install-deps.sh test installs it";
        return -1;
      }
    }
    const fs::path state = root_ / deployment.name;
    fs::create_directories(state);
    const int port = FreePort();
    std::map<std::string, std::string> fields = fields_;
    fields["PORT"] = std::to_string(port);
    fields["STATE_DIR"] = state.string();
    fields["CACHE_DIR"] = (state / "cache").string();

    if (deployment.backend == Backend::kFcgiwrap) {
      const std::string address = "127.0.0.1:" + std::to_string(FreePort());
      fields["FCGIWRAP_ADDRESS"] = address;
      // One process, no preforked children: nothing outlives it.
      Start({"/usr/sbin/fcgiwrap", "-c", "1", "-p", fields["CGI_PATH"], "-s", "tcp:" + address}, state / "fcgiwrap.log");
    } else if (deployment.backend == Backend::kWorkerSocket) {
      const std::string socket = (socketDir_ / (std::string(deployment.name) + ".socket")).string();
      fields["WORKER_ADDRESS"] = "unix:" + socket;
      fields["WORKER_URL"] = "unix:" + socket + "|fcgi://localhost/";
      if (!StartWorker("unix:" + socket, 2, state / "worker.log")) {
        return -1;
      }
    } else if (deployment.backend == Backend::kWorkerPorts) {
      for (int i = 1; i <= 3; ++i) {
        const std::string address = "127.0.0.1:" + std::to_string(FreePort());
        fields["WORKER_" + std::to_string(i)] = address;
        if (!StartWorker(address, 1, state / ("worker-" + std::to_string(i) + ".log"))) {
          return -1;
        }
      }
    }

    const std::string config = Configure(deployment.config, fields, state).string();
    switch (deployment.server) {
      case Server::kLighttpd:
        Start({"/usr/sbin/lighttpd", "-D", "-f", config}, state / "server.log");
        break;
      case Server::kNginx:
        Start({"/usr/sbin/nginx", "-p", state.string() + "/", "-e", (state / "error.log").string(), "-g", "daemon off;",
               "-c", config},
              state / "server.log");
        break;
      case Server::kApache:
        Start({"/usr/sbin/apache2", "-f", config, "-DFOREGROUND"}, state / "server.log");
        break;
    }
    return WaitUntilAccepting(port, AllServers(), 15s) ? port : -1;
  }

  // Fills deploy/<name> into the state directory and returns the written file.
  fs::path Configure(const std::string& name, const std::map<std::string, std::string>& fields, const fs::path& state) {
    std::string missing;
    const std::string text = FillTemplate(ReadFile(fs::path(TestPaths::kSourceDir) / "deploy" / name), fields, &missing);
    EXPECT_TRUE(missing.empty()) << name << " has a field the test does not fill: " << missing;
    const fs::path config = state / fs::path(name).stem();
    EXPECT_TRUE(WriteFile(config, text));
    return config;
  }

  // A server in a process group of its own, so that its workers and children go with it: the
  // group is sent SIGTERM, and SIGKILL for whatever is left after five seconds or once the
  // server itself has gone.
  LocalServer& Start(const std::vector<std::string>& argv, const fs::path& log) {
    LocalServerOptions options;
    options.argv = argv;
    options.log = log;
    options.ownProcessGroup = true;
    options.stopSignal = SIGTERM;
    options.stopTimeout = 5s;
    servers_.push_back(std::make_unique<LocalServer>(std::move(options)));
    return *servers_.back();
  }

  // korvex.fcgi with `processes` worker processes on its own socket (unix:PATH or
  // 127.0.0.1:PORT); true once it accepts connections there.
  bool StartWorker(const std::string& listen, int processes, const fs::path& log) {
    const std::vector<std::string> unitOptions = UnitWorkerOptions();
    EXPECT_NE(std::find(unitOptions.begin(), unitOptions.end(), kStatusPath), unitOptions.end());
    LocalServerOptions options = FastCgiWorker(listen, processes, log, unitOptions);
    options.argv[0] = fields_["FCGI_PATH"];  // the copy that the servers' accounts can reach
    options.ownProcessGroup = true;
    servers_.push_back(std::make_unique<LocalServer>(std::move(options)));
    workers_.push_back(servers_.back().get());
    return WaitForFastCgiSocket(listen, 10s) && workers_.back()->Running();
  }

  std::vector<LocalServer*> AllServers() const {
    std::vector<LocalServer*> running;
    for (const auto& server : servers_) {
      running.push_back(server.get());
    }
    return running;
  }

  // Every log of every deployment started.
  std::string Logs() const {
    std::string logs;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      if (entry.is_regular_file() && entry.path().extension() == ".log") {
        logs += "--- " + entry.path().lexically_relative(root_).string() + "\n" + ReadFile(entry.path());
      }
    }
    return logs;
  }

  static std::string Url(int port, const std::string& target) {
    return "http://127.0.0.1:" + std::to_string(port) + target;
  }
  fs::path BodyFile(const std::string& name = "body") const { return root_ / name; }

  ScratchDirectory scratch_{"korvex-deploy"};
  fs::path root_;
  fs::path socketDir_;
  std::map<std::string, std::string> fields_;
  std::vector<std::unique_ptr<LocalServer>> servers_;
  std::vector<LocalServer*> workers_;  // the korvex.fcgi instances among the servers
};

class DeploymentTest : public DeploymentFixture, public ::testing::WithParamInterface<Deployment> {};

TEST_P(DeploymentTest, ServesReadableImagesErrorPagesAndTheDemoPage) {
  const int port = StartDeployment(GetParam());
  ASSERT_GT(port, 0) << GetParam().name << " did not come up\n" << Logs();

  const std::string getData = std::string("Served by ") + GetParam().name;
  const std::string getQuery = "data=Served+by+" + std::string(GetParam().name) + "&w=200&h=200";
  HttpResult got = Request(Url(port, "/cgi-bin/korvex.cgi?" + getQuery), BodyFile());
  // mod_cgid's daemon may still be starting when the port already accepts.
  for (int retry = 0; retry < 20 && got.status == 503; ++retry) {
    std::this_thread::sleep_for(100ms);
    got = Request(Url(port, "/cgi-bin/korvex.cgi?" + getQuery), BodyFile());
  }
  ASSERT_EQ(got.status, 200) << got.error << "\n" << Logs();
  EXPECT_EQ(got.contentType, "image/png");
  std::string error;
  std::optional<Decoded> read = ReadPngSymbol(got.body, error);
  ASSERT_TRUE(read.has_value()) << "no symbol found in the GET image " << error;
  EXPECT_EQ(read->bytes, getData);

  // POST: the server must pass CONTENT_LENGTH and the body on.
  const std::string postBody = "data=Posted%20~1%20" + std::string(GetParam().name) + "&w=160&h=160&angle=90";
  const HttpResult posted = Request(Url(port, "/cgi-bin/korvex.cgi"), BodyFile(), &postBody);
  ASSERT_EQ(posted.status, 200) << posted.error << "\n" << Logs();
  EXPECT_EQ(posted.contentType, "image/png");
  read = ReadPngSymbol(posted.body, error);
  ASSERT_TRUE(read.has_value()) << "no symbol found in the POST image " << error;
  EXPECT_EQ(read->bytes, std::string("Posted \x1D ") + GetParam().name);

  // A failing request with debug comes back as the program's HTML error page, with the
  // failure's status (the examples switch HTTP statuses on); without debug, as text.
  const HttpResult failed = Request(Url(port, "/cgi-bin/korvex.cgi?qsize=-1&debug=1"), BodyFile());
  EXPECT_EQ(failed.status, 400) << failed.error;
  EXPECT_EQ(failed.contentType.rfind("text/html", 0), 0u) << failed.contentType;
  EXPECT_NE(failed.body.find("Error: Invalid argument."), std::string::npos) << failed.body;
  const HttpResult gs1 = Request(Url(port, "/cgi-bin/korvex.cgi?gs1=1&data=(01)09501101530004"), BodyFile());
  EXPECT_EQ(gs1.status, 400) << gs1.error;
  EXPECT_EQ(gs1.contentType, "text/plain; charset=utf-8");
  EXPECT_EQ(gs1.body, "Error: Invalid data to encode.\nGS1: (01) 09501101530004: check digit should be 3\n");

  const HttpResult page = Request(Url(port, "/"), BodyFile());
  EXPECT_EQ(page.status, 200) << page.error;
  EXPECT_NE(page.body.find("Korvex Data Matrix generator"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Servers, DeploymentTest, ::testing::ValuesIn(kDeployments),
                         [](const ::testing::TestParamInfo<Deployment>& info) { return std::string(info.param.name); });

// A failure as the examples answer it: its HTTP status, the code the JSON body names, and the
// first line of the text body.
struct StatusCase {
  const char* label;
  std::string text;  // the query string, or the POST body
  bool post;
  int status;
  int code;
  const char* title;
};

std::vector<StatusCase> EveryFailureStatus() {
  const std::string tooLong = "data=" + std::string(3596, 'x');
  return {
      {"code 1", "qsize=-1", false, 400, 1, "Error: Invalid argument."},
      {"code 3, beyond the raster cap", "xdim=1000&data=" + std::string(200, '7'), false, 400, 3,
       "Error: Cant initialize PNG creator."},
      {"code 4", "w=11&h=11&data=1", false, 400, 4, "Error: Invalid barcode size."},
      {"code 5, GS1", "gs1=1&data=(01)09501101530004", false, 400, 5, "Error: Invalid data to encode."},
      {"code 5, UTF-8", "utf8=1&data=Stra%DFe", true, 400, 5, "Error: Invalid data to encode."},
      {"code 8", "mode=1&data=" + std::string(3500, 'a'), true, 400, 8, "Error: Cant find the needed matrix format."},
      {"code 10", "data=12345678901234&fmt=1", false, 400, 10,
       "Error: The data to encode cant be placed in the current matrix format."},
      {"3601 characters by GET", tooLong, false, 413, 5, "Error: Request too long."},
      {"3601 characters by POST", tooLong, true, 413, 5, "Error: Request too long."},
  };
}

class HttpStatusTest : public DeploymentFixture, public ::testing::WithParamInterface<Deployment> {};

// With HTTP statuses on, as the examples have them: each failure a request can reach ends in its
// status, with the text body or, for a client that asks for JSON, the problem document; what
// can be cached carries Cache-Control and its tag, and the tag gets 304.
TEST_P(HttpStatusTest, EachFailureEndsInItsStatusWithATextOrJsonBody) {
  const int port = StartDeployment(GetParam());
  ASSERT_GT(port, 0) << GetParam().name << " did not come up\n" << Logs();
  HttpResult warmUp = Request(Url(port, "/cgi-bin/korvex.cgi"), BodyFile());
  // mod_cgid's daemon may still be starting when the port already accepts.
  for (int retry = 0; retry < 20 && warmUp.status == 503; ++retry) {
    std::this_thread::sleep_for(100ms);
    warmUp = Request(Url(port, "/cgi-bin/korvex.cgi"), BodyFile());
  }
  ASSERT_EQ(warmUp.status, 200) << warmUp.error << Logs();

  for (const StatusCase& failure : EveryFailureStatus()) {
    SCOPED_TRACE(std::string(failure.label) + (failure.post ? " by POST" : " by GET"));
    const std::string target = failure.post ? "/cgi-bin/korvex.cgi" : "/cgi-bin/korvex.cgi?" + failure.text;
    const std::string* post = failure.post ? &failure.text : nullptr;
    const HttpResult text = Request(Url(port, target), BodyFile(), post);
    EXPECT_EQ(text.status, failure.status) << text.error << text.body << Logs();
    EXPECT_EQ(text.contentType, "text/plain; charset=utf-8");
    EXPECT_EQ(text.body.substr(0, text.body.find('\n')), failure.title);
    EXPECT_EQ(text.Header("cache-control"), "");

    const HttpResult json = Request(Url(port, target), BodyFile(), post, "", {"-H", "Accept: application/problem+json"});
    EXPECT_EQ(json.status, failure.status) << json.error;
    EXPECT_EQ(json.contentType, "application/problem+json");
    EXPECT_NE(json.body.find("\"status\":" + std::to_string(failure.status) + ","), std::string::npos) << json.body;
    EXPECT_NE(json.body.find("\"code\":" + std::to_string(failure.code) + "}"), std::string::npos) << json.body;
    EXPECT_NE(json.body.find(std::string("\"title\":\"") + failure.title + "\""), std::string::npos) << json.body;
  }

  const std::string svgUrl = Url(port, "/cgi-bin/korvex.cgi?data=Tagged+" + std::string(GetParam().name) + "&out=svg");
  const HttpResult svg = Request(svgUrl, BodyFile());
  ASSERT_EQ(svg.status, 200) << svg.error;
  EXPECT_EQ(svg.contentType, "image/svg+xml");
  EXPECT_EQ(svg.Header("cache-control"), "public, max-age=86400");
  const std::string tag = svg.Header("etag");
  ASSERT_EQ(tag.size(), 18u) << tag;
  const HttpResult again = Request(svgUrl, BodyFile(), nullptr, "", {"-H", "If-None-Match: " + tag});
  EXPECT_EQ(again.status, 304);
  EXPECT_EQ(again.body, "");
  const HttpResult head = Request(svgUrl, BodyFile(), nullptr, "", {"-I"});
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("etag"), tag);
}

INSTANTIATE_TEST_SUITE_P(Servers, HttpStatusTest,
                         ::testing::Values(Named("nginx_fastcgi"), Named("lighttpd"), Named("apache2_cgid")),
                         [](const ::testing::TestParamInfo<Deployment>& info) { return std::string(info.param.name); });

// What a request through nginx comes back as: an image, an HTML page, or the text of a failure.
enum class Answer { kImage, kPage, kText };

struct Exchange {
  std::string text;  // the query string, or the POST body
  bool post;
  Answer answer;
  int status = 200;  // with HTTP statuses on, as the examples have them
};

// The text followed by an unknown parameter that makes it exactly length characters long.
std::string PaddedTo(std::string text, std::size_t length) {
  text += "&pad=";
  text.resize(length, 'x');
  return text;
}

std::vector<Exchange> EveryKindOfRequest() {
  std::vector<Exchange> requests = {{"", false, Answer::kImage}};
  for (int mode = 0; mode <= 6; ++mode) {
    requests.push_back({"data=KORVEX+2026&w=120&h=120&mode=" + std::to_string(mode), false, Answer::kImage});
  }
  for (const char* angle : {"0", "90", "180", "270"}) {
    requests.push_back({std::string("data=Turned&fmt=27&xdim=4&angle=") + angle, false, Answer::kImage});
  }
  const std::string tooLongForFormat1 = "data=12345678901234&fmt=1";
  const std::string fitsNoFormat = "mode=4&data=" + std::string(2000, 'a');
  const std::vector<Exchange> others = {
      {"data=Colours&w=150&h=150&bcolor=ffcc00&fcolor=1020c0", false, Answer::kImage},
      {"data=Quiet&quiet=0&bcolor=00ff00&xdim=3", false, Answer::kImage},
      {"data=Aligned&w=300&h=120&alignh=0&alignv=2&qsize=3", false, Answer::kImage},
      {"gs1=1&gssep=1&data=(01)09501101530003(17)270630(10)AB-123(21)XYZ987", false, Answer::kImage},
      {"utf8=1&data=Stra%C3%9Fe", true, Answer::kImage},
      {"gs1=1&debug=1&data=(01)09501101530004", false, Answer::kPage, 400},
      {"utf8=1&debug=1&data=Stra%DFe", true, Answer::kPage, 400},
      {"help=1", false, Answer::kPage},
      {"help=0&data=x", true, Answer::kPage},
      // Error pages asked for with debug, and the same failures without it.
      {"qsize=-1&debug=1", false, Answer::kPage, 400},
      {"w=11&h=11&data=1&debug=1", false, Answer::kPage, 400},
      {tooLongForFormat1 + "&debug=1", false, Answer::kPage, 400},
      {fitsNoFormat + "&debug=1", false, Answer::kPage, 400},
      {"qsize=-1&debug=1", true, Answer::kPage, 400},
      {"qsize=-1", false, Answer::kText, 400},
      {"w=11&h=11&data=1", false, Answer::kText, 400},
      {tooLongForFormat1, false, Answer::kText, 400},
      {fitsNoFormat, false, Answer::kText, 400},
      {"qsize=-1", true, Answer::kText, 400},
      {"", true, Answer::kText, 400},
      // The length limit, by GET and POST.
      {"data=Posted&w=90&h=90&angle=180", true, Answer::kImage},
      {PaddedTo("data=Longest&w=80&h=80", 3600), false, Answer::kImage},
      {PaddedTo("data=Longest&w=80&h=80", 3601), false, Answer::kText, 413},
      {PaddedTo("debug=1&data=Longest", 3601), false, Answer::kText, 413},
      {PaddedTo("data=Longest+posted&w=80&h=80", 3600), true, Answer::kImage},
      {PaddedTo("data=Longest+posted&w=80&h=80", 3601), true, Answer::kText, 413},
      {PaddedTo("debug=1&data=Longest+posted", 3601), true, Answer::kText, 413},
  };
  requests.insert(requests.end(), others.begin(), others.end());
  return requests;
}

// Status, type and body through nginx: korvex.fcgi behind deploy/nginx-fastcgi.conf.in against
// korvex.cgi under fcgiwrap behind deploy/nginx-fcgiwrap.conf.in.
TEST_F(DeploymentFixture, WorkerThroughNginxAnswersAsTheCgiUnderFcgiwrap) {
  const int cgi = StartDeployment(Named("nginx_fcgiwrap"));
  const int worker = StartDeployment(Named("nginx_fastcgi"));
  ASSERT_GT(cgi, 0) << Logs();
  ASSERT_GT(worker, 0) << Logs();

  for (const Exchange& request : EveryKindOfRequest()) {
    SCOPED_TRACE((request.post ? "POST " : "GET ") + request.text.substr(0, 60) + " (" +
                 std::to_string(request.text.size()) + " characters)");
    const std::string target = request.post ? "/cgi-bin/korvex.cgi" : "/cgi-bin/korvex.cgi?" + request.text;
    const std::string* post = request.post ? &request.text : nullptr;
    const HttpResult expected = Request(Url(cgi, target), BodyFile("cgi-body"), post);
    const HttpResult got = Request(Url(worker, target), BodyFile("worker-body"), post);

    EXPECT_EQ(expected.status, request.status);
    switch (request.answer) {
      case Answer::kImage:
        EXPECT_EQ(expected.contentType, "image/png");
        break;
      case Answer::kPage:
        EXPECT_EQ(expected.contentType.rfind("text/html", 0), 0u) << expected.contentType;
        break;
      case Answer::kText:
        EXPECT_EQ(expected.contentType, "text/plain; charset=utf-8");
        break;
    }
    EXPECT_EQ(got.Header("etag"), expected.Header("etag"));
    EXPECT_EQ(got.status, expected.status) << got.error << expected.error;
    EXPECT_EQ(got.contentType, expected.contentType);
    EXPECT_TRUE(SameAnswer(got.body, expected.body))
        << got.body.size() << " bytes from the worker, " << expected.body.size() << " from the CGI:\n"
        << got.body.substr(0, 200) << "\n---\n"
        << expected.body.substr(0, 200);
  }
  EXPECT_EQ(Logs().find("[alert]"), std::string::npos) << Logs();
}

// The requests the worker has accepted, by its status page through nginx (which counts itself).
long AcceptedByWorker(int port, const fs::path& bodyFile) {
  const HttpResult status = Request("http://127.0.0.1:" + std::to_string(port) + kStatusPath + "?json", bodyFile);
  const std::string key = "\"accepted requests\":";
  const std::size_t at = status.body.find(key);
  return at == std::string::npos ? -1 : std::atol(status.body.c_str() + at + key.size());
}

TEST_F(DeploymentFixture, NginxAnswersRepeatedGetRequestsFromItsCache) {
  const int port = StartDeployment(Named("nginx_fastcgi"));
  ASSERT_GT(port, 0) << Logs();
  ASSERT_EQ(workers_.size(), 1u);
  const std::string query = "data=Cached&w=120&h=120";
  const std::string url = Url(port, "/cgi-bin/korvex.cgi?" + query);

  const HttpResult first = Request(url, BodyFile());
  ASSERT_EQ(first.status, 200) << first.error << Logs();
  EXPECT_EQ(first.cacheStatus, "MISS");
  EXPECT_EQ(first.Header("cache-control"), "public, max-age=86400");
  EXPECT_EQ(first.Header("etag"), "") << "the PNG's time chunk changes every second";
  const long acceptedBefore = AcceptedByWorker(port, BodyFile("status"));
  const HttpResult second = Request(url, BodyFile());
  EXPECT_EQ(second.status, 200);
  EXPECT_EQ(second.cacheStatus, "HIT");
  EXPECT_EQ(second.body, first.body) << "a cached answer is the first one, time of writing included";
  // Only the second status request reached the worker, not the image's.
  EXPECT_EQ(AcceptedByWorker(port, BodyFile("status")), acceptedBefore + 1);

  // An SVG carries its tag; nginx answers the tag it holds with 304 and no body, from its cache.
  const std::string svgUrl = Url(port, "/cgi-bin/korvex.cgi?data=Cached+vector&out=svg");
  const HttpResult svg = Request(svgUrl, BodyFile());
  ASSERT_EQ(svg.status, 200) << svg.error;
  const std::string tag = svg.Header("etag");
  EXPECT_EQ(tag.size(), 18u) << tag;
  const long acceptedBeforeRevalidation = AcceptedByWorker(port, BodyFile("status"));
  const HttpResult notModified = Request(svgUrl, BodyFile(), nullptr, "", {"-H", "If-None-Match: W/\"x\", " + tag});
  EXPECT_EQ(notModified.status, 304);
  EXPECT_EQ(notModified.body, "");
  EXPECT_EQ(notModified.Header("etag"), tag);
  EXPECT_EQ(notModified.cacheStatus, "HIT");
  EXPECT_EQ(Request(svgUrl, BodyFile(), nullptr, "", {"-H", "If-None-Match: \"other\""}).body, svg.body);
  EXPECT_EQ(AcceptedByWorker(port, BodyFile("status")), acceptedBeforeRevalidation + 1);

  // A POST is drawn anew each time, and nginx neither looks it up nor keeps it.
  for (int i = 0; i < 2; ++i) {
    const HttpResult posted = Request(Url(port, "/cgi-bin/korvex.cgi"), BodyFile(), &query);
    EXPECT_EQ(posted.status, 200);
    EXPECT_EQ(posted.cacheStatus, "");
  }

  // With the worker gone, the cache is all that answers.
  ASSERT_TRUE(workers_.front()->Stop()) << Logs();
  const HttpResult cached = Request(url, BodyFile());
  EXPECT_EQ(cached.status, 200);
  EXPECT_EQ(cached.cacheStatus, "HIT");
  EXPECT_EQ(cached.body, first.body);
  EXPECT_EQ(Request(Url(port, "/cgi-bin/korvex.cgi"), BodyFile(), &query).status, 502);
  EXPECT_EQ(Request(url + "&angle=90", BodyFile()).status, 502);
}

// One client sending faster than nginx's limit per address gets 429 for the excess, while a
// second client, from an address of its own, is served all along. The worker's status page
// counts what nginx passed on, and answers this machine only.
TEST_F(DeploymentFixture, NginxLimitsEachClientAndShowsTheStatusPageToThisMachineOnly) {
  const int port = StartDeployment(Named("nginx_fastcgi"));
  ASSERT_GT(port, 0) << Logs();
  // Each address once, so that nginx's cache answers none of them and every one served reaches
  // the worker.
  const auto url = [port](const std::string& client, int n) {
    return Url(port, "/cgi-bin/korvex.cgi?data=" + client + "+" + std::to_string(n) + "&w=100&h=100");
  };
  std::map<int, int> fastByStatus;
  std::atomic<bool> refused{false};
  std::thread fast([&] {
    for (int n = 0; n < 60; ++n) {
      const int status = Request(url("fast", n), BodyFile("fast"), nullptr, "127.0.0.2").status;
      ++fastByStatus[status];
      refused = refused || status == 429;
    }
  });
  // The second client starts once the first is being refused, and sends while it goes on.
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!refused && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  std::map<int, int> otherByStatus;
  for (int n = 0; n < 4; ++n) ++otherByStatus[Request(url("other", n), BodyFile("other"), nullptr, "127.0.0.3").status];
  fast.join();

  EXPECT_EQ(otherByStatus[200], 4) << Logs();
  EXPECT_GE(fastByStatus[200], 20) << "the burst is served at once";
  EXPECT_GT(fastByStatus[429], 0) << "nothing was refused";
  EXPECT_EQ(fastByStatus[200] + fastByStatus[429], 60);

  const HttpResult status = Request(Url(port, std::string(kStatusPath) + "?json"), BodyFile());
  EXPECT_EQ(status.status, 200) << status.error;
  EXPECT_EQ(status.contentType, "application/json");
  const int served = fastByStatus[200] + otherByStatus[200];
  EXPECT_NE(status.body.find("\"accepted requests\":" + std::to_string(served + 1) + ","), std::string::npos)
      << status.body;
  EXPECT_NE(status.body.find("\"requests by exit status\":{\"0\":" + std::to_string(served) + "}"), std::string::npos)
      << status.body;
  EXPECT_EQ(Request(Url(port, kStatusPath), BodyFile(), nullptr, "127.0.0.3").status, 403);
}

// Three korvex.fcgi instances behind one nginx upstream, each standing for a machine; one is
// killed while clients send requests. Only what it had in flight may fail (nginx passes a GET
// that it lost on to the next server, so usually nothing fails), and no answer is wrong.
TEST_F(DeploymentFixture, UpstreamPassesRequestsOnWhenAWorkerMachineDies) {
  const int port = StartDeployment(Named("nginx_upstream"));
  ASSERT_GT(port, 0) << Logs();
  ASSERT_EQ(workers_.size(), 3u);

  // The answers as korvex.cgi itself gives them. The largest image keeps an instance busy
  // long enough to be killed in the middle of a request; the failing request (no image, its
  // status and text) is among them so that nginx is seen not to hold it against the servers.
  const std::vector<std::string> queries = {"data=Machine+A&w=90&h=90", "data=Machine+B&w=699&h=699&fmt=24",
                                            "data=MACHINE+C&mode=6&fmt=27&angle=90", "qsize=-1"};
  std::vector<std::optional<std::string>> expected;
  for (const std::string& query : queries) {
    const ProcessResult run = RunCgi(GetRequest(query));
    PngInfo png;
    std::string error;
    expected.push_back(ReadPngResponse(run.output, png, error)
                           ? std::optional(WithoutPngTime(run.output.substr(kPngHeader.size())))
                           : std::nullopt);
  }
  ASSERT_TRUE(expected[0] && expected[1] && expected[2] && !expected[3]);

  constexpr int kClients = 4;
  constexpr int kRequestsPerClient = 40;
  std::atomic<int> done{0};
  std::atomic<int> failed{0};
  std::atomic<int> wrong{0};
  std::atomic<int> rightAfterKill{0};
  std::atomic<bool> killed{false};
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  std::vector<std::thread> clients;
  for (int client = 0; client < kClients; ++client) {
    clients.emplace_back([&, client] {
      const fs::path bodyFile = BodyFile("client-" + std::to_string(client));
      for (int i = 0; i < kRequestsPerClient && std::chrono::steady_clock::now() < deadline; ++i) {
        const std::size_t which = static_cast<std::size_t>(client + i) % queries.size();
        const HttpResult answer = Request(Url(port, "/cgi-bin/korvex.cgi?" + queries[which]), bodyFile);
        bool right = false;
        if (!expected[which]) {
          // The workers run with --http-errors: the failure's status and text.
          right = answer.status == 400 && answer.body == "Error: Invalid argument.\n";
          wrong += answer.status == 200 ? 1 : 0;
        } else if (answer.status == 200) {
          right = WithoutPngTime(answer.body) == *expected[which];
          wrong += right ? 0 : 1;
        }
        failed += right ? 0 : 1;
        rightAfterKill += right && killed ? 1 : 0;
        ++done;
      }
    });
  }
  while (done < kClients * kRequestsPerClient / 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  workers_[1]->Kill();
  killed = true;
  for (std::thread& client : clients) {
    client.join();
  }

  EXPECT_EQ(done, kClients * kRequestsPerClient) << "the requests did not all finish in time";
  EXPECT_EQ(wrong, 0);
  EXPECT_LE(failed, kClients) << Logs();
  EXPECT_GT(rightAfterKill, 0);
  // The dead instance's turns in the rotation go to the two others.
  for (int i = 0; i < 6; ++i) {
    const HttpResult answer = Request(Url(port, "/cgi-bin/korvex.cgi?" + queries[0]), BodyFile());
    EXPECT_TRUE(answer.status == 200 && WithoutPngTime(answer.body) == *expected[0])
        << answer.status << " " << answer.error;
  }
}

}  // namespace
