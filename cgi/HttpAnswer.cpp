#include "cgi/HttpAnswer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "encoder/Utf8Text.h"
#include "result/ResultCode.h"

namespace korvex::internal {

namespace {

constexpr int kStatusTooLong = 5;

constexpr const char* kPlainTextType = "text/plain; charset=utf-8";
constexpr const char* kProblemType = "application/problem+json";

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The comma-separated items of a header field value, trimmed.
template <typename UseItem>
void ForEachListItem(const std::string& value, UseItem useItem) {
  for (std::size_t start = 0; start <= value.size();) {
    const std::size_t end = std::min(value.find(',', start), value.size());
    const std::string item = Trimmed(value.substr(start, end - start));
    if (!item.empty()) useItem(item);
    start = end + 1;
  }
}

// What a failure is called in its status, title and problem type.
struct Failure {
  int status;
  ResultCode code;  // the result code the body names (for failures before any step: the exit status)
  const char* slug;
  std::string title;
  std::string detail;
};

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    default: return "Internal Server Error";
  }
}

// The name of each result code in a problem type, and whether the request caused it. Code 3 is
// both: an image larger than the limits is the request's; memory for the rows or the PNG is
// the service's (Answer::serviceFault).
struct CodeRule {
  const char* slug;
  bool causedByRequest;
};

CodeRule RuleOf(ResultCode code) {
  switch (code) {
    case Result::InvalidArgument: return {"invalid-argument", true};
    case Result::Fail: return {"fail", false};
    case Result::PngInitFailed: return {"image-too-large", true};
    case Result::InvalidBarcodeSize: return {"invalid-barcode-size", true};
    case Result::InvalidData: return {"invalid-data", true};
    case Result::InvalidEncodingMode: return {"invalid-encoding-mode", true};
    case Result::InvalidPreferredFormat: return {"invalid-preferred-format", true};
    case Result::NoFittingFormat: return {"no-fitting-format", true};
    case Result::ReedSolomonFailed: return {"reed-solomon-failed", true};
    case Result::DataDoesNotFit: return {"data-does-not-fit", true};
    case Result::UnknownException: return {"unknown-exception", false};
    default: return {"unknown-error", false};
  }
}

// The failure of an answer that is not a success, as HttpStatusOf classifies it.
Failure FailureOf(const Answer& answer, const CgiEnvironment& environment) {
  const int status = HttpStatusOf(answer, environment);
  if (answer.code != Result::Ok) {
    const bool memory = answer.code == Result::PngInitFailed && answer.serviceFault;
    return {status, answer.code, memory ? "out-of-memory" : RuleOf(answer.code).slug, ErrorMessage(answer.code),
            answer.detail};
  }
  switch (status) {
    case 413:
      return {status, kStatusTooLong, "request-too-long", "Error: Request too long.",
              "A request text has at most " + std::to_string(kMaxRequestLength) + " characters."};
    case 405:
      return {status, answer.status, "method-not-allowed", "Error: Method not allowed.",
              "The generator answers GET, HEAD and POST requests."};
    case 400:
      return {status, answer.status, "incomplete-request", ErrorMessage(Result::InvalidArgument),
              "A POST request needs a body of the length that its Content-Length announces."};
    default:
      break;
  }
  if (answer.status == 0) {
    return {status, Result::UnknownException, RuleOf(Result::UnknownException).slug,
            ErrorMessage(Result::UnknownException), ""};
  }
  return {status, answer.status, "bad-environment", ErrorMessage(Result::InvalidArgument),
          "The server passed no REQUEST_METHOD, or a GET request without QUERY_STRING."};
}

void AppendJsonString(std::string& json, const std::string& text) {
  // Text that is not UTF-8 is read as Latin-1, so that the document stays valid JSON.
  const bool latin1 = !IsUtf8(text);
  json += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte < 0x20 || (latin1 && byte >= 0x80)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      json += escaped;
    } else {
      json += c;
    }
  }
  json += '"';
}

// RFC 9457's members, and the result code.
std::string ProblemDocument(const Failure& failure) {
  std::string json = "{\"type\":";
  AppendJsonString(json, std::string("urn:korvex:problem:") + failure.slug);
  json += ",\"title\":";
  AppendJsonString(json, failure.title);
  json += ",\"status\":" + std::to_string(failure.status) + ",\"detail\":";
  AppendJsonString(json, failure.detail);
  json += ",\"code\":" + std::to_string(failure.code) + "}\n";
  return json;
}

