#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "process/CgiResponse.h"
#include "support/HtmlPageTexts.h"
#include "support/LocalServer.h"
#include "support/Paths.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

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

  LocalServer server(RunServerScript(port, stateDir, stateDir / "script.log"));
  ASSERT_TRUE(WaitUntilAccepting(port, {&server}, 15s)) << "the server did not come up:\n" << server.Log();

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

  // The API description, which the demo page links to.
  const std::string api = Fetch(base + "/docs/openapi.yaml");
  EXPECT_NE(api.find("\nopenapi: 3.1.0\n"), std::string::npos) << api.substr(0, 200);

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
