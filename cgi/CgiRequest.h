#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
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

// A CGI variable by name, nullptr when it is not set: getenv in the CGI program, the request's
// parameters in the worker.
using CgiVariables = std::function<const char*(const char*)>;

// A variable's value, std::nullopt when it is not set.
std::optional<std::string> VariableValue(const CgiVariables& variable, const char* name);

// The CGI variables of a request, looked up by variable.
CgiEnvironment ReadCgiEnvironment(const CgiVariables& variable);

// Reads up to size bytes of the POST body into buffer and returns how many; 0 at its end or on
// an error. The request is read through it, so that nothing beyond what it asks for is taken
// from a stdio stream or a FastCGI connection.
using InputReader = std::function<std::size_t(char* buffer, std::size_t size)>;

// Reads a stdio stream.
InputReader ReaderOf(FILE* input);

// A response complete in memory, as a front end writes it: the header lines with their empty
// line, then the body; and the process exit status.
struct CgiResponse {
  std::string head;  // empty: nothing at all is written
  std::string body;
  int status = 0;
};

// The answer to a CGI request, complete in memory; nothing is written.
Answer AnswerCgiRequest(const CgiEnvironment& environment, const InputReader& input, const RequestLimits& limits);

// The CGI response to one request: the request text (the query string, or the POST body from
// input) answered with the PNG, help page, error page or nothing.
CgiResponse RespondToCgiRequest(const CgiEnvironment& environment, const InputReader& input,
                                const RequestLimits& limits = RequestLimits());

// Writes the response to a stdio stream (standard output for the CGI program).
void WriteResponse(const CgiResponse& response, FILE* output);

// Whether a variable is set to the word, in any mix of ASCII letter case (methods: "get").
bool EqualsIgnoringAsciiCase(const std::optional<std::string>& text, const char* lowerCaseWord);

// CONTENT_LENGTH read by the parameter number rule, but saturating instead of wrapping, so that
// a huge announced length can never pass for a small one.
int64_t ReadContentLength(const std::string& text);

}  // namespace korvex::internal
