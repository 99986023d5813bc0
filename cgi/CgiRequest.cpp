#include "cgi/CgiRequest.h"

#include <cstring>
#include <limits>

namespace korvex::internal {

namespace {

constexpr int kStatusBadEnvironment = 1;
constexpr int kStatusTooLong = 5;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(const std::string& text, const char* lowerCaseWord) {
  const size_t length = std::strlen(lowerCaseWord);
  if (text.size() != length) {
    return false;
  }
  for (size_t i = 0; i < length; ++i) {
    if (AsciiLower(text[i]) != lowerCaseWord[i]) {
      return false;
    }
  }
  return true;
}

// The body up to its first NUL, or nothing when the environment or the body is unusable
// (status is then the exit status).
std::optional<std::string> ReadPostBody(const CgiEnvironment& environment, FILE* input, int& status) {
  if (!environment.contentLength) {
    status = kStatusBadEnvironment;
    return std::nullopt;
  }
  const int64_t announced = ReadContentLength(*environment.contentLength);
  if (announced < 1) {
    status = kStatusBadEnvironment;
    return std::nullopt;
  }
  // Refused before reading, so no buffer ever exceeds what an acceptable request needs.
  if (announced > kMaxRequestLength) {
    status = kStatusTooLong;
    return std::nullopt;
  }
  const auto length = static_cast<size_t>(announced);
  std::string body(length, '\0');
  if (std::fread(body.data(), 1, length, input) != length) {
    status = kStatusBadEnvironment;
    return std::nullopt;
  }
  body.resize(std::strlen(body.c_str()));
  return body;
}

// The request text by method, or nothing with status set.
std::optional<std::string> ReadRequestText(const CgiEnvironment& environment, FILE* input, int& status) {
  if (!environment.requestMethod) {
    status = kStatusBadEnvironment;
    return std::nullopt;
  }
  if (EqualsIgnoringAsciiCase(*environment.requestMethod, "post")) {
    return ReadPostBody(environment, input, status);
  }
  if (EqualsIgnoringAsciiCase(*environment.requestMethod, "get")) {
    if (!environment.queryString) {
      status = kStatusBadEnvironment;
      return std::nullopt;
    }
    return *environment.queryString;
  }
  status = kStatusBadEnvironment;
  return std::nullopt;
}

}  // namespace

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

Answer AnswerCgiRequest(const CgiEnvironment& environment, FILE* input, const RequestLimits& limits) {
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

void WriteAnswer(const Answer& answer, FILE* output) {
  if (answer.contentType.empty()) return;
  // Standard output would be switched to binary mode here for an image; Linux makes no
  // text/binary distinction, so there is nothing to switch.
  std::fputs("Content-type: ", output);
  std::fputs(answer.contentType.c_str(), output);
  std::fputs("\n\n", output);
  std::fwrite(answer.body.data(), 1, answer.body.size(), output);
}

int HandleRequest(const CgiEnvironment& environment, FILE* input, FILE* output, const RequestLimits& limits) {
  Answer answer = AnswerCgiRequest(environment, input, limits);
  WriteAnswer(answer, output);
  return answer.status;
}

}  // namespace korvex::internal
