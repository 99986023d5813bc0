#include <cstdio>
#include <cstdlib>

#include "cgi/HttpAnswer.h"
#include "cgi/CgiRequest.h"

using namespace korvex::internal;

// One process per request: the web server passes the request in the environment and on
// standard input and relays standard output to the client.
int main() {
  const CgiVariables variable = [](const char* name) -> const char* { return std::getenv(name); };
  // The server may switch on HTTP statuses, caching and CORS headers per location; without
  // them the answer is written as it always was.
  const HttpOptions options = ReadHttpOptions(variable);
  const CgiResponse response =
      RespondToRequest(ReadCgiEnvironment(variable), ReadHttpRequestHeaders(variable), options, ReaderOf(stdin));
  WriteResponse(response, stdout);
  return response.status;
}
