// The README's parameter table, the man page and korvex --help against the one parameter table
// the programs read: a parameter added, renamed or redescribed in one and not the others fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "request/RequestParameter.h"
#include "support/CgiProcess.h"
#include "support/Paths.h"

using namespace korvex::internal;

namespace {

std::vector<std::string> SourceLines(const char* relativePath) {
  std::ifstream file(std::filesystem::path(TestPaths::kSourceDir) / relativePath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

std::string WithoutBackticks(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '`'), text.end());
  return text;
}

// Words separated by single spaces, wherever the text broke its lines.
std::string Words(const std::string& text) {
  std::istringstream words(text);
  std::string joined;
  for (std::string word; words >> word;) joined += (joined.empty() ? "" : " ") + word;
  return joined;
}

TEST(ParameterDocs, TheReadmeTableHasARowForEachParameterAsTheTableGivesIt) {
  const std::vector<std::string> lines = SourceLines("README.md");
  const auto header = std::find(lines.begin(), lines.end(), "| Parameter | Meaning | Default | Accepted |");
  ASSERT_NE(header, lines.end()) << "README.md has no parameter table";
  std::vector<std::string> rows;
  for (auto line = header + 2; line != lines.end() && !line->empty() && line->front() == '|'; ++line) {
    rows.push_back(*line);
  }
  std::vector<std::string> expected;
  for (const RequestParameter& parameter : RequestParameters()) {
    expected.push_back(std::string("| `") + parameter.name + "` | " + parameter.description + " | " +
                       parameter.defaultValue + " | " + AcceptedValues(parameter) + " |");
  }
  EXPECT_EQ(rows, expected);
}

// Every option the man page describes (the tag lines of its OPTIONS section) is a request
// parameter or one of the program's own options, and every parameter is described.
TEST(ParameterDocs, TheManPageDescribesEachParameterAsAnOption) {
  const std::vector<std::string> lines = SourceLines("man/korvex.1");
  std::set<std::string> described;
  bool inOptions = false;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].rfind(".SH", 0) == 0) inOptions = lines[i] == ".SH OPTIONS";
    if (!inOptions || lines[i] != ".TP") continue;
    const std::string& tag = lines[i + 1];
    for (size_t at = tag.find("\\-\\-"); at != std::string::npos; at = tag.find("\\-\\-", at + 1)) {
      const size_t start = at + 4;
      const size_t end = tag.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789", start);
      described.insert(tag.substr(start, end - start));
    }
  }
  std::set<std::string> expected = {"output", "batch", "help", "version"};
  for (const RequestParameter& parameter : RequestParameters()) expected.insert(parameter.name);
  EXPECT_EQ(described, expected);
}

TEST(ParameterDocs, HelpListsEachParameterOnceWithItsDescriptionRangeAndDefault) {
  const ProcessResult help = RunCli({"--help"});
  ASSERT_TRUE(help.exited && help.exitStatus == 0);
  const std::string words = Words(help.output);
  for (const RequestParameter& parameter : RequestParameters()) {
    SCOPED_TRACE(parameter.name);
    const std::string option = std::string("\n  --") + parameter.name +
                               (parameter.kind == ParameterKind::Flag ? " " : "=VALUE ");
    const size_t at = help.output.find(option);
    ASSERT_NE(at, std::string::npos) << "no option line";
    EXPECT_EQ(help.output.find(option, at + 1), std::string::npos) << "listed twice";
    const std::string explained = WithoutBackticks(std::string(parameter.description) + " (" +
                                                   AcceptedValues(parameter) + "; default " + parameter.defaultValue + ")");
    EXPECT_NE(words.find(Words(explained)), std::string::npos) << "no description: " << explained;
  }
}

}  // namespace
