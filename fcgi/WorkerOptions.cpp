#include "fcgi/WorkerOptions.h"

#include <grp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

namespace korvex::internal {

const char kWorkerUsage[] =
    "Usage: korvex.fcgi [--listen unix:PATH | --listen HOST:PORT] [--workers N] [--request-timeout SECONDS]\n"
    "                   [--idle-timeout SECONDS] [--status-path PATH] [--socket-mode OCTAL]\n"
    "                   [--socket-group GROUP] [--max-pixels N] [--http-errors] [--max-age SECONDS]\n"
    "                   [--allow-origin ORIGIN]\n"
    "Serves Data Matrix images over FastCGI. Without --listen it accepts on the socket it was started\n"
    "with (standard input), as web servers and spawn-fcgi start FastCGI programs.\n"
    "\n"
    "  --listen ADDRESS         unix:PATH (a socket already served there is left alone) or HOST:PORT\n"
    "  --workers N              processes accepting on the socket (default: one per core)\n"
    "  --request-timeout S      a request running longer ends its process (default 10)\n"
    "  --idle-timeout S         a kept connection without a request this long is closed (default 10)\n"
    "  --status-path PATH       answer the pool's counters for this path (add ?json for JSON)\n"
    "  --socket-mode OCTAL      permissions of the unix socket (default 0660)\n"
    "  --socket-group GROUP     group of the unix socket, by name or number (default: the worker's)\n"
    "  --max-pixels N           refuse larger images with code 3 (default and most 22369621)\n"
    "  --http-errors            answer a failure with its HTTP status (400, 413, 405, 500) and a text\n"
    "                           or JSON (Accept) body; the debug page keeps its body\n"
    "  --max-age SECONDS        Cache-Control max-age of successful answers (default 86400)\n"
    "  --allow-origin ORIGIN    CORS: Access-Control-Allow-Origin (an origin, or *) and preflights\n"
    "Any of the last three adds caching headers: Cache-Control, an ETag where the bytes depend only\n"
    "on the request (not the 24-bit PNG), and 304 for a matching If-None-Match.\n"
    "\n"
    "Events go to standard error, one line each. SIGHUP replaces every process, one after another,\n"
    "with the program as it is on disk now; SIGTERM or SIGINT stop after the requests in flight.\n";

static_assert(RequestLimits().maxPixels == 22369621, "the usage text and the option's error name the raster cap");

namespace {

// A whole decimal number in [minimum, maximum], or nothing.
std::optional<uint64_t> ReadBoundedNumber(const std::string& text, uint64_t minimum, uint64_t maximum, int base = 10) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || value < minimum || value > maximum) return std::nullopt;
  return value;
}

bool ValidListenAddress(const std::string& address) {
  if (address.rfind("unix:", 0) == 0) return address.size() > 5;
  const std::size_t colon = address.rfind(':');
  return colon != std::string::npos && colon > 0 && ReadBoundedNumber(address.substr(colon + 1), 1, 65535);
}

std::optional<gid_t> ReadGroup(const std::string& text) {
  if (const std::optional<uint64_t> number = ReadBoundedNumber(text, 0, 0x7fffffff)) return static_cast<gid_t>(*number);
  const group* named = getgrnam(text.c_str());
  return named != nullptr ? std::optional<gid_t>(named->gr_gid) : std::nullopt;
}

// One option taking a value: its name, what it accepts (for the error), and how it is stored.
struct OptionRule {
  const char* name;
  const char* accepts;
  std::function<bool(const std::string& value, WorkerOptions& options)> store;
};

template <typename Field>
bool StoreNumber(const std::string& value, Field& field, uint64_t minimum, uint64_t maximum, int base = 10) {
  const std::optional<uint64_t> number = ReadBoundedNumber(value, minimum, maximum, base);
  if (number) field = static_cast<Field>(*number);
  return number.has_value();
}