std::string PlainTextBody(const Failure& failure) {
  std::string text = failure.title + "\n";
  if (!failure.detail.empty()) text += failure.detail + "\n";
  return text;
}

// The CORS header lines for the request's origin: every origin for *, else the one allowed.
std::string CorsLines(const HttpOptions& options, const HttpRequestHeaders& headers) {
  if (options.allowOrigin.empty()) return "";
  if (options.allowOrigin == "*") return "Access-Control-Allow-Origin: *\nAccess-Control-Expose-Headers: ETag\n";
  std::string lines = "Vary: Origin\n";
  if (headers.origin == options.allowOrigin) {
    lines += "Access-Control-Allow-Origin: " + options.allowOrigin + "\nAccess-Control-Expose-Headers: ETag\n";
  }
  return lines;
}

std::string PreflightResponse(const HttpOptions& options, const HttpRequestHeaders& headers) {
  return "Status: 204 No Content\n" + CorsLines(options, headers) +
         "Access-Control-Allow-Methods: GET, POST\n"
         "Access-Control-Allow-Headers: Accept, Content-Type, If-None-Match\n"
         "Access-Control-Max-Age: " +
         std::to_string(HttpOptions::kDefaultMaxAge) + "\nAllow: GET, HEAD, POST, OPTIONS\n\n";
}

std::optional<int> ReadSeconds(const char* text) {
  if (text == nullptr || *text < '0' || *text > '9') return std::nullopt;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (*end != '\0' || value > HttpOptions::kLongestMaxAge) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

HttpRequestHeaders ReadHttpRequestHeaders(const CgiVariables& variable) {
  HttpRequestHeaders headers;
  headers.accept = VariableValue(variable, "HTTP_ACCEPT");
  headers.ifNoneMatch = VariableValue(variable, "HTTP_IF_NONE_MATCH");
  headers.origin = VariableValue(variable, "HTTP_ORIGIN");
  return headers;
}

HttpOptions ReadHttpOptions(const CgiVariables& variable) {
  HttpOptions options;
  const char* errors = variable("KORVEX_HTTP_ERRORS");
  options.errorStatuses = errors != nullptr && std::strtol(errors, nullptr, 10) != 0;
  if (const std::optional<int> maxAge = ReadSeconds(variable("KORVEX_MAX_AGE"))) {
    options.maxAgeSeconds = *maxAge;
    options.maxAgeGiven = true;
  }
  // An origin that would break the header line is left out.
  const char* origin = variable("KORVEX_ALLOW_ORIGIN");
  if (origin != nullptr && std::strpbrk(origin, "\r\n") == nullptr) options.allowOrigin = origin;
  return options;
}

int HttpStatusOf(const Answer& answer, const CgiEnvironment& environment) {
  if (answer.code != Result::Ok) {
    if (answer.code == Result::PngInitFailed) return answer.serviceFault ? 500 : 400;
    return RuleOf(answer.code).causedByRequest ? 400 : 500;
  }
  if (answer.status == 0) return answer.kind == AnswerKind::Nothing ? 500 : 200;
  if (answer.status == kStatusTooLong) return 413;
  // Exit status 1: the CGI environment.
  const std::optional<std::string>& method = environment.requestMethod;
  if (EqualsIgnoringAsciiCase(method, "post")) return 400;
  if (!method || EqualsIgnoringAsciiCase(method, "get")) return 500;
  return 405;
}

std::string EntityTag(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  }
  char tag[24];
  std::snprintf(tag, sizeof tag, "\"%016llx\"", static_cast<unsigned long long>(hash));
  return tag;
}

bool MatchesEntityTag(const std::string& ifNoneMatch, const std::string& tag) {
  bool matches = false;
  // If-None-Match compares weakly: W/"x" matches "x".
  ForEachListItem(ifNoneMatch, [&](const std::string& item) {
    matches = matches || item == "*" || item == tag || (item.rfind("W/", 0) == 0 && item.substr(2) == tag);
  });
  return matches;
}

