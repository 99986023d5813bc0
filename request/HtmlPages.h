#pragma once

#include <string>

#include "result/ResultCode.h"

namespace korvex::internal {

// The two HTML answers of the program, as bodies of content type kHtmlContentType.
constexpr const char* kHtmlContentType = "text/html";

// A page naming the failure: its message in bold red, then the detail line, when there is one.
std::string ErrorPage(ResultCode code, const std::string& detail = "");

// The page documenting every request parameter.
std::string HelpPage();

// Where the help page's links lead: the product page and the entries of the property
// documentation, served beside the program.
namespace HelpLinks {
constexpr const char* kProductPage = "/docs/index.html";
constexpr const char* kPropertyDocumentation = "/docs/index.html#properties";
constexpr const char* kPropertyEntryPrefix = "/docs/index.html#";
}  // namespace HelpLinks

}  // namespace korvex::internal
