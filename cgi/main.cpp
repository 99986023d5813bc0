#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "cgi/RequestHandler.h"

namespace {

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace

// One process per request: the web server passes the request in the environment and on
// standard input and relays standard output to the client.
int main() {
  CgiEnvironment environment;
  environment.requestMethod = Variable("REQUEST_METHOD");
  environment.queryString = Variable("QUERY_STRING");
  environment.contentLength = Variable("CONTENT_LENGTH");
  return HandleRequest(environment, stdin, stdout);
}
