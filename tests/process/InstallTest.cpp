// The install rules behind `make install`: the program lands in the CGI directory under the
// prefix (or in an absolute one), the FastCGI worker and the command-line program in its bin
// directory, the demo page and the server examples beside them, and the installed programs
// answer a request. A program built against the staged library (CMake package and pkg-config)
// writes a readable symbol, so do the README's C, C++ and Python examples, the Python package
// installs into a fresh virtual environment, and the Debian packages of `make deb` run from their
// unpacked files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/CgiProcess.h"
#include "support/Decoders.h"
#include "support/LocalServer.h"
#include "support/Paths.h"
#include "support/PngReader.h"
#include "support/ReadBack.h"
#include "support/ScratchDirectory.h"

using namespace korvex::internal;

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

const std::vector<EnvironmentVariable> kToolEnvironment = {{"PATH", "/usr/local/bin:/usr/bin:/bin"}};

// The first file under root whose name is name, or an empty path.
fs::path FindFile(const fs::path& root, const std::string& name) {
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().filename() == name) return entry.path();
  }
  return {};
}

// The data of the symbol in a PNG file, as zxing reads it.
std::string ReadSymbolFile(const fs::path& png) {
  PngInfo info;
  std::string error;
  if (!ReadPng(ReadFile(png.string()), info, &error)) return "(no PNG: " + error + ")";
  const std::optional<Decoded> decoded = ReadWithZxing(ToRaster(info));
  return decoded ? decoded->bytes : "(not read)";
}