const std::vector<OptionRule>& OptionRules() {
  static const std::vector<OptionRule> rules = {
      {"--listen", "unix:PATH or HOST:PORT",
       [](const std::string& value, WorkerOptions& options) {
         options.listen = value;
         return ValidListenAddress(value);
       }},
      {"--workers", "a number from 1 to 256",
       [](const std::string& value, WorkerOptions& options) { return StoreNumber(value, options.workers, 1, 256); }},
      {"--request-timeout", "seconds from 1 to 3600",
       [](const std::string& value, WorkerOptions& options) {
         return StoreNumber(value, options.requestTimeoutSeconds, 1, 3600);
       }},
      {"--idle-timeout", "seconds from 1 to 3600",
       [](const std::string& value, WorkerOptions& options) {
         return StoreNumber(value, options.idleTimeoutSeconds, 1, 3600);
       }},
      {"--status-path", "a path starting with /",
       [](const std::string& value, WorkerOptions& options) {
         options.statusPath = value;
         return value.size() > 1 && value[0] == '/';
       }},
      {"--socket-mode", "octal permissions from 0600 to 0777",
       [](const std::string& value, WorkerOptions& options) {
         return StoreNumber(value, options.socketMode, 0600, 0777, 8);
       }},
      {"--socket-group", "a group name or number that exists",
       [](const std::string& value, WorkerOptions& options) {
         options.socketGroup = ReadGroup(value);
         return options.socketGroup.has_value();
       }},
      {"--max-pixels", "a number from 1 to 22369621",
       [](const std::string& value, WorkerOptions& options) {
         return StoreNumber(value, options.limits.maxPixels, 1, RequestLimits().maxPixels);
       }},
      {"--max-age", "seconds from 0 to 31536000",
       [](const std::string& value, WorkerOptions& options) {
         options.http.maxAgeGiven = true;
         return StoreNumber(value, options.http.maxAgeSeconds, 0, HttpOptions::kLongestMaxAge);
       }},
      {"--allow-origin", "* or an origin such as https://example.com",
       [](const std::string& value, WorkerOptions& options) {
         options.http.allowOrigin = value;
         const bool oneOrigin =
             value.find("://") != std::string::npos && value.find_first_of(" \t\r\n,") == std::string::npos;
         return value == "*" || oneOrigin;
       }},
  };
  return rules;
}

}  // namespace

StatusOr<WorkerOptions> ParseWorkerOptions(const std::vector<std::string>& args) {
  WorkerOptions options;
  options.workers = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  bool socketOptionGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    // The one option without a value.
    if (name == "--http-errors") {
      options.http.errorStatuses = true;
      continue;
    }
    const auto rule = std::find_if(OptionRules().begin(), OptionRules().end(),
                                   [&](const OptionRule& candidate) { return name == candidate.name; });
    if (rule == OptionRules().end()) return Status(Result::InvalidArgument, "unknown option '" + name + "'");
    if (i + 1 == args.size()) return Status(Result::InvalidArgument, name + " needs a value");
    const std::string& value = args[++i];
    if (!rule->store(value, options)) {
      return Status(Result::InvalidArgument, name + " takes " + rule->accepts + ", not '" + value + "'");
    }
    socketOptionGiven = socketOptionGiven || name == "--socket-mode" || name == "--socket-group";
  }
  if (socketOptionGiven && options.listen.rfind("unix:", 0) != 0) {
    return Status(Result::InvalidArgument, "--socket-mode and --socket-group need --listen unix:PATH");
  }
  return options;
}

std::string DescribeWorkerOptions(const WorkerOptions& options) {
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(options.socketMode));
  std::string text = std::to_string(options.workers) + (options.workers == 1 ? " process" : " processes") +
                     ", request timeout " + std::to_string(options.requestTimeoutSeconds) + " s, idle timeout " +
                     std::to_string(options.idleTimeoutSeconds) + " s, max pixels " +
                     std::to_string(options.limits.maxPixels);
  if (options.listen.rfind("unix:", 0) == 0) {
    text += ", socket mode " + std::string(mode);
    if (options.socketGroup) text += ", socket group " + std::to_string(*options.socketGroup);
  }
  text += options.statusPath.empty() ? ", no status page" : ", status page " + options.statusPath;
  if (options.http.errorStatuses) text += ", HTTP error statuses";
  if (options.http.Any()) text += ", max age " + std::to_string(options.http.maxAgeSeconds) + " s";
  if (!options.http.allowOrigin.empty()) text += ", allow origin " + options.http.allowOrigin;
  return text;
}

}  // namespace korvex::internal
