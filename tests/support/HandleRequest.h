#pragma once

#include <cstdio>

#include "cgi/CgiRequest.h"

namespace korvex::internal {

// RespondToCgiRequest over stdio streams, written as the CGI program writes it; returns the
// process exit status.
inline int HandleRequest(const CgiEnvironment& environment, FILE* input, FILE* output,
                         const RequestLimits& limits = RequestLimits()) {
  const CgiResponse response = RespondToCgiRequest(environment, ReaderOf(input), limits);
  WriteResponse(response, output);
  return response.status;
}

}  // namespace korvex::internal
