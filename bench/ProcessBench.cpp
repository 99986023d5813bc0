// Whole-process cost of one request: the program and the two floors run as a web server
// runs a CGI program (fresh process, CGI environment, output through a pipe), interleaved
// round by round so that the machine's background load falls on all of them alike.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BenchRequests.h"
#include "ChildProcess.h"

namespace {

struct Options {
  std::string cgi;
  std::string noop;
  std::string pngFloor;
  std::string pngFloorDefault;
  std::string markdown;
  int runs = 300;
  int heavyRuns = 30;
};

// Heavy requests may fail by design (data that fits no format); their status is reported.
constexpr int kAnyStatus = -2;

struct Case {
  Case(std::string label_, std::string program_, std::string query_, int expectedStatus_ = 0)
      : label(std::move(label_)), program(std::move(program_)), query(std::move(query_)),
        expectedStatus(expectedStatus_) {}

  std::string label;
  std::string program;
  std::string query;
  int expectedStatus;
  std::vector<double> wall;
  std::vector<double> cpu;
  int lastStatus = -1;
};

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  const double position = fraction * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(position);
  const std::size_t above = std::min(below + 1, values.size() - 1);
  const double weight = position - static_cast<double>(below);
  return values[below] * (1 - weight) + values[above] * weight;
}

double Median(const std::vector<double>& values) { return Percentile(values, 0.5); }

bool RunOnce(Case& c, bool record) {
  const ChildRun run = RunChild(c.program, GetRequestEnvironment(c.query));
  c.lastStatus = run.exitStatus;
  if (!run.started || (c.expectedStatus != kAnyStatus && run.exitStatus != c.expectedStatus)) {
    std::fprintf(stderr, "process-bench: %s: exit status %d, expected %d\n", c.label.c_str(), run.exitStatus,
                 c.expectedStatus);
    return false;
  }
  // Every successful answer starts with the CGI header; a body after it must be a PNG.
  const std::string header = "Content-type: image/png\n\n";
  const std::string pngResponse = header + "\x89PNG";
  const bool headerOnly = run.output == header;
  if (run.exitStatus == 0 && !headerOnly && run.output.compare(0, pngResponse.size(), pngResponse) != 0) {
    std::fprintf(stderr, "process-bench: %s: the output is not a CGI PNG response\n", c.label.c_str());
    return false;
  }
  if (record) {
    c.wall.push_back(run.wallMicroseconds);
    c.cpu.push_back(run.cpuMicroseconds);
  }
  return true;
}

bool RunRounds(std::vector<Case*> cases, int warmUp, int rounds) {
  for (int round = 0; round < warmUp + rounds; ++round) {
    for (Case* c : cases) {
      if (!RunOnce(*c, round >= warmUp)) {
        return false;
      }
    }
  }
  return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--cgi") {
      options.cgi = value;
    } else if (name == "--noop") {
      options.noop = value;
    } else if (name == "--png-floor") {
      options.pngFloor = value;
    } else if (name == "--png-floor-default") {
      options.pngFloorDefault = value;
    } else if (name == "--markdown") {
      options.markdown = value;
    } else if (name == "--runs") {
      options.runs = std::atoi(value.c_str());
    } else if (name == "--heavy-runs") {
      options.heavyRuns = std::atoi(value.c_str());
    } else {
      return false;
    }
  }
  return !options.cgi.empty() && !options.noop.empty() && !options.pngFloor.empty() &&
         !options.pngFloorDefault.empty() && options.runs > 0 &&
         options.heavyRuns > 0 && argc % 2 == 1;
}

std::string Verdict(bool met) { return met ? "met" : "**not met**"; }

}  // namespace

