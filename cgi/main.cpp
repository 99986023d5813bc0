#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "cgi/HttpAnswer.h"
#include "cgi/CgiRequest.h"

namespace korvex::internal {

namespace {

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace

}  // namespace korvex::internal

using namespace korvex::internal;

// One process per request: the web server passes the request in the environment and on
// standard input and relays standard output to the client.
int main() {
  CgiEnvironment environment;
  environment.requestMethod = Variable("REQUEST_METHOD");
  environment.queryString = Variable("QUERY_STRING");
  environment.contentLength = Variable("CONTENT_LENGTH");
  HttpRequestHeaders headers;
  headers.accept = Variable("HTTP_ACCEPT");
  headers.ifNoneMatch = Variable("HTTP_IF_NONE_MATCH");
  headers.origin = Variable("HTTP_ORIGIN");
  // The server may switch on HTTP statuses, caching and CORS headers per location; without
  // them the answer is written as it always was.
  const HttpOptions options = ReadHttpOptions([](const char* name) { return std::getenv(name); });
  const CgiResponse response = RespondToRequest(environment, headers, options, ReaderOf(stdin));
  WriteResponse(response, stdout);
  return response.status;
}