bool AcceptsJson(const std::string& accept) {
  double json = 0;
  double text = 0;
  ForEachListItem(accept, [&](const std::string& item) {
    std::string range = Trimmed(item.substr(0, item.find(';')));
    std::transform(range.begin(), range.end(), range.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    double quality = 1;
    const std::size_t q = item.find("q=", item.find(';') == std::string::npos ? item.size() : item.find(';'));
    if (q != std::string::npos) quality = std::strtod(item.c_str() + q + 2, nullptr);
    if (range == "application/problem+json" || range == "application/json") json = std::max(json, quality);
    if (range == "text/plain" || range == "text/*" || range == "*/*") text = std::max(text, quality);
  });
  return json > 0 && json >= text;
}

namespace {

// The response to an answer of the request, with what the options ask for. The answer's body
// is moved into it, not copied, as it may be a large image; a failure may get a body made for
// it instead, and a 304 has none.
CgiResponse HttpResponse(Answer answer, const CgiEnvironment& environment, const HttpRequestHeaders& headers,
                         const HttpOptions& options) {
  CgiResponse response;
  response.status = answer.status;
  const int status = HttpStatusOf(answer, environment);
  const bool success = status == 200;
  std::string statusLine;
  std::string lines;
  std::string contentType = answer.ContentType();
  if (!success) {
    if (!options.errorStatuses) {
      if (answer.kind == AnswerKind::Nothing) return response;  // nothing, as without the options
    } else {
      statusLine = "Status: " + std::to_string(status) + " " + ReasonPhrase(status) + "\n";
      if (answer.kind == AnswerKind::Nothing) {
        // The debug page stays as it is; otherwise the client's Accept chooses the body.
        const Failure failure = FailureOf(answer, environment);
        const bool json = headers.accept && AcceptsJson(*headers.accept);
        contentType = json ? kProblemType : kPlainTextType;
        answer.body = json ? ProblemDocument(failure) : PlainTextBody(failure);
        lines += "Vary: Accept\n";
      }
      if (status == 405) {
        lines += options.allowOrigin.empty() ? "Allow: GET, HEAD, POST\n" : "Allow: GET, HEAD, POST, OPTIONS\n";
      }
    }
  }
  lines += CorsLines(options, headers);
  if (success) lines += "Cache-Control: public, max-age=" + std::to_string(options.maxAgeSeconds) + "\n";
  if (answer.reproducible) {
    const std::string tag = EntityTag(answer.body);
    lines += "ETag: " + tag + "\n";
    if (success && headers.ifNoneMatch && MatchesEntityTag(*headers.ifNoneMatch, tag)) {
      response.head = "Status: 304 Not Modified\n" + lines + "\n";
      return response;
    }
  }
  response.head = statusLine + "Content-type: " + contentType + "\n" + lines + "\n";
  response.body = std::move(answer.body);
  return response;
}

// The unread body of a POST refused for its length, read and dropped (up to a bound), so that a
// server still writing it (Apache's mod_cgid) does not find the pipe closed and drop the
// answer with the connection.
void DrainRefusedBody(const CgiEnvironment& environment, const InputReader& input) {
  constexpr int64_t kMostDrained = 1 << 20;
  int64_t left = std::min(ReadContentLength(environment.contentLength.value_or("")), kMostDrained);
  char chunk[4096];
  while (left > 0) {
    const auto wanted = static_cast<std::size_t>(std::min<int64_t>(left, sizeof chunk));
    const std::size_t read = input(chunk, wanted);
    if (read == 0) break;
    left -= static_cast<int64_t>(read);
  }
}

}  // namespace

CgiResponse RespondToRequest(const CgiEnvironment& environment, const HttpRequestHeaders& headers,
                             const HttpOptions& options, const InputReader& input, const RequestLimits& limits) {
  if (!options.Any()) return RespondToCgiRequest(environment, input, limits);
  if (!options.allowOrigin.empty() && EqualsIgnoringAsciiCase(environment.requestMethod, "options")) {
    CgiResponse preflight;
    preflight.head = PreflightResponse(options, headers);
    return preflight;
  }
  const bool head = EqualsIgnoringAsciiCase(environment.requestMethod, "head");
  CgiEnvironment answered = environment;
  if (head) answered.requestMethod = "GET";
  Answer answer = AnswerCgiRequest(answered, input, limits);
  if (options.errorStatuses && HttpStatusOf(answer, answered) == 413 &&
      EqualsIgnoringAsciiCase(answered.requestMethod, "post")) {
    DrainRefusedBody(answered, input);
  }
  CgiResponse response = HttpResponse(std::move(answer), answered, headers, options);
  if (head) response.body.clear();
  return response;
}

}  // namespace korvex::internal