int main(int argc, char** argv) {
  // The benchmark script asks for the query strings here, so that there is one definition.
  if (argc == 3 && std::string(argv[1]) == "--print-query") {
    const std::optional<std::string> query = BenchRequests::NamedQuery(argv[2]);
    std::puts(query ? query->c_str() : "?");
    return query ? 0 : 2;
  }
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s --cgi KORVEX_CGI --noop NOOP_CGI --png-floor PNG_FLOOR --png-floor-default PNG_FLOOR "
                 "[--runs N] [--heavy-runs N] [--markdown FILE]\n",
                 argv[0]);
    return 2;
  }

  Case noop("no-op static CGI (floor)", options.noop, BenchRequests::DefaultQuery());
  Case defaultRequest("korvex.cgi, default request", options.cgi, BenchRequests::DefaultQuery());
  Case pngFloorDefault("libpng only, the default request's raster", options.pngFloorDefault,
                       BenchRequests::DefaultQuery());
  Case pngFloor("libpng only, the same 699 x 699 raster (floor)", options.pngFloor, BenchRequests::LargeQuery());
  Case largeRequest("korvex.cgi, 699 x 699, 144 x 144 symbol", options.cgi, BenchRequests::LargeQuery());
  const std::vector<Case*> measured = {&noop, &defaultRequest, &pngFloorDefault, &pngFloor, &largeRequest};
  if (!RunRounds(measured, 20, options.runs)) {
    return 1;
  }

  // The heaviest requests: the slowest automatic encodation at the length limit (its data
  // fits no format, so it fails once the whole encodation is done), and the largest image
  // that the X-dimension can ask for.
  Case worstAuto("slowest automatic encodation, 3600 characters", options.cgi, BenchRequests::WorstAutoQuery(),
                 kAnyStatus);
  Case hugeImage("largest image by xdim (" + BenchRequests::HugeXdimQuery() + ")", options.cgi,
                 BenchRequests::HugeXdimQuery(), kAnyStatus);
  if (!RunRounds({&worstAuto, &hugeImage}, 2, options.heavyRuns)) {
    return 1;
  }

  const double startRatio = Median(defaultRequest.wall) / Median(noop.wall);
  const double pngRatio = Median(largeRequest.wall) / Median(pngFloor.wall);
  const double defaultPngRatio = Median(defaultRequest.wall) / Median(pngFloorDefault.wall);

  std::string md;
  char line[512];
  std::snprintf(line, sizeof line,
                "### Whole process per request\n\n%d runs of each, interleaved round by round after 20 warm-up "
                "rounds; wall time from spawn to reaped exit, output read through a pipe.\n\n",
                options.runs);
  md += line;
  md += "| Program and request | wall median (µs) | wall p10 (µs) | wall p90 (µs) | CPU median (µs) |\n";
  md += "|---|---:|---:|---:|---:|\n";
  for (const Case* c : measured) {
    std::snprintf(line, sizeof line, "| %s | %.0f | %.0f | %.0f | %.0f |\n", c->label.c_str(), Median(c->wall),
                  Percentile(c->wall, 0.1), Percentile(c->wall, 0.9), Median(c->cpu));
    md += line;
  }
  md += "\n| Ratio | wall medians | CPU medians | target | |\n|---|---:|---:|---:|---|\n";
  std::snprintf(line, sizeof line, "| default request / no-op floor | %.2f | %.2f | at most 1.5 | %s |\n", startRatio,
                Median(defaultRequest.cpu) / Median(noop.cpu), Verdict(startRatio <= 1.5).c_str());
  md += line;
  std::snprintf(line, sizeof line, "| 699 x 699 request / libpng floor | %.2f | %.2f | at most 1.15 | %s |\n",
                pngRatio, Median(largeRequest.cpu) / Median(pngFloor.cpu), Verdict(pngRatio <= 1.15).c_str());
  md += line;
  std::snprintf(line, sizeof line, "| default request / libpng only, its raster | %.2f | %.2f | (no target) | |\n",
                defaultPngRatio, Median(defaultRequest.cpu) / Median(pngFloorDefault.cpu));
  md += line;
  std::snprintf(line, sizeof line,
                "\n### Heaviest requests\n\n%d runs each; CPU is user plus system time of the process.\n\n",
                options.heavyRuns);
  md += line;
  md += "| Request | request length | exit status | CPU median (ms) | CPU max (ms) | wall median (ms) | under 50 ms CPU |\n";
  md += "|---|---:|---:|---:|---:|---:|---|\n";
  for (const Case* c : {&worstAuto, &hugeImage}) {
    const double cpuMax = *std::max_element(c->cpu.begin(), c->cpu.end());
    std::snprintf(line, sizeof line, "| %s | %zu | %d | %.1f | %.1f | %.1f | %s |\n", c->label.c_str(),
                  c->query.size(), c->lastStatus, Median(c->cpu) / 1000, cpuMax / 1000, Median(c->wall) / 1000,
                  Verdict(cpuMax < 50000).c_str());
    md += line;
  }

  std::fputs(md.c_str(), stdout);
  if (!options.markdown.empty()) {
    FILE* out = std::fopen(options.markdown.c_str(), "w");
    if (out == nullptr || std::fputs(md.c_str(), out) < 0 || std::fclose(out) != 0) {
      std::fprintf(stderr, "process-bench: cannot write %s\n", options.markdown.c_str());
      return 1;
    }
  }
  return 0;
}
