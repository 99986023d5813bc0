#include "cgi/CgiRequest.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace korvex::internal {

namespace {

constexpr int kStatusBadEnvironment = 1;
constexpr int kStatusTooLong = 5;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The body up to its first NUL, or nothing when the environment or the body is unusable
// (status is then the exit status).
std::optional<std::string> ReadPostBody(const CgiEnvironment& environment, const InputReader& input, int& status) {
  // A missing length reads as 0.
  const int64_t announced = ReadContentLength(environment.contentLength.value_or(""));
  if (announced < 1) return std::nullopt;
  // Refused before reading, so no buffer ever exceeds what an acceptable request needs.
  if (announced > kMaxRequestLength) {
    status = kStatusTooLong;
    return std::nullopt;
  }
  const auto length = static_cast<size_t>(announced);
  std::string body(length, '\0');
  std::size_t got = 0;
  while (got < length) {
    const std::size_t read = input(body.data() + got, length - got);
    if (read == 0) return std::nullopt;  // shorter than announced
    got += read;
  }
  body.resize(std::strlen(body.c_str()));
  return body;
}

// The request text by method, or nothing with status set (by default to a bad environment).
std::optional<std::string> ReadRequestText(const CgiEnvironment& environment, const InputReader& input, int& status) {
  status = kStatusBadEnvironment;
  if (EqualsIgnoringAsciiCase(environment.requestMethod, "get")) return environment.queryString;
  if (!EqualsIgnoringAsciiCase(environment.requestMethod, "post")) return std::nullopt;
  return ReadPostBody(environment, input, status);
}

// The answer as a CGI response: its content type and its body, or nothing when it has no
// content type.
CgiResponse CgiResponseOf(Answer answer) noexcept {
  CgiResponse response;
  response.status = answer.status;
  if (answer.kind == AnswerKind::Nothing) return response;
  // Standard output would be switched to binary mode here for an image; Linux makes no
  // text/binary distinction, so there is nothing to switch.
  try {
    response.head = std::string("Content-type: ") + answer.ContentType() + "\n\n";
  } catch (...) {
    // No memory left for the header line: the request ends as a caught exception ends it,
    // with nothing and exit status 0.
    return CgiResponse();
  }
  response.body = std::move(answer.body);
  return response;
}

}  // namespace

bool EqualsIgnoringAsciiCase(const std::optional<std::string>& text, const char* lowerCaseWord) {
  if (!text || text->size() != std::strlen(lowerCaseWord)) return false;
  return std::equal(text->begin(), text->end(), lowerCaseWord, [](char a, char b) {
    return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
  });
}

int64_t ReadContentLength(const std::string& text) {
  constexpr int64_t kSaturated = std::numeric_limits<int64_t>::max() / 10 - 10;
  size_t position = 0;
  while (position < text.size() && IsSpace(text[position])) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  int64_t magnitude = 0;
  for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
    magnitude = magnitude >= kSaturated ? kSaturated : magnitude * 10 + (text[position] - '0');
  }
  return negative ? -magnitude : magnitude;
}

std::optional<std::string> VariableValue(const CgiVariables& variable, const char* name) {
  const char* value = variable(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

CgiEnvironment ReadCgiEnvironment(const CgiVariables& variable) {
  CgiEnvironment environment;
  environment.requestMethod = VariableValue(variable, "REQUEST_METHOD");
  environment.queryString = VariableValue(variable, "QUERY_STRING");
  environment.contentLength = VariableValue(variable, "CONTENT_LENGTH");
  return environment;
}

InputReader ReaderOf(FILE* input) {
  return [input](char* buffer, std::size_t size) { return std::fread(buffer, 1, size, input); };
}

Answer AnswerCgiRequest(const CgiEnvironment& environment, const InputReader& input, const RequestLimits& limits) {
  std::optional<std::string> requestText;
  Answer unread;
  try {
    requestText = ReadRequestText(environment, input, unread.status);
  } catch (...) {
    return CaughtExceptionAnswer(false);
  }
  if (!requestText) return unread;
  return AnswerRequestText(*requestText, limits);
}

CgiResponse RespondToCgiRequest(const CgiEnvironment& environment, const InputReader& input,
                                const RequestLimits& limits) {
  return CgiResponseOf(AnswerCgiRequest(environment, input, limits));
}

void WriteResponse(const CgiResponse& response, FILE* output) {
  std::fwrite(response.head.data(), 1, response.head.size(), output);
  std::fwrite(response.body.data(), 1, response.body.size(), output);
}

}  // namespace korvex::internal
