// In-process cost of the work behind one request: encoding, placement and drawing, and the
// whole request with its PNG or SVG written to /dev/null. Besides the console table, a Markdown
// table goes to the file named by --markdown=FILE.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchRequests.h"
#include "request/QueryString.h"
#include "cgi/CgiRequest.h"
#include "request/RequestSettings.h"
#include "gs1/Gs1DigitalLink.h"
#include "encoder/EncodingPipeline.h"
#include "gs1/Gs1Translation.h"
#include "render/RgbImage.h"

using namespace korvex::internal;

namespace {

// What the request handler does between reading the parameters and writing the PNG.
ResultCode EncodeAndDraw(const RequestSettings& settings) {
  return DrawRequestedImage(settings, RequestLimits(), [](RgbImage& image) { benchmark::DoNotOptimize(image.Rows()); });
}

RequestSettings SettingsOf(const std::string& query) {
  std::string text = query;
  QueryString parameters(text.c_str());
  return GatherRequestSettings(parameters);
}

void BM_EncodeAndDraw(benchmark::State& state, const std::string& query) {
  const RequestSettings settings = SettingsOf(query);
  ResultCode code = Result::Ok;
  for (auto _ : state) {
    code = EncodeAndDraw(settings);
  }
  state.SetLabel("data " + std::to_string(settings.encoding.data.size()) + " chars, result " + std::to_string(code));
}

void BM_WholeRequest(benchmark::State& state, const std::string& query) {
  FILE* sink = std::fopen("/dev/null", "wb");
  if (sink == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  CgiEnvironment environment;
  environment.requestMethod = "GET";
  environment.queryString = query;
  int status = 0;
  for (auto _ : state) {
    const CgiResponse response = RespondToCgiRequest(environment, ReaderOf(stdin));
    WriteResponse(response, sink);
    status = response.status;
  }
  std::fclose(sink);
  state.SetLabel("exit status " + std::to_string(status));
}

// GS1 element strings checked and written as tilde data, alone.
void BM_Gs1Translation(benchmark::State& state, const std::string& bracketData) {
  std::size_t length = 0;
  for (auto _ : state) {
    const StatusOr<std::string> translation = TranslateGs1(bracketData, false);
    length = translation.Ok() ? translation->size() : 0;
    benchmark::DoNotOptimize(length);
  }
  state.SetLabel("tilde data " + std::to_string(length) + " chars");
}

// A GS1 Digital Link URI checked, alone.
void BM_Gs1DigitalLinkCheck(benchmark::State& state, const std::string& uri) {
  std::size_t elements = 0;
  for (auto _ : state) {
    const StatusOr<std::vector<Gs1Element>> link = ReadGs1DigitalLink(uri);
    elements = link.Ok() ? link->size() : 0;
    benchmark::DoNotOptimize(elements);
  }
  state.SetLabel(std::to_string(elements) + " AIs");
}

// Element strings checked and written as their canonical URI, alone.
void BM_Gs1DigitalLinkBuild(benchmark::State& state, const std::string& bracketData) {
  std::size_t length = 0;
  for (auto _ : state) {
    const StatusOr<std::vector<Gs1Element>> elements = ReadGs1Elements(bracketData);
    const StatusOr<std::string> built =
        elements.Ok() ? WriteGs1DigitalLink(*elements, kCanonicalGs1DigitalLinkStem) : elements.GetStatus();
    length = built.Ok() ? built->size() : 0;
    benchmark::DoNotOptimize(length);
  }
  state.SetLabel("URI " + std::to_string(length) + " chars");
}

// Automatic encodation alone, from the data to the padded, error-corrected codewords: the
// look-ahead against the shortest encodation (minimal) on the same data.
void BM_AutomaticEncodation(benchmark::State& state, const std::string& data, bool minimal) {
  EncodingSettings settings;
  settings.data = data;
  settings.minimal = minimal;
  CodewordBuffer codewords;
  FormatInfo format;
  ResultCode code = Result::Ok;
  for (auto _ : state) {
    code = EncodeCodewords(settings, codewords, format);
    benchmark::DoNotOptimize(codewords.data());
  }
  state.SetLabel("data " + std::to_string(data.size()) + " chars, result " + std::to_string(code));
}

// Collects every run for the Markdown table while the console reporter prints as usual.
class MarkdownCollector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (!run.error_occurred) {
        rows_.push_back(Row{run.benchmark_name(), run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(),
                            benchmark::GetTimeUnitString(run.time_unit), run.iterations, run.report_label});
      }
    }
  }

  bool Write(const std::string& path) const {
    FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
      return false;
    }
    std::fprintf(out, "### In process (Google Benchmark)\n\n");
    std::fprintf(out, "| Benchmark | wall | CPU | iterations | notes |\n|---|---:|---:|---:|---|\n");
    for (const Row& row : rows_) {
      std::fprintf(out, "| %s | %.1f %s | %.1f %s | %lld | %s |\n", row.name.c_str(), row.realTime, row.unit,
                   row.cpuTime, row.unit, static_cast<long long>(row.iterations), row.label.c_str());
    }
    return std::fclose(out) == 0;
  }

 private:
  struct Row {
    std::string name;
    double realTime;
    double cpuTime;
    const char* unit;
    benchmark::IterationCount iterations;
    std::string label;
  };
  std::vector<Row> rows_;
};

