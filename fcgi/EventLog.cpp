#include "fcgi/EventLog.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace korvex::internal {

namespace {

const char* LevelName(EventLevel level) {
  switch (level) {
    case EventLevel::kNotice:
      return "NOTICE";
    case EventLevel::kWarning:
      return "WARNING";
    case EventLevel::kError:
      return "ERROR";
  }
  return "";
}

}  // namespace

void LogEvent(EventLevel level, const std::string& message) {
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char when[32];
  std::strftime(when, sizeof when, "%d-%b-%Y %H:%M:%S", &local);
  // One write per line, so that lines of several writers on one journal or file never mix.
  char prefix[96];
  std::snprintf(prefix, sizeof prefix, "[%s] korvex.fcgi[%ld] %s: ", when, static_cast<long>(getpid()),
                LevelName(level));
  const std::string line = prefix + message + "\n";
  for (std::size_t written = 0; written < line.size();) {
    const ssize_t n = write(STDERR_FILENO, line.data() + written, line.size() - written);
    if (n <= 0) return;
    written += static_cast<std::size_t>(n);
  }
}

std::string QuotedForLog(std::string_view text) { return "\"" + EscapedForLog(text) + "\""; }

std::string EscapedForLog(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f || c == '"' || c == '\\') {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      escaped += code;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace korvex::internal
