// The demo page as a user meets it: served by scripts/run-server.sh (what `make run` starts),
// driven in headless Chromium by demo-check.js, which types data, waits for the preview and
// takes a screenshot of the page; zxing-cpp must read the typed data from the part of the
// screenshot where the preview stands (on the whole page its detector gets lost in the text).
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
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

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

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

  ScratchDirectory scratch("korvex-browser");
  ASSERT_FALSE(scratch.Path().empty());
  const int port = FreePort();
  ASSERT_GT(port, 0);
  LocalServer server(RunServerScript(port, scratch.Path(), scratch.Path() / "server.log"));
  ASSERT_TRUE(WaitUntilAccepting(port, {&server}, 15s)) << "the demo server did not come up:\n" << server.Log();

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
  EXPECT_EQ(JsonString(run.output, "gs1Detail"), "GS1: (01) 09501101530004: check digit should be 3") << run.output;
  EXPECT_EQ(JsonString(run.output, "utf8"), "1") << run.output;
  EXPECT_NE(run.output.find("\"problems\":[]"), std::string::npos) << "the page reported errors: " << run.output;

  PngInfo png;
  std::string error;
  ASSERT_TRUE(ReadPng(ReadFile(screenshot), png, &error)) << error;
  const Raster screen = ToRaster(png);
  const Raster preview = Crop(screen, JsonInteger(run.output, "frame", "x"), JsonInteger(run.output, "frame", "y"),
                              JsonInteger(run.output, "frame", "width"), JsonInteger(run.output, "frame", "height"));
  ASSERT_GT(preview.width, 0) << "the preview frame is not inside the screenshot: " << run.output;
  const std::optional<Decoded> read = ReadWithZxing(preview);
  ASSERT_TRUE(read.has_value()) << "zxing-cpp found no symbol where the preview stands in the screenshot";
  EXPECT_EQ(read->bytes, typed);
}

}  // namespace
