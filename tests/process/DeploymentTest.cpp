// The server configurations under deploy/, each started for real on a free loopback port with
// a copy of the built program: images by GET and POST read back by zxing-cpp, the error page
// of a failed request, and the demo page.
#include <gtest/gtest.h>

#include <signal.h>

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

#include "support/CgiProcess.h"
#include "support/Decoders.h"
#include "support/LocalServer.h"
#include "support/Paths.h"
#include "support/PngReader.h"
#include "support/ReadBack.h"
#include "support/ScratchDirectory.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

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
  if (std::regex_search(text, leftOver, std::regex("@[A-Z_]+@"))) {
    *missing = leftOver.str();
  }
  return text;
}

struct HttpResult {
  int status = 0;
  std::string contentType;
  std::string body;
  std::string error;  // curl's complaint when the request did not complete
};

// One request through curl; post is sent as an application/x-www-form-urlencoded body.
HttpResult Request(const std::string& url, const fs::path& bodyFile, const std::string* post = nullptr) {
  std::vector<std::string> args = {"-sS", "--max-time", "20", "-o", bodyFile.string(), "-w",
                                   "%{http_code} %{content_type}"};
  if (post != nullptr) {
    args.push_back("--data-binary");
    args.push_back(*post);
  }
  args.push_back(url);
  const ProcessResult run = RunProcess("/usr/bin/curl", args, {}, "");
  HttpResult result;
  result.error = run.errorOutput;
  std::istringstream written(run.output);
  written >> result.status;
  std::getline(written >> std::ws, result.contentType);
  result.body = ReadFile(bodyFile);
  return result;
}

std::optional<Decoded> ReadPngSymbol(const std::string& png, std::string& error) {
  PngInfo info;
  if (!ReadPng(png, info, &error)) {
    return std::nullopt;
  }
  return ReadWithZxing(ToRaster(info));
}

// What one deployment needs: the binaries that must exist, and how to start it from the
// filled-in fields (PORT, DOCUMENT_ROOT, CGI_PATH, STATE_DIR and the server's own).
struct Deployment {
  const char* name;
  std::vector<const char*> binaries;
};

void PrintTo(const Deployment& deployment, std::ostream* out) { *out << deployment.name; }

const Deployment kDeployments[] = {
    {"lighttpd", {"/usr/sbin/lighttpd"}},
    {"nginx_fcgiwrap", {"/usr/sbin/nginx", "/usr/sbin/fcgiwrap"}},
    {"apache2_cgid", {"/usr/sbin/apache2"}},
};

class DeploymentTest : public ::testing::TestWithParam<Deployment> {
 protected:
  void SetUp() override {
    for (const char* binary : GetParam().binaries) {
      ASSERT_TRUE(fs::exists(binary)) << binary << " is not installed; scripts/install-deps.sh test installs it";
    }
    // Under /tmp with world-readable directories: Apache runs the program as an
    // unprivileged account, which must reach it.
    root_ = scratch_.Path();
    ASSERT_FALSE(root_.empty()) << "no directory could be made under /tmp";
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(root_ / "www");
    fs::create_directories(root_ / "cgi-bin");
    fs::create_directories(root_ / "state");
    fs::copy(fs::path(TestPaths::kSourceDir) / "www", root_ / "www", fs::copy_options::recursive);
    fs::copy_file(TestPaths::kCgi, root_ / "cgi-bin" / "korvex.cgi");
    port_ = FreePort();
    ASSERT_GT(port_, 0);
    fields_ = {{"PORT", std::to_string(port_)},
               {"DOCUMENT_ROOT", (root_ / "www").string()},
               {"DOCS_DIR", (fs::path(TestPaths::kSourceDir) / "docs").string()},
               {"CGI_PATH", (root_ / "cgi-bin" / "korvex.cgi").string()},
               {"STATE_DIR", (root_ / "state").string()},
               {"MODULE_DIR", "/usr/lib/apache2/modules"},
               {"RUN_USER", "nobody"},
               {"RUN_GROUP", "nogroup"}};
  }

  // The servers go before their directory does.
  void TearDown() override { servers_.clear(); }

  // Fills deploy/<name> into the state directory and returns the written file.
  fs::path Configure(const std::string& name) {
    std::string missing;
    const std::string text = FillTemplate(ReadFile(fs::path(TestPaths::kSourceDir) / "deploy" / name), fields_, &missing);
    EXPECT_TRUE(missing.empty()) << name << " has a field the test does not fill: " << missing;
    const fs::path config = root_ / "state" / fs::path(name).stem();
    EXPECT_TRUE(WriteFile(config, text));
    return config;
  }

  // A server in a process group of its own, so that its workers and children go with it: the
  // group is sent SIGTERM, and SIGKILL for whatever is left after five seconds or once the
  // server itself has gone.
  LocalServer& Start(const std::vector<std::string>& argv, const std::string& logName) {
    LocalServerOptions options;
    options.argv = argv;
    options.log = root_ / "state" / logName;
    options.ownProcessGroup = true;
    options.stopSignal = SIGTERM;
    options.stopTimeout = 5s;
    servers_.push_back(std::make_unique<LocalServer>(std::move(options)));
    return *servers_.back();
  }

