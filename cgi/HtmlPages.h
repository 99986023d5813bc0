#pragma once

#include <cstdio>

#include "cgi/ResultCode.h"

// The two HTML answers of the CGI program, each a complete response (header and body).

// A page naming the failure: its message in bold red.
void WriteErrorPage(FILE* output, ResultCode code);

// The page documenting every request parameter.
void WriteHelpPage(FILE* output);

// Where the help page's links lead: the product page and the entries of the property
// documentation, served beside the program.
namespace HelpLinks {
constexpr const char* kProductPage = "/docs/index.html";
constexpr const char* kPropertyDocumentation = "/docs/index.html#properties";
constexpr const char* kPropertyEntryPrefix = "/docs/index.html#";
}  // namespace HelpLinks