// The first fenced block of the language in the README (its Library examples), or "".
std::string ReadmeExample(const std::string& language) {
  const std::string readme = ReadFile(std::string(TestPaths::kSourceDir) + "/README.md");
  const std::string fence = "\n```" + language + "\n";
  const std::size_t start = readme.find(fence);
  if (start == std::string::npos) return "";
  const std::size_t body = start + fence.size();
  const std::size_t end = readme.find("\n```\n", body);
  return end == std::string::npos ? "" : readme.substr(body, end + 1 - body);
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The program run in the directory (where it writes its files).
ProcessResult RunIn(const fs::path& directory, const std::string& command,
                    const std::vector<EnvironmentVariable>& environment) {
  return RunProcess("/bin/sh", {"-c", "cd '" + directory.string() + "' && exec " + command}, environment, "",
                    std::chrono::seconds(120));
}

// Where `make deb` left the packages: KORVEX_DEB_DIR, or build-deb/ in the source tree.
fs::path PackageDirectory() {
  const char* set = std::getenv("KORVEX_DEB_DIR");
  return set != nullptr ? fs::path(set) : fs::path(TestPaths::kSourceDir) / "build-deb";
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
  for (const char* file : {"share/man/man1/korvex.1", "share/man/man8/korvex.fcgi.8", "include/korvex/korvex.h",
                           "include/korvex/korvex.hpp", "include/korvex/version.h", "include/korvex/export.h"}) {
    EXPECT_TRUE(fs::exists(prefix / file)) << file;
  }
  // Only the public header set: none of the internal ones.
  EXPECT_FALSE(fs::exists(prefix / "include" / "cgi"));
  EXPECT_FALSE(fs::exists(prefix / "include" / "korvex" / "version.h.in"));
  EXPECT_FALSE(FindFile(prefix / "include", "RequestHandler.h").has_filename());
  for (const char* file : {"libkorvex.so", "KorvexConfig.cmake", "KorvexConfigVersion.cmake", "KorvexTargets.cmake",
                           "korvex.pc"}) {
    EXPECT_TRUE(FindFile(prefix, file).has_filename()) << file;
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

// A few lines of CMake and C++ (tests/consumer/) built against the staged library, found once
// through its CMake package and once through pkg-config.
TEST_F(InstallTest, ConsumerBuildsAgainstTheStagedLibrary) {
  const fs::path stage = root_ / "stage";
  const ProcessResult installed = Install("/usr/local", stage);
  ASSERT_EQ(installed.exitStatus, 0) << installed.output << installed.errorOutput;
  const fs::path library = FindFile(stage, "libkorvex.so");
  const fs::path pcFile = FindFile(stage, "korvex.pc");
  ASSERT_TRUE(library.has_filename() && pcFile.has_filename()) << installed.output;

  const struct {
    const char* way;
    std::string option;
  } ways[] = {{"find_package", "-DCMAKE_PREFIX_PATH=" + (stage / "usr" / "local").string()},
              {"pkg-config", "-DKORVEX_CONSUMER_PKG_CONFIG=ON"}};
  std::vector<EnvironmentVariable> environment = kToolEnvironment;
  environment.emplace_back("PKG_CONFIG_PATH", pcFile.parent_path().string());
  environment.emplace_back("LD_LIBRARY_PATH", library.parent_path().string());
  for (const auto& way : ways) {
    SCOPED_TRACE(way.way);
    const fs::path build = root_ / (std::string("consumer-") + way.way);
    const ProcessResult configured = RunProcess(
        cmake_,
        {"-S", std::string(TestPaths::kSourceDir) + "/tests/consumer", "-B", build.string(), way.option,
         std::string("-DCMAKE_CXX_FLAGS=") + TestPaths::kConsumerCxxFlags},
        environment, "", std::chrono::seconds(120));
    ASSERT_EQ(configured.exitStatus, 0) << configured.output << configured.errorOutput;
    const ProcessResult built =
        RunProcess(cmake_, {"--build", build.string()}, environment, "", std::chrono::seconds(120));
    ASSERT_EQ(built.exitStatus, 0) << built.output << built.errorOutput;

    const fs::path image = build / "symbol.png";
    const ProcessResult run =
        RunProcess((build / "consumer").string(), {image.string(), "Consumer ~1 01"}, environment, "");
    ASSERT_EQ(run.exitStatus, 0) << run.errorOutput;
    EXPECT_NE(run.output.find(": 16 x 16 modules"), std::string::npos) << run.output;
    EXPECT_EQ(ReadSymbolFile(image), "Consumer \x1d 01");
  }
}

// The README's C example built as C99 with every warning an error against the staged headers and
// library, run under valgrind (or, in the sanitizer build, under ASan), its PNG read back; the C++
// example likewise; and the Python package installed into a fresh virtual environment without
// network, where the README's Python example runs on the staged library.
TEST_F(InstallTest, ReadmeExamplesRunAgainstTheStagedLibrary) {
  const fs::path stage = root_ / "stage";
  const ProcessResult installed = Install("/usr/local", stage);
  ASSERT_EQ(installed.exitStatus, 0) << installed.output << installed.errorOutput;
  const fs::path include = stage / "usr" / "local" / "include";
  const fs::path library = FindFile(stage, "libkorvex.so");
  ASSERT_TRUE(fs::exists(include / "korvex" / "version.h") && library.has_filename()) << installed.output;
  const fs::path directory = root_ / "examples";
  fs::create_directories(directory);
  std::vector<EnvironmentVariable> environment = kToolEnvironment;
  environment.emplace_back("LD_LIBRARY_PATH", library.parent_path().string());
  const std::string sanitizers = TestPaths::kConsumerCxxFlags;
  const std::string link = " -I'" + include.string() + "' -L'" + library.parent_path().string() + "' -lkorvex ";
  const std::string checker =
      sanitizers.empty() ? "valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect "
                         : "";

  const struct {
    const char* language;
    std::string compile;
    std::vector<std::string> printed;
    const char* image;
    std::string decoded;
  } examples[] = {
      {"c", "gcc -std=c99 -pedantic -Wall -Werror " + sanitizers + " example.c" + link + "-o example",
       {"modules, ", "Error: Invalid argument. angle: 45 is out of range\n", "PNG "}, "hello.png", "Korvex ~1 C"},
      {"cpp", "g++ -std=c++17 -Wall -Wextra -Werror " + sanitizers + " example.cpp" + link + "-o example",
       {"18 x 18, format 5\n", "10 Error: The data to encode cant be placed in the current matrix format.\n"},
       "gs1.png", "010950110153000310AB-123"},
  };
  for (const auto& example : examples) {
    SCOPED_TRACE(example.language);
    const std::string source = ReadmeExample(example.language);
    ASSERT_FALSE(source.empty()) << "no ```" << example.language << " block in README.md";
    WriteText(directory / (std::string("example.") + example.language), source);
    const ProcessResult built = RunIn(directory, example.compile, environment);
    ASSERT_EQ(built.exitStatus, 0) << built.output << built.errorOutput;
    const ProcessResult run = RunIn(directory, checker + "./example", environment);
    EXPECT_EQ(run.exitStatus, 0) << run.output << run.errorOutput;
    for (const std::string& text : example.printed) EXPECT_NE(run.output.find(text), std::string::npos) << run.output;
    EXPECT_EQ(ReadSymbolFile(directory / example.image), example.decoded);
  }

  // A Python process cannot load a library built with the sanitizers, whose runtime must come
  // first; the release build runs the Python examples.
  if (!sanitizers.empty()) return;
  // The package from a copy of python/, so that building it leaves nothing in the source tree.
  const fs::path package = directory / "python";
  fs::copy(fs::path(TestPaths::kSourceDir) / "python", package, fs::copy_options::recursive);
  const fs::path venv = directory / "venv";
  const ProcessResult created =
      RunIn(directory, "/usr/bin/python3 -m venv --system-site-packages '" + venv.string() + "'", environment);
  ASSERT_EQ(created.exitStatus, 0) << created.errorOutput;
  const ProcessResult pip = RunIn(
      directory, "'" + (venv / "bin" / "pip").string() + "' install -q --no-index --no-build-isolation ./python",
      environment);
  ASSERT_EQ(pip.exitStatus, 0) << pip.output << pip.errorOutput;
  const std::string python = "'" + (venv / "bin" / "python").string() + "'";
  const ProcessResult hello =
      RunIn(directory, python + " -c \"import korvex; print(korvex.encode('Hello').png()[:8])\"", environment);
  EXPECT_EQ(hello.exitStatus, 0) << hello.errorOutput;
  EXPECT_EQ(hello.output, "b'\\x89PNG\\r\\n\\x1a\\n'\n");
  WriteText(directory / "example.py", ReadmeExample("python"));
  const ProcessResult run = RunIn(directory, python + " example.py", environment);
  EXPECT_EQ(run.exitStatus, 0) << run.output << run.errorOutput;
  EXPECT_NE(run.output.find("5 Error: Invalid data to encode. GS1: (01) 09501101530004: check digit should be 3\n"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(ReadSymbolFile(directory / "hello.png"), "Hello ~1");
}

// The packages of `make deb` unpacked into a scratch folder: the CGI program there answers as the
// one built here (apart from the PNG's time fields), and the worker and the command-line program
// start. Skipped where no package has been built.
TEST_F(InstallTest, DebianPackageRunsFromItsUnpackedFiles) {
  std::vector<fs::path> packages;
  fs::path pythonPackage;
  const fs::path directory = PackageDirectory();
  if (fs::is_directory(directory)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
      const std::string name = entry.path().filename().string();
      if ((name.rfind("korvex_", 0) == 0 || name.rfind("libkorvex2_", 0) == 0) && entry.path().extension() == ".deb") {
        packages.push_back(entry.path());
      }
      if (name.rfind("python3-korvex_", 0) == 0 && entry.path().extension() == ".deb") pythonPackage = entry.path();
    }
  }
  if (packages.size() < 2) GTEST_SKIP() << "no korvex and libkorvex2 packages in " << directory << " (make deb)";

  const fs::path unpacked = root_ / "unpacked";
  for (const fs::path& package : packages) {
    const ProcessResult extracted =
        RunProcess("/usr/bin/dpkg-deb", {"-x", package.string(), unpacked.string()}, kToolEnvironment, "");
    ASSERT_EQ(extracted.exitStatus, 0) << package << extracted.errorOutput;
  }

  const std::vector<EnvironmentVariable> request = {{"REQUEST_METHOD", "GET"},
                                                    {"QUERY_STRING", "data=Packaged&w=120&h=80&fmt=26"}};
  const ProcessResult packaged = RunProcess((unpacked / "usr/lib/cgi-bin/korvex.cgi").string(), {}, request, "");
  const ProcessResult built = RunCgi(request);
  EXPECT_EQ(packaged.exitStatus, 0) << packaged.errorOutput;
  EXPECT_EQ(packaged.output.rfind("Content-type: image/png\n\n", 0), 0u);
  EXPECT_EQ(WithoutPngTime(packaged.output), WithoutPngTime(built.output));

  const ProcessResult usage = RunProcess((unpacked / "usr/bin/korvex.fcgi").string(), {"--help"}, {}, "");
  EXPECT_EQ(usage.exitStatus, 0) << usage.errorOutput;

  const fs::path program = unpacked / "usr/bin/korvex";
  if (!fs::exists(program)) GTEST_SKIP() << "the package holds no command-line program korvex yet";
  const fs::path library = FindFile(unpacked, "libkorvex.so.2");
  const std::vector<EnvironmentVariable> environment = {{"LD_LIBRARY_PATH", library.parent_path().string()}};
  const fs::path image = root_ / "command-line.png";
  const ProcessResult run = RunProcess(program.string(), {"-o", image.string(), "--w=200", "Packaged"}, environment, "");
  ASSERT_EQ(run.exitStatus, 0) << run.errorOutput;
  EXPECT_EQ(ReadSymbolFile(image), "Packaged");
  EXPECT_EQ(RunProcess(program.string(), {"--version"}, environment, "").exitStatus, 0);

  // The Python package on the packaged library.
  if (pythonPackage.empty()) GTEST_SKIP() << "no python3-korvex package in " << directory;
  const ProcessResult extracted =
      RunProcess("/usr/bin/dpkg-deb", {"-x", pythonPackage.string(), unpacked.string()}, kToolEnvironment, "");
  ASSERT_EQ(extracted.exitStatus, 0) << extracted.errorOutput;
  const ProcessResult python = RunProcess(
      "/usr/bin/python3", {"-c", "import korvex; print(korvex.__file__, korvex.encode('Packaged').png()[:4])"},
      {{"LD_LIBRARY_PATH", library.parent_path().string()},
       {"PYTHONPATH", (unpacked / "usr/lib/python3/dist-packages").string()}, {"PYTHONDONTWRITEBYTECODE", "1"}},
      "");
  EXPECT_EQ(python.exitStatus, 0) << python.errorOutput;
  EXPECT_EQ(python.output, (unpacked / "usr/lib/python3/dist-packages/korvex/__init__.py").string() + " b'\\x89PNG'\n");
}

}  // namespace