void RegisterBenchmarks() {
  const std::string text100 = "data=" + BenchRequests::Text100Data() + "&w=200&h=200";
  // The automatic choice over squares, rectangles and DMRE against today's squares for the same
  // long text: settling walks more candidates, each tried only once its capacity could do.
  std::string longText = "data=";
  for (int i = 0; i < 10; ++i) longText += BenchRequests::Text100Data();
  longText += "&w=400&h=400";
  const struct {
    const char* name;
    std::string query;
  } cases[] = {
      {"default", BenchRequests::DefaultQuery()},
      {"text100", text100},
      {"full144x144", BenchRequests::LargeQuery()},
      {"slowestAuto3600", BenchRequests::WorstAutoQuery()},
      {"text1000/fmt0", longText + "&fmt=0"},
      {"text1000/shape2dmre", longText + "&shape=2&dmre=1"},
      {"text100/shape2dmre", text100 + "&shape=2&dmre=1"},
      {"text1000/fmt0/minimal", longText + "&fmt=0&minimal=1"},
  };
  for (const auto& c : cases) {
    benchmark::RegisterBenchmark((std::string("EncodeAndDraw/") + c.name).c_str(), BM_EncodeAndDraw, c.query)
        ->Unit(benchmark::kMicrosecond);
  }
  const struct {
    const char* name;
    std::string query;
  } wholeRequests[] = {
      {"default", BenchRequests::DefaultQuery()},
      {"label200x200", BenchRequests::TypicalQuery()},
      {"full144x144", BenchRequests::LargeQuery()},
  };
  // Each as PNG and, beside it, as SVG and as the compact PNG.
  for (const auto& c : wholeRequests) {
    benchmark::RegisterBenchmark((std::string("WholeRequestToDevNull/") + c.name).c_str(), BM_WholeRequest, c.query)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("WholeRequestToDevNull/") + c.name + "/svg").c_str(), BM_WholeRequest,
                                 BenchRequests::AsSvg(c.query))
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("WholeRequestToDevNull/") + c.name + "/compact").c_str(),
                                 BM_WholeRequest, BenchRequests::AsCompact(c.query))
        ->Unit(benchmark::kMicrosecond);
  }
  // 3,000 characters of mixed text (more than any format holds, so each stops once measured).
  std::string mixed3000;
  for (int i = 0; i < 30; ++i) mixed3000 += BenchRequests::Text100Data();
  for (bool minimal : {false, true}) {
    benchmark::RegisterBenchmark(minimal ? "AutomaticEncodation/mixed3000/minimal" : "AutomaticEncodation/mixed3000",
                                 BM_AutomaticEncodation, mixed3000, minimal)
        ->Unit(benchmark::kMicrosecond);
  }
  // The cost of checking GS1 element strings: a medicine pack as element strings, and as the
  // tilde data they become; and the check alone.
  benchmark::RegisterBenchmark("Gs1Translation/medicinePack", BM_Gs1Translation,
                               std::string("(01)09501101530003(17)270630(10)AB-123(21)XYZ987"));
  benchmark::RegisterBenchmark("WholeRequestToDevNull/medicinePackGs1", BM_WholeRequest,
                               std::string("gs1=1&data=(01)09501101530003(17)270630(10)AB-123(21)XYZ987"))
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("WholeRequestToDevNull/medicinePackTilde", BM_WholeRequest,
                               std::string("data=~101095011015300031727063010AB-123~121XYZ987"))
      ->Unit(benchmark::kMicrosecond);
  // The same for a GS1 Digital Link URI: checked (gs1dl), built from the element strings (dl),
  // and the same URI as plain data, unchecked.
  const std::string medicineLink = "https://id.gs1.org/01/09501101530003/10/AB-123/21/XYZ987?17=270630";
  const std::string medicineLinkQuery = "https://id.gs1.org/01/09501101530003/10/AB-123/21/XYZ987%3F17%3D270630";
  benchmark::RegisterBenchmark("Gs1DigitalLinkCheck/medicinePack", BM_Gs1DigitalLinkCheck, medicineLink);
  benchmark::RegisterBenchmark("Gs1DigitalLinkBuild/medicinePack", BM_Gs1DigitalLinkBuild,
                               std::string("(01)09501101530003(17)270630(10)AB-123(21)XYZ987"));
  benchmark::RegisterBenchmark("WholeRequestToDevNull/medicinePackGs1dl", BM_WholeRequest,
                               "gs1dl=1&data=" + medicineLinkQuery)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("WholeRequestToDevNull/medicinePackDl", BM_WholeRequest,
                               std::string("gs1=1&dl=1&data=(01)09501101530003(17)270630(10)AB-123(21)XYZ987"))
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("WholeRequestToDevNull/medicinePackUriPlain", BM_WholeRequest,
                               "data=" + medicineLinkQuery)
      ->Unit(benchmark::kMicrosecond);
}

}  // namespace

int main(int argc, char** argv) {
  std::string markdownPath;
  std::vector<char*> arguments;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--markdown=", 11) == 0) {
      markdownPath = argv[i] + 11;
    } else {
      arguments.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
    return 2;
  }
  RegisterBenchmarks();
  MarkdownCollector reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (!markdownPath.empty() && !reporter.Write(markdownPath)) {
    std::fprintf(stderr, "cannot write %s\n", markdownPath.c_str());
    return 1;
  }
  return 0;
}
