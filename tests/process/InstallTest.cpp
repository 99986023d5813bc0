// The install rules behind `make install`: the program lands in the CGI directory under the
// prefix (or in an absolute one), the FastCGI worker and the command-line program in its bin
// directory, the demo page and the server examples beside them, and the installed programs
// answer a request.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/CgiProcess.h"
#include "support/Paths.h"
#include "support/PngReader.h"
#include "support/ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;

std::string FindCmake() {
  for (const char* candidate : {"/usr/bin/cmake", "/usr/local/bin/cmake"}) {
    if (access(candidate, X_OK) == 0) {
      return candidate;
    }
  }
  return "";
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cmake_ = FindCmake();
    ASSERT_FALSE(cmake_.empty()) << "cmake is not installed";
    root_ = scratch_.Path();
    ASSERT_FALSE(root_.empty()) << "no directory could be made under /tmp";
  }

  // cmake --install of this build with the prefix and, through DESTDIR, the staging root.
  ProcessResult Install(const fs::path& prefix, const fs::path& destdir) {
    std::vector<EnvironmentVariable> environment = {{"PATH", "/usr/local/bin:/usr/bin:/bin"}};
    if (!destdir.empty()) {
      environment.emplace_back("DESTDIR", destdir.string());
    }
    return RunProcess(cmake_, {"--install", TestPaths::kBinaryDir, "--prefix", prefix.string()}, environment, "",
                      std::chrono::seconds(60));
  }

  std::string cmake_;
  ScratchDirectory scratch_{"korvex-install"};
  fs::path root_;
};

TEST_F(InstallTest, PutsTheProgramDemoPageAndServerExamplesUnderThePrefix) {
  const fs::path prefix = root_ / "usr";
  const ProcessResult installed = Install(prefix, "");
  ASSERT_EQ(installed.exitStatus, 0) << installed.output << installed.errorOutput;

  const fs::path program = prefix / "lib" / "cgi-bin" / "korvex.cgi";
  ASSERT_TRUE(fs::exists(program)) << installed.output;
  EXPECT_EQ(access(program.c_str(), X_OK), 0) << "not executable";
  for (const char* file : {"www/index.html", "www/demo.js", "www/demo.css", "docs/index.html", "deploy/lighttpd.conf.in",
                           "deploy/nginx-fcgiwrap.conf.in", "deploy/apache2-cgid.conf.in", "deploy/nginx-fastcgi.conf.in",
                           "deploy/nginx-upstream.conf.in", "deploy/lighttpd-fastcgi.conf.in",
                           "deploy/apache2-proxy-fcgi.conf.in", "deploy/korvex-fcgi.service", "deploy/korvex-fcgi.socket"}) {
    EXPECT_TRUE(fs::exists(prefix / "share" / "korvex" / file)) << file;
  }

  // The FastCGI worker goes with the other programs, not into the CGI directory.
  const fs::path worker = prefix / "bin" / "korvex.fcgi";
  ASSERT_TRUE(fs::exists(worker)) << installed.output;
  const ProcessResult usage = RunProcess(worker.string(), {"--help"}, {}, "");
  EXPECT_EQ(usage.exitStatus, 0);
  EXPECT_NE(usage.output.find("--listen"), std::string::npos) << usage.output;

  const ProcessResult run =
      RunProcess(program.string(), {}, {{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "data=Installed&w=50&h=50"}}, "");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.output.rfind("Content-type: image/png\n\n\x89PNG", 0), 0u);

  // So does the command-line program, and its image is the web answer's body.
  const ProcessResult drawn = RunProcess((prefix / "bin" / "korvex").string(), {"--w=50", "--h=50", "Installed"}, {}, "");
  EXPECT_EQ(drawn.exitStatus, 0) << drawn.errorOutput;
  EXPECT_EQ("Content-type: image/png\n\n" + WithoutPngTime(drawn.output), WithoutPngTime(run.output));
}

TEST_F(InstallTest, HonoursDestdirForStagedInstalls) {
  const fs::path stage = root_ / "stage";
  const ProcessResult installed = Install("/opt/korvex", stage);
  ASSERT_EQ(installed.exitStatus, 0) << installed.output << installed.errorOutput;
  EXPECT_TRUE(fs::exists(stage / "opt" / "korvex" / "lib" / "cgi-bin" / "korvex.cgi")) << installed.output;
  EXPECT_TRUE(fs::exists(stage / "opt" / "korvex" / "share" / "korvex" / "www" / "index.html"));
}

}  // namespace
