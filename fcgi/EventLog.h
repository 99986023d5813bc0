#pragma once

#include <string>
#include <string_view>

namespace korvex::internal {

// The worker's log on standard error, one line per event, in php-fpm's manner:
//   [08-Dec-2026 22:30:24] korvex.fcgi[4711] NOTICE: ready on unix:/run/korvex/fcgi.socket, ...
// Only the pool writes it; a successful request writes nothing.
enum class EventLevel { kNotice, kWarning, kError };

void LogEvent(EventLevel level, const std::string& message);

// Text from a client with every byte that could break the line or the terminal (controls, DEL,
// non-ASCII), and the quote and backslash, written as \xNN.
std::string EscapedForLog(std::string_view text);

// The same in double quotes.
std::string QuotedForLog(std::string_view text);

}  // namespace korvex::internal
