// The demo page as a user meets it: served by scripts/run-server.sh (what `make run` starts),
// driven in headless Chromium by demo-check.js, which types data, waits for the preview,
// takes a screenshot of the page and switches the preview to SVG; zxing-cpp must read the typed data from the part of the
// screenshot where the preview stands (on the whole page its detector gets lost in the text).
// The SVG answers, rendered by svg-check.js through the same server, must show exactly the
// pixels of the PNG of the same request. A page of another origin reads an SVG answer through
// CORS (cors-check.js), the server started with KORVEX_ALLOW_ORIGIN.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstddef>
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
      // The escapes JSON.stringify writes for the control characters an answer may hold.
      const char control = json[i] == 'n' ? '\n' : json[i] == 't' ? '\t' : json[i] == 'r' ? '\r' : '\0';
      if (control != '\0') {
        value += control;
        continue;
      }
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

// Chromium, Node.js and playwright-core, or why a browser cannot be driven here.
struct BrowserTools {
  std::string chromium;
  std::string node;
  std::string missing;  // empty when everything is there
};

BrowserTools FindBrowserTools() {
  BrowserTools tools;
  tools.chromium = FindProgram({"chromium", "chromium-browser"});
  tools.node = FindProgram({"node", "nodejs"});
  if (tools.chromium.empty()) {
    tools.missing = "Chromium is not installed (Debian package chromium)";
  } else if (tools.node.empty()) {
    tools.missing = "Node.js is not installed";
  } else if (!fs::exists(fs::path(TestPaths::kSourceDir) / "tests" / "browser" / "node_modules" / "playwright-core")) {
    tools.missing = "playwright-core is not installed (run tests/browser/install.sh)";
  }
  return tools;
}

const fs::path kBrowserDir = fs::path(TestPaths::kSourceDir) / "tests" / "browser";

