// docs/openapi.yaml against the parameter table: a parameter added to the table and left out of
// the API description fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "request/RequestParameter.h"
#include "support/Paths.h"

using namespace korvex::internal;

namespace {

// The document's mapping keys by their path ("components/parameters/w"), and every scalar value
// under its key's path, read by indentation: enough for a document written in block style.
struct YamlOutline {
  std::set<std::string> paths;
  std::multiset<std::string> valuesAt;  // "path=value"
};

YamlOutline ReadOutline(const std::string& text) {
  YamlOutline outline;
  std::vector<std::pair<std::size_t, std::string>> open;  // indentation and key of each level
  std::size_t blockIndent = std::string::npos;  // the key of a block scalar (>-, |) being skipped
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos || line[indent] == '#') continue;
    if (blockIndent != std::string::npos && indent > blockIndent) continue;
    blockIndent = std::string::npos;
    std::string rest = line.substr(indent);
    if (rest.rfind("- ", 0) == 0) rest = rest.substr(2);
    const std::size_t colon = rest.find(": ") != std::string::npos ? rest.find(": ") : rest.size() - 1;
    if (rest.empty() || rest[colon] != ':') continue;
    std::string key = rest.substr(0, colon);
    if (key.size() > 1 && key.front() == '\'' && key.back() == '\'') key = key.substr(1, key.size() - 2);
    while (!open.empty() && open.back().first >= indent) open.pop_back();
    std::string path;
    for (const auto& level : open) path += level.second + "/";
    path += key;
    outline.paths.insert(path);
    const std::string value = colon + 2 <= rest.size() ? rest.substr(colon + 2) : "";
    if (value == ">-" || value == ">" || value == "|" || value == "|-") {
      blockIndent = indent;
    } else if (!value.empty()) {
      outline.valuesAt.insert(path + "=" + value);
    }
    open.emplace_back(indent, key);
  }
  return outline;
}

class OpenApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream file(std::filesystem::path(TestPaths::kSourceDir) / "docs" / "openapi.yaml");
    ASSERT_TRUE(file) << "docs/openapi.yaml is missing";
    std::stringstream text;
    text << file.rdbuf();
    text_ = text.str();
    outline_ = ReadOutline(text_);
  }
  bool Has(const std::string& path) const { return outline_.paths.count(path) > 0; }
  bool HasValue(const std::string& path, const std::string& value) const {
    return outline_.valuesAt.count(path + "=" + value) > 0;
  }

  std::string text_;
  YamlOutline outline_;
};

TEST_F(OpenApiTest, DescribesEveryParameterForGetAndPostWithItsType) {
  std::vector<std::string> names = {"help"};
  for (const RequestParameter& parameter : RequestParameters()) names.push_back(parameter.name);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string parameter = "components/parameters/" + name;
    EXPECT_TRUE(HasValue(parameter + "/name", name)) << "no query parameter " << name;
    EXPECT_TRUE(HasValue(parameter + "/in", "query"));
    EXPECT_TRUE(Has(parameter + "/description"));
    EXPECT_TRUE(HasValue(parameter + "/schema/$ref", "'#/components/schemas/" + name + "'"));
    EXPECT_TRUE(Has("components/schemas/" + name + "/type")) << "no type";
    EXPECT_TRUE(HasValue("components/schemas/Form/properties/" + name + "/$ref", "'#/components/schemas/" + name + "'"))
        << "not in the POST body";
    EXPECT_TRUE(HasValue("paths//cgi-bin/korvex.cgi/get/parameters/$ref", "'#/components/parameters/" + name + "'"))
        << "not among the GET parameters";
  }
}

// The defaults and ranges as the request settings read them, for the parameters with a range.
TEST_F(OpenApiTest, StatesTheRangesAndDefaults) {
  struct Range {
    const char* name;
    const char* minimum;
    const char* maximum;
    const char* defaultValue;
  };
  const Range ranges[] = {{"w", "1", "699", "100"},   {"h", "1", "699", "100"},   {"fmt", "0", "48", "0"},
                          {"mode", "0", "6", "0"},     {"alignh", "0", "2", "1"},  {"alignv", "0", "2", "1"},
                          {"shape", "0", "2", "0"},    {"dpi", "1", "4800", ""},   {"xdim", "1", "", "5"},
                          {"qsize", "0", "", "1"}};
  for (const Range& range : ranges) {
    SCOPED_TRACE(range.name);
    const std::string schema = std::string("components/schemas/") + range.name;
    EXPECT_TRUE(HasValue(schema + "/type", "integer"));
    EXPECT_TRUE(HasValue(schema + "/minimum", range.minimum));
    if (*range.maximum != '\0') {
      EXPECT_TRUE(HasValue(schema + "/maximum", range.maximum));
    }
    if (*range.defaultValue != '\0') {
      EXPECT_TRUE(HasValue(schema + "/default", range.defaultValue));
    }
  }
  EXPECT_TRUE(HasValue("components/schemas/data/default", "'1234567'"));
  EXPECT_TRUE(HasValue("components/schemas/angle/enum", "[0, 90, 180, 270]"));
}

TEST_F(OpenApiTest, NamesTheErrorStatusesAndTheProblemBody) {
  EXPECT_TRUE(HasValue("openapi", "3.1.0"));
  for (const char* method : {"get", "post"}) {
    for (const char* status : {"200", "304", "400", "413", "500"}) {
      EXPECT_TRUE(Has(std::string("paths//cgi-bin/korvex.cgi/") + method + "/responses/" + status))
          << method << " " << status;
    }
  }
  EXPECT_TRUE(Has("paths//cgi-bin/korvex.cgi/get/responses/405"));
  EXPECT_TRUE(Has("paths//cgi-bin/korvex.cgi/options/responses/204"));
  EXPECT_TRUE(HasValue("components/schemas/Problem/required", "[type, title, status, detail, code]"));
  for (const char* member : {"type", "title", "status", "detail", "code"}) {
    EXPECT_TRUE(Has(std::string("components/schemas/Problem/properties/") + member + "/type")) << member;
  }
  EXPECT_TRUE(Has("components/responses/BadRequest/content/application/problem+json/schema/$ref"));
}

TEST(OpenApiOutlineTest, ReadsNestedKeysListsAndValues) {
  const YamlOutline outline = ReadOutline(
      "a:\n  b: 1\n  # note\n  c:\n    - $ref: 'x'\n    - $ref: 'y'\n  '200':\n    d: two words\n"
      "  f: >-\n    folded text: not a key\n    more\ne: [1, 2]\n");
  EXPECT_EQ(outline.paths, (std::set<std::string>{"a", "a/b", "a/c", "a/c/$ref", "a/200", "a/200/d", "a/f", "e"}));
  EXPECT_EQ(outline.valuesAt.count("a/c/$ref='x'"), 1u);
  EXPECT_EQ(outline.valuesAt.count("a/c/$ref='y'"), 1u);
  EXPECT_EQ(outline.valuesAt.count("a/200/d=two words"), 1u);
  EXPECT_EQ(outline.valuesAt.count("e=[1, 2]"), 1u);
}

}  // namespace
