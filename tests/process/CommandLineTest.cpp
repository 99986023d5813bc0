// The command-line program korvex beyond the answers it shares with the web program (those are
// compared in CgiRequestTest): its own options and failures, data from standard input, the
// terminal it refuses to fill with a PNG, and batches.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "request/QueryString.h"
#include "request/RequestHandler.h"
#include "support/CgiProcess.h"
#include "support/HtmlPageTexts.h"
#include "support/LocalServer.h"
#include "support/Paths.h"
#include "support/PngReader.h"
#include "support/ReadBack.h"
#include "support/ScratchDirectory.h"

using namespace korvex::internal;

namespace {

namespace fs = std::filesystem;

struct CliCase {
  std::string label;
  std::vector<std::string> args;
  int status;
  std::string errorOutput;   // exactly, or its start when it ends in "..."
  std::string outputStart;   // what standard output starts with
};

void PrintTo(const CliCase& c, std::ostream* os) { *os << c.label; }

// A page as the program writes it, without the header that the web answer puts before it.
std::string WithoutCgiHeader(const std::string& response) { return response.substr(response.find("\n\n") + 2); }

const std::string kTryHelp = "Try 'korvex --help' for more information.\n";

std::vector<CliCase> CliCases() {
  return {
      {"Help", {"--help"}, 0, "", "Usage: korvex [OPTION]... [DATA]\n"},
      {"Version", {"--version"}, 0, "", "korvex (Korvex) "},
      {"UnknownOption", {"--bogus=1", "x"}, 64, "korvex: unrecognized option '--bogus=1'\n" + kTryHelp, ""},
      {"WebHelpIsNoParameter", {"--help=1"}, 64, "korvex: option '--help' doesn't allow an argument\n" + kTryHelp, ""},
      {"ParameterWithoutValue", {"--w"}, 64, "korvex: option '--w' requires an argument\n" + kTryHelp, ""},
      {"AmbiguousAbbreviation", {"--align=1"}, 64, "korvex: option '--align=1' is ambiguous...", ""},
      {"TwoOperands", {"a", "b"}, 64, "korvex: more than one DATA argument ('b')\n" + kTryHelp, ""},
      {"DataTwice", {"--data=a", "b"}, 64, "korvex: the data is given twice, as DATA and with --data\n" + kTryHelp, ""},
      {"BatchWithData", {"--batch=-", "-o", "%n.png", "x"}, 64, "korvex: --batch reads its data from FILE...", ""},
      {"BatchWithoutOutput", {"--batch", "-"}, 64, "korvex: --batch needs -o with %n or %s in the file name\n" + kTryHelp, ""},
      {"BatchToOneFile", {"--batch=-", "-o", "x.png"}, 64, "korvex: -o x.png: needs %n or %s...", ""},
      {"BatchUnknownPercent", {"--batch=-", "-o", "%d.png"}, 64, "korvex: -o %d.png: '%d' is not %n, %s or %%\n" + kTryHelp, ""},
      {"BatchLonePercent", {"--batch=-", "-o", "%n%"}, 64, "korvex: -o %n%: the pattern ends in a lone '%'\n" + kTryHelp, ""},
      {"MissingBatchFile", {"--batch=/nonexistent/lines", "-o", "%n.png"}, 66,
       "korvex: /nonexistent/lines: No such file or directory\n", ""},
      {"UnopenableOutput", {"-o", "/nonexistent/x.png", "x"}, 12,
       "korvex: Error: Cant open output file.\nkorvex: /nonexistent/x.png: No such file or directory\n", ""},
      {"OutputDeviceFull", {"-o", "/dev/full", "x"}, 13,
       "korvex: Error: Cant close output file.\nkorvex: /dev/full: No space left on device\n", ""},
      {"FailingSymbol", {"--fmt=1", "123456789"}, 10,
       "korvex: Error: The data to encode cant be placed in the current matrix format.\n", ""},
      {"FailingSymbolWithDebug", {"--debug", "--fmt=1", "123456789"}, 10,
       "korvex: Error: The data to encode cant be placed in the current matrix format.\n",
       WithoutCgiHeader(ExpectedErrorPage("Error: The data to encode cant be placed in the current matrix format."))},
      {"OptionsAfterData", {"x", "--w=40", "--h=30"}, 0, "", kPngSignature},
  };
}

class CommandLine : public ::testing::TestWithParam<CliCase> {};

TEST_P(CommandLine, StatusAndMessages) {
  const CliCase& c = GetParam();
  const ProcessResult result = RunCli(c.args);
  ASSERT_TRUE(result.exited && !result.timedOut) << "cannot run korvex, or it did not end";
  EXPECT_EQ(result.exitStatus, c.status) << result.errorOutput;
  const std::string ellipsis = "...";
  if (c.errorOutput.size() > ellipsis.size() &&
      c.errorOutput.compare(c.errorOutput.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0) {
    const std::string start = c.errorOutput.substr(0, c.errorOutput.size() - ellipsis.size());
    EXPECT_EQ(result.errorOutput.rfind(start, 0), 0u) << result.errorOutput;
  } else {
    EXPECT_EQ(result.errorOutput, c.errorOutput);
  }
  EXPECT_EQ(result.output.rfind(c.outputStart, 0), 0u) << result.output.substr(0, 80);
  if (c.outputStart.empty()) {
    EXPECT_EQ(result.output, "");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLine, ::testing::ValuesIn(CliCases()),
                         [](const ::testing::TestParamInfo<CliCase>& info) { return info.param.label; });

std::optional<std::string> ZxingText(const std::string& pngBytes) {
  PngInfo png;
  std::string error;
  if (!ReadPng(pngBytes, png, &error)) {
    ADD_FAILURE() << error;
    return std::nullopt;
  }
  const std::optional<Decoded> decoded = ReadWithZxing(ToRaster(png));
  if (!decoded) return std::nullopt;
  return decoded->bytes;
}

struct DataCase {
  std::vector<std::string> args;
  std::string input;
  std::string decoded;
};

TEST(CommandLineData, ComesFromOperandOptionOrStandardInput) {
  const DataCase cases[] = {
      {{"Hello, World"}, "", "Hello, World"},
      {{"--data=a&b=c%41"}, "", "a&b=c%41"},  // as typed: no URL decoding
      {{"--", "-5"}, "", "-5"},
      {{"-"}, "from input\n", "from input"},
      {{"--mode=2", "-"}, "TWO LINES\nOF TEXT\n", "TWO LINES\nOF TEXT"},
      {{"-o", "-", "Hello"}, "", "Hello"},  // "-" is standard output, not a file of that name
      {{"--output=-", "-"}, "Dash\n", "Dash"},
  };
  fs::remove("-");
  for (const DataCase& c : cases) {
    const ProcessResult result = RunCli(c.args, c.input);
    ASSERT_EQ(result.exitStatus, 0) << c.decoded << ": " << result.errorOutput;
    EXPECT_EQ(ZxingText(result.output), c.decoded);
  }
  EXPECT_FALSE(fs::exists("-")) << "a file named - was written";
}

// Only a terminal shows the refusal; script(1) gives the program one.
TEST(CommandLineTerminal, RefusesToWriteAPng) {
  const char* script = "/usr/bin/script";
  if (access(script, X_OK) != 0) GTEST_SKIP() << "script(1) is not installed";
  const ProcessResult result =
      RunProcess(script, {"-qec", std::string(TestPaths::kCli) + " x", "/dev/null"}, {{"TERM", "dumb"}}, "");
  EXPECT_EQ(result.exitStatus, 64);
  EXPECT_NE(result.output.find("korvex: a PNG image is not written to a terminal"), std::string::npos) << result.output;
  EXPECT_EQ(result.output.find("PNG\r\n"), std::string::npos) << "image bytes reached the terminal";
}

std::set<std::string> FileNames(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) names.insert(entry.path().filename().string());
  return names;
}

TEST(CommandLineBatch, TenThousandLinesInOneProcess) {
  ScratchDirectory scratch("korvex-batch");
  ASSERT_FALSE(scratch.Path().empty());
  constexpr int kLines = 10000;
  std::string lines;
  for (int i = 1; i <= kLines; ++i) lines += "LABEL-" + std::to_string(i * 7919) + "\n";
  const ProcessResult result =
      RunCli({"--batch", "-", "-o", (scratch.Path() / "%n.png").string()}, lines, std::chrono::minutes(5));
  ASSERT_TRUE(result.exited && !result.timedOut);
  ASSERT_EQ(result.exitStatus, 0) << result.errorOutput.substr(0, 400);
  EXPECT_EQ(result.errorOutput, "");
  EXPECT_EQ(FileNames(scratch.Path()).size(), static_cast<size_t>(kLines));
  for (int i = 1; i <= kLines; i += 997) {
    const std::string file = std::to_string(i) + ".png";
    EXPECT_EQ(ZxingText(ReadFile(scratch.Path() / file)), "LABEL-" + std::to_string(i * 7919)) << file;
  }
}

// --compact=1 reaches every line of a batch: each file is the web answer to the same parameters
// with compact, byte for byte, one bit per pixel.
TEST(CommandLineBatch, CompactAppliesToEveryLine) {
  ScratchDirectory scratch("korvex-batch");
  ASSERT_FALSE(scratch.Path().empty());
  std::string lines;
  for (int i = 1; i <= 20; ++i) lines += "KVX" + std::to_string(i * 104729) + "\n";
  const ProcessResult result =
      RunCli({"--compact=1", "--bcolor=fff0e0", "--batch=-", "-o", (scratch.Path() / "%s.png").string()}, lines);
  ASSERT_EQ(result.exitStatus, 0) << result.errorOutput;
  for (int i = 1; i <= 20; i += 6) {
    const std::string data = "KVX" + std::to_string(i * 104729);
    const std::string file = ReadFile(scratch.Path() / (data + ".png"));
    const std::string text = "compact=1&bcolor=fff0e0&data=" + data;
    QueryString query(text.c_str());
    EXPECT_EQ(file, AnswerParameters(query, RequestLimits()).body) << data;
    PngInfo png;
    ASSERT_TRUE(ReadPng(file, png)) << data;
    EXPECT_EQ(png.bitDepth, 1);
    EXPECT_EQ(ZxingText(file), data);
  }
}

// Failing lines are reported by number and the rest are made; names made from the data stay
// inside the folder, and two lines that would share one name do not overwrite each other.
TEST(CommandLineBatch, GoesOnPastFailingLinesAndKeepsNamesSafe) {
  ScratchDirectory scratch("korvex-batch");
  ASSERT_FALSE(scratch.Path().empty());
  const std::string longData(300, 'L');
  const std::string lines = "../up\r\n.hidden\n-opt\n" + std::string(3300, '7') + "\na b\tc/d\n\xC3\xBCn\n" + longData +
                            "\na_b_c_d\n";
  const ProcessResult result = RunCli({"--batch=-", "-o", (scratch.Path() / "%s.png").string()}, lines);
  EXPECT_EQ(result.exitStatus, 8);  // the first failure: line 4 fits no format
  const std::string lineEight = (scratch.Path() / "a_b_c_d.png").string();
  EXPECT_EQ(result.errorOutput,
            "korvex: line 4: Error: Cant find the needed matrix format.\n"
            "korvex: line 8: Error: Cant open output file.\n"
            "korvex: line 8: " + lineEight + ": already written for line 5\n");
  EXPECT_EQ(FileNames(scratch.Path()), (std::set<std::string>{"_._up.png", "_hidden.png", "_opt.png", "a_b_c_d.png",
                                                               "__n.png", std::string(100, 'L') + ".png"}));
  EXPECT_EQ(ZxingText(ReadFile(scratch.Path() / "_._up.png")), "../up");
  EXPECT_EQ(ZxingText(ReadFile(scratch.Path() / "a_b_c_d.png")), "a b\tc/d");
}

}  // namespace