TEST(BrowserTest, TypedDataAppearsAsAReadableSymbolAndErrorsShowTheirText) {
  const BrowserTools tools = FindBrowserTools();
  if (!tools.missing.empty()) {
    GTEST_SKIP() << tools.missing << "; the demo page was not tested in a browser";
  }
  const std::string& chromium = tools.chromium;
  const std::string& node = tools.node;
  const fs::path& browserDir = kBrowserDir;

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
  EXPECT_EQ(JsonString(run.output, "svgStatus").rfind("Ready:", 0), 0u) << run.output;
  EXPECT_EQ(JsonString(run.output, "svgDownload"), "korvex.svg") << run.output;
  EXPECT_NE(JsonString(run.output, "svgLink").find("out=svg"), std::string::npos) << run.output;
  EXPECT_NE(JsonString(run.output, "errorStatus").find("Error: Invalid barcode size."), std::string::npos)
      << run.output;
  EXPECT_EQ(JsonString(run.output, "gs1Detail"), "GS1: (01) 09501101530004: check digit should be 3") << run.output;
  EXPECT_EQ(JsonString(run.output, "utf8"), "1") << run.output;
  EXPECT_EQ(JsonString(run.output, "digitalLink"), "https://id.gs1.org/01/09506000134352/10/ABC123/21/XYZ?17=261231")
      << run.output;
  EXPECT_EQ(JsonString(run.output, "digitalLinkDetail"),
            "GS1 Digital Link: /01/09506000134353: check digit should be 2") << run.output;
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

// One request of the SVG table: the data, which zxing-cpp must read back, and the drawing settings.
struct SvgCase {
  std::string data;
  std::string settings;
};

// Each angle, each alignment, quiet zone on and off and its sizes, colours, square and
// rectangular formats, and sizes from the default up to the largest image.
const std::vector<SvgCase> kSvgCases = {
    {"123456", ""},  // 10 x 10 at 60 x 60, the default size
    {"1234567", "xdim=2"},
    {"12345678", "fmt=25&angle=0&xdim=3"},
    {"12345678", "fmt=25&angle=90&xdim=3"},
    {"12345678", "fmt=25&angle=180&xdim=3"},
    {"12345678", "fmt=25&angle=270&xdim=3"},
    {"Korvex2026", "fmt=26&angle=90&w=150&h=113"},
    {"Korvex2026LabelOne", "fmt=27&w=97&h=40"},
    {"Korvex2026LabelOneTwo", "fmt=28&angle=270&w=61&h=203"},
    {"Korvex2026LabelOneTwoThree", "fmt=29&w=333&h=101"},
    {"Korvex2026LabelOneTwoThreeFour", "fmt=30&angle=180&w=500&h=99"},
    {"DmreStrip", "dmre=1&fmt=36&angle=90&xdim=2"},
    {"Dmre26x40", "dmre=1&fmt=46&angle=180&w=321&h=211&alignh=2"},
    {"ALongerTextInTheNarrowestRectangleThatHoldsIt", "dmre=1&shape=1&xdim=3"},
    {"Align", "w=131&h=97&alignh=0&alignv=0"},
    {"Align", "w=131&h=97&alignh=0&alignv=1"},
    {"Align", "w=131&h=97&alignh=0&alignv=2"},
    {"Align", "w=131&h=97&alignh=1&alignv=0"},
    {"Align", "w=131&h=97&alignh=1&alignv=2"},
    {"Align", "w=131&h=97&alignh=2&alignv=0"},
    {"Align", "w=131&h=97&alignh=2&alignv=1"},
    {"Align", "w=131&h=97&alignh=2&alignv=2"},
    {"Align", "w=84&h=84&alignh=2&alignv=2"},  // no free space: the one-pixel shift
    {"Quiet", "quiet=0&w=90&h=91"},
    {"Quiet", "quiet=0&w=120&h=120&alignh=2&alignv=2"},
    {"Quiet", "qsize=0&w=101&h=77"},
    {"Quiet", "qsize=2&w=101&h=77"},
    {"Quiet", "qsize=3&xdim=4"},
    {"Colours", "bcolor=ffee00&fcolor=0000aa&w=90&h=90"},
    {"Colours", "bcolor=c0ffc0&fcolor=7a1f3d&angle=90&w=91&h=120"},
    {"Colours", "bcolor=ffffff&fcolor=404040&quiet=0&w=88&h=88"},
    {"Format5", "fmt=5&w=250&h=250"},
    {"Format10", "fmt=10&angle=180&w=400&h=333"},
    {"Format15", "fmt=15&alignh=0&w=555&h=600"},
    {"Format20", "fmt=20&angle=270&w=640&h=699"},
    {"Format24", "fmt=24&w=699&h=699"},
};

TEST(BrowserTest, SvgAnswersShowExactlyThePixelsOfThePngAnswers) {
  const BrowserTools tools = FindBrowserTools();
  if (!tools.missing.empty()) {
    GTEST_SKIP() << tools.missing << "; the SVG answers were not rendered in a browser";
  }
  ScratchDirectory scratch("korvex-browser-svg");
  ASSERT_FALSE(scratch.Path().empty());
  const int port = FreePort();
  ASSERT_GT(port, 0);
  LocalServer server(RunServerScript(port, scratch.Path(), scratch.Path() / "server.log"));
  ASSERT_TRUE(WaitUntilAccepting(port, {&server}, 15s)) << "the demo server did not come up:\n" << server.Log();

  std::vector<Raster> pngs;
  std::string list;
  for (const SvgCase& c : kSvgCases) {
    const std::string query = "data=" + c.data + (c.settings.empty() ? "" : "&" + c.settings);
    std::string reason;
    const std::optional<Raster> png = CgiImage(query, &reason);
    ASSERT_TRUE(png.has_value()) << query << ": " << reason;
    pngs.push_back(*png);
    list += std::to_string(png->width) + " " + std::to_string(png->height) + " " + query + "&out=svg\n";
  }
  const fs::path listPath = scratch.Path() / "requests.txt";
  {
    std::ofstream listFile(listPath);
    listFile << list;
  }
  const fs::path shots = scratch.Path() / "shots";
  fs::create_directory(shots);
  const ProcessResult run = RunProcess(
      tools.node,
      {(kBrowserDir / "svg-check.js").string(), "http://127.0.0.1:" + std::to_string(port), listPath.string(),
       shots.string()},
      {{"PATH", kSystemPath}, {"HOME", scratch.Path().string()}, {"KORVEX_CHROMIUM", tools.chromium}}, "",
      std::chrono::seconds(100));
  ASSERT_TRUE(run.started);
  ASSERT_FALSE(run.timedOut) << run.errorOutput;
  ASSERT_EQ(run.exitStatus, 0) << run.output << run.errorOutput << "\n" << server.Log();
  EXPECT_NE(run.output.find("\"problems\":[]"), std::string::npos) << run.output;

  std::size_t svgAnswers = 0;
  for (std::size_t at = run.output.find("image/svg+xml"); at != std::string::npos;
       at = run.output.find("image/svg+xml", at + 1)) {
    ++svgAnswers;
  }
  EXPECT_EQ(svgAnswers, kSvgCases.size()) << run.output;

  for (std::size_t n = 0; n < kSvgCases.size(); ++n) {
    const SvgCase& c = kSvgCases[n];
    SCOPED_TRACE("data=" + c.data + "&" + c.settings);
    PngInfo shot;
    std::string error;
    ASSERT_TRUE(ReadPng(ReadFile(shots / (std::to_string(n) + ".png")), shot, &error)) << error;
    const Raster rendered = ToRaster(shot);
    const Raster& png = pngs[n];
    ASSERT_EQ(rendered.width, png.width);
    ASSERT_EQ(rendered.height, png.height);
    ASSERT_EQ(rendered.channels, png.channels);
    std::size_t differing = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < png.pixels.size(); ++i) {
      if (rendered.pixels[i] != png.pixels[i] && differing++ == 0) first = i / png.channels;
    }
    EXPECT_EQ(differing, 0u) << "first differing pixel at x " << first % png.width << ", y " << first / png.width;
    // zxing-cpp wants some light space around a symbol drawn without a quiet zone.
    const std::optional<Decoded> read = ReadWithZxing(OnPage(rendered, 10));
    EXPECT_EQ(read ? read->bytes : "(no symbol found)", c.data) << "zxing-cpp on the rendered SVG";
  }
}

