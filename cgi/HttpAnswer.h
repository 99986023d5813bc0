#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "request/Answer.h"
#include "cgi/CgiRequest.h"

namespace korvex::internal {

// How answers go out over HTTP beyond what the CGI program writes by default. Every part is
// off by default; with all of them off, every answer stays as RespondToCgiRequest makes it.
struct HttpOptions {
  static constexpr int kDefaultMaxAge = 86400;  // a day
  static constexpr int kLongestMaxAge = 31536000;  // a year

  // A failure gets its HTTP status (400, 413, 405, 500) and a body, instead of nothing or a
  // debug page sent as 200.
  bool errorStatuses = false;
  int maxAgeSeconds = kDefaultMaxAge;
  bool maxAgeGiven = false;
  // Access-Control-Allow-Origin for every answer, and the answer to a preflight OPTIONS; empty:
  // no CORS.
  std::string allowOrigin;

  // Whether the answers get HTTP headers of their own: any option at all switches on the
  // caching headers (Cache-Control, ETag, 304), which change today's headers.
  bool Any() const { return errorStatuses || maxAgeGiven || !allowOrigin.empty(); }
};

// The options of the CGI program, from KORVEX_HTTP_ERRORS (a number, non-zero on),
// KORVEX_MAX_AGE (seconds, 0 to a year) and KORVEX_ALLOW_ORIGIN (an origin or *), looked up by
// variable (getenv). A value outside what a variable accepts leaves that option off.
HttpOptions ReadHttpOptions(const CgiVariables& variable);

// The request's header fields that an answer depends on, as the server passes them (HTTP_*).
struct HttpRequestHeaders {
  std::optional<std::string> accept;       // HTTP_ACCEPT
  std::optional<std::string> ifNoneMatch;  // HTTP_IF_NONE_MATCH
  std::optional<std::string> origin;       // HTTP_ORIGIN
};

// The request's header fields, looked up by variable.
HttpRequestHeaders ReadHttpRequestHeaders(const CgiVariables& variable);

// The HTTP status of an answer as RespondToCgiRequest would make it, for a request by that method:
// 200, or for a failure 400 (the request's data or parameters), 413 (a request text over the
// length limit), 405 (a method other than GET, HEAD or POST) or 500 (the service's own fault).
int HttpStatusOf(const Answer& answer, const CgiEnvironment& environment);

// A strong entity tag made from the bytes: FNV-1a 64 in hexadecimal, quoted.
std::string EntityTag(const std::string& bytes);

// Whether an If-None-Match field value (a list of tags, weak ones too, or *) matches the tag.
bool MatchesEntityTag(const std::string& ifNoneMatch, const std::string& tag);

// Whether the Accept field value prefers JSON (application/problem+json or application/json)
// to plain text.
bool AcceptsJson(const std::string& accept);

// The response to one request, complete in memory, that the CGI program and the worker write:
// with no option on, RespondToCgiRequest's, byte for byte; otherwise with the HTTP statuses,
// error bodies, caching and CORS headers that the options ask for, a HEAD request answered as
// its GET without the body, and the preflight OPTIONS for CORS. The exit status is always
// RespondToCgiRequest's.
CgiResponse RespondToRequest(const CgiEnvironment& environment, const HttpRequestHeaders& headers,
                             const HttpOptions& options, const InputReader& input,
                             const RequestLimits& limits = RequestLimits());

}  // namespace korvex::internal
