#include "fcgi/WorkerOptions.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <thread>

const char kWorkerUsage[] =
    "Usage: korvex.fcgi [--listen unix:PATH | --listen HOST:PORT] [--workers N] [--request-timeout SECONDS]\n"
    "Serves Data Matrix images over FastCGI. Without --listen it accepts on the socket it was started\n"
    "with (standard input), as web servers and spawn-fcgi start FastCGI programs.\n";

namespace {

// A whole decimal number in [minimum, maximum], or nothing.
std::optional<int> ReadBoundedNumber(const std::string& text, int minimum, int maximum) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < minimum || value > maximum) return std::nullopt;
  return static_cast<int>(value);
}

bool ValidListenAddress(const std::string& address) {
  if (address.rfind("unix:", 0) == 0) return address.size() > 5;
  const std::size_t colon = address.rfind(':');
  return colon != std::string::npos && colon > 0 && ReadBoundedNumber(address.substr(colon + 1), 1, 65535);
}

}  // namespace

std::optional<WorkerOptions> ParseWorkerOptions(const std::vector<std::string>& args, std::string* error) {
  WorkerOptions options;
  options.workers = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name != "--listen" && name != "--workers" && name != "--request-timeout") {
      *error = "unknown option '" + name + "'";
      return std::nullopt;
    }
    if (i + 1 == args.size()) {
      *error = name + " needs a value";
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (name == "--listen") {
      if (!ValidListenAddress(value)) {
        *error = "--listen takes unix:PATH or HOST:PORT, not '" + value + "'";
        return std::nullopt;
      }
      options.listen = value;
    } else if (name == "--workers") {
      const std::optional<int> workers = ReadBoundedNumber(value, 1, 256);
      if (!workers) {
        *error = "--workers takes a number from 1 to 256, not '" + value + "'";
        return std::nullopt;
      }
      options.workers = *workers;
    } else {
      const std::optional<int> seconds = ReadBoundedNumber(value, 1, 3600);
      if (!seconds) {
        *error = "--request-timeout takes seconds from 1 to 3600, not '" + value + "'";
        return std::nullopt;
      }
      options.requestTimeoutSeconds = *seconds;
    }
  }
  return options;
}