TEST(BrowserTest, APageOfAnotherOriginReadsAnSvgThroughCors) {
  const BrowserTools tools = FindBrowserTools();
  if (!tools.missing.empty()) {
    GTEST_SKIP() << tools.missing << "; CORS was not tried in a browser";
  }
  ScratchDirectory scratch("korvex-browser-cors");
  ASSERT_FALSE(scratch.Path().empty());
  const int port = FreePort();
  ASSERT_GT(port, 0);
  // The page comes from localhost, the generator from 127.0.0.1: two origins of one server.
  const std::string pageOrigin = "http://localhost:" + std::to_string(port);
  LocalServerOptions options = RunServerScript(port, scratch.Path(), scratch.Path() / "server.log");
  options.environment->emplace_back("KORVEX_ALLOW_ORIGIN", pageOrigin);
  LocalServer server(std::move(options));
  ASSERT_TRUE(WaitUntilAccepting(port, {&server}, 15s)) << "the demo server did not come up:\n" << server.Log();

  const std::string query = "data=Read+across+origins&out=svg&xdim=4";
  const ProcessResult run = RunProcess(
      tools.node,
      {(kBrowserDir / "cors-check.js").string(), pageOrigin + "/",
       "http://127.0.0.1:" + std::to_string(port) + "/cgi-bin/korvex.cgi", query},
      {{"PATH", kSystemPath}, {"HOME", scratch.Path().string()}, {"KORVEX_CHROMIUM", tools.chromium}}, "",
      std::chrono::seconds(60));
  ASSERT_TRUE(run.started);
  ASSERT_FALSE(run.timedOut) << run.errorOutput;
  ASSERT_EQ(run.exitStatus, 0) << run.output << run.errorOutput << "\n" << server.Log();

  const ProcessResult cgi = RunCgi({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}});
  const std::string header = "Content-type: image/svg+xml\n\n";
  ASSERT_EQ(cgi.output.rfind(header, 0), 0u) << cgi.output.substr(0, 80);
  EXPECT_EQ(JsonString(run.output, "origin"), pageOrigin);
  EXPECT_NE(run.output.find("\"status\":200,"), std::string::npos) << run.output;
  EXPECT_EQ(JsonString(run.output, "contentType"), "image/svg+xml");
  EXPECT_EQ(JsonString(run.output, "svg"), cgi.output.substr(header.size()));
  EXPECT_EQ(JsonString(run.output, "etag").size(), 18u) << "the page cannot read the tag: " << run.output;
  // The preflight let the header through, and the tag matched.
  EXPECT_NE(run.output.find("\"conditionalStatus\":304"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\"problems\":[]"), std::string::npos) << run.output;
}

}  // namespace
