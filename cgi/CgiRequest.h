#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "request/Answer.h"
#include "request/RequestHandler.h"

namespace korvex::internal {

// The CGI variables the program reads; an unset variable is std::nullopt.
struct CgiEnvironment {
  std::optional<std::string> requestMethod;  // REQUEST_METHOD
  std::optional<std::string> queryString;    // QUERY_STRING (GET)
  std::optional<std::string> contentLength;  // CONTENT_LENGTH (POST)
};

// Serves one request: reads the request text (the query string, or the POST body from input),
// writes the response (PNG, help page, error page or nothing) to output, and returns the
// process exit status.
int HandleRequest(const CgiEnvironment& environment, FILE* input, FILE* output,
                  const RequestLimits& limits = RequestLimits());

// The answer to a CGI request, complete in memory; nothing is written.
Answer AnswerCgiRequest(const CgiEnvironment& environment, FILE* input, const RequestLimits& limits);

// Writes the answer as a CGI response: the header and the body, or nothing when it has no
// content type.
void WriteAnswer(const Answer& answer, FILE* output);

// CONTENT_LENGTH read by the parameter number rule, but saturating instead of wrapping, so that
// a huge announced length can never pass for a small one.
int64_t ReadContentLength(const std::string& text);

}  // namespace korvex::internal