  void StartDeployment() {
    const std::string name = GetParam().name;
    const std::string state = (root_ / "state").string();
    if (name == "lighttpd") {
      Start({"/usr/sbin/lighttpd", "-D", "-f", Configure("lighttpd.conf.in").string()}, "server.log");
    } else if (name == "nginx_fcgiwrap") {
      const int fcgiPort = FreePort();
      fields_["FCGIWRAP_ADDRESS"] = "127.0.0.1:" + std::to_string(fcgiPort);
      // One process, no preforked children: nothing outlives it.
      Start({"/usr/sbin/fcgiwrap", "-c", "1", "-p", fields_["CGI_PATH"], "-s",
             "tcp:127.0.0.1:" + std::to_string(fcgiPort)},
            "fcgiwrap.log");
      Start({"/usr/sbin/nginx", "-p", state + "/", "-e", state + "/error.log", "-g", "daemon off;", "-c",
             Configure("nginx-fcgiwrap.conf.in").string()},
            "server.log");
    } else {
      Start({"/usr/sbin/apache2", "-f", Configure("apache2-cgid.conf.in").string(), "-DFOREGROUND"}, "server.log");
    }
  }

  bool WaitUntilServing() {
    std::vector<LocalServer*> running;
    for (const auto& server : servers_) {
      running.push_back(server.get());
    }
    return WaitUntilAccepting(port_, running, 15s);
  }

  std::string Logs() const {
    std::string logs;
    for (const char* name : {"server.log", "error.log", "fcgiwrap.log"}) {
      const fs::path path = root_ / "state" / name;
      if (fs::exists(path)) {
        logs += std::string("--- ") + name + "\n" + ReadFile(path);
      }
    }
    return logs;
  }

  std::string Url(const std::string& target) const { return "http://127.0.0.1:" + std::to_string(port_) + target; }
  fs::path BodyFile() const { return root_ / "state" / "body"; }

  ScratchDirectory scratch_{"korvex-deploy"};
  fs::path root_;
  int port_ = -1;
  std::map<std::string, std::string> fields_;
  std::vector<std::unique_ptr<LocalServer>> servers_;
};

TEST_P(DeploymentTest, ServesReadableImagesErrorPagesAndTheDemoPage) {
  StartDeployment();
  ASSERT_TRUE(WaitUntilServing()) << GetParam().name << " did not come up\n" << Logs();

  const std::string getData = std::string("Served by ") + GetParam().name;
  const std::string getQuery = "data=Served+by+" + std::string(GetParam().name) + "&w=200&h=200";
  HttpResult got = Request(Url("/cgi-bin/korvex.cgi?" + getQuery), BodyFile());
  // mod_cgid's daemon may still be starting when the port already accepts.
  for (int retry = 0; retry < 20 && got.status == 503; ++retry) {
    std::this_thread::sleep_for(100ms);
    got = Request(Url("/cgi-bin/korvex.cgi?" + getQuery), BodyFile());
  }
  ASSERT_EQ(got.status, 200) << got.error << "\n" << Logs();
  EXPECT_EQ(got.contentType, "image/png");
  std::string error;
  std::optional<Decoded> read = ReadPngSymbol(got.body, error);
  ASSERT_TRUE(read.has_value()) << "no symbol found in the GET image " << error;
  EXPECT_EQ(read->bytes, getData);

  // POST: the server must pass CONTENT_LENGTH and the body on.
  const std::string postBody = "data=Posted%20~1%20" + std::string(GetParam().name) + "&w=160&h=160&angle=90";
  const HttpResult posted = Request(Url("/cgi-bin/korvex.cgi"), BodyFile(), &postBody);
  ASSERT_EQ(posted.status, 200) << posted.error << "\n" << Logs();
  EXPECT_EQ(posted.contentType, "image/png");
  read = ReadPngSymbol(posted.body, error);
  ASSERT_TRUE(read.has_value()) << "no symbol found in the POST image " << error;
  EXPECT_EQ(read->bytes, std::string("Posted \x1D ") + GetParam().name);

  // A failing request with debug comes back as the program's HTML error page.
  const HttpResult failed = Request(Url("/cgi-bin/korvex.cgi?qsize=-1&debug=1"), BodyFile());
  EXPECT_EQ(failed.status, 200) << failed.error;
  EXPECT_EQ(failed.contentType.rfind("text/html", 0), 0u) << failed.contentType;
  EXPECT_NE(failed.body.find("Error: Invalid argument."), std::string::npos) << failed.body;

  const HttpResult page = Request(Url("/"), BodyFile());
  EXPECT_EQ(page.status, 200) << page.error;
  EXPECT_NE(page.body.find("Korvex Data Matrix generator"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Servers, DeploymentTest, ::testing::ValuesIn(kDeployments),
                         [](const ::testing::TestParamInfo<Deployment>& info) { return std::string(info.param.name); });

}  // namespace
