#include "cli/Program.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "request/Answer.h"
#include "request/RequestHandler.h"
#include "cli/OutputFile.h"
#include "cli/OutputPattern.h"

namespace korvex::internal {

namespace {

// The failure's message and its detail line, if any, each after the program name and where.
void Report(const std::string& where, const Status& failure) {
  const char* detail = failure.Detail().c_str();
  std::fprintf(stderr, "%s: %s%s\n", kProgramName, where.c_str(), ErrorMessage(failure.Code()));
  if (*detail != '\0') std::fprintf(stderr, "%s: %s%s\n", kProgramName, where.c_str(), detail);
}

// The code a finished answer stands for: what failed, or Ok when there is an image. An answer
// that carries neither (only a lost exception can give one) is no success either.
ResultCode OutcomeOf(const Answer& answer) {
  if (answer.code != Result::Ok) return answer.code;
  return answer.kind == AnswerKind::Nothing ? Result::UnknownException : Result::Ok;
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<FILE, FileCloser>;

// One line without its end ("\n", or "\r\n" as written on Windows); false at the end of input.
bool ReadLine(FILE* input, std::string& line) {
  char* buffer = nullptr;
  size_t capacity = 0;
  const ssize_t length = getline(&buffer, &capacity, input);
  const std::unique_ptr<char, decltype(&std::free)> owned(buffer, &std::free);
  if (length < 0) return false;
  line.assign(buffer, static_cast<size_t>(length));
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// All of standard input without one final newline, or nothing when it cannot be read.
std::optional<std::string> ReadStandardInput() {
  std::string text;
  char buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) text.append(buffer, n);
  if (std::ferror(stdin)) return std::nullopt;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

int RunSymbol(const CommandLine& line) {
  OptionParameters parameters = line.parameters;
  if (line.dataFromInput) {
    const std::optional<std::string> data = ReadStandardInput();
    if (!data) {
      std::fprintf(stderr, "%s: standard input: %s\n", kProgramName, std::strerror(errno));
      return kExitNoInput;
    }
    parameters.Set("data", *data);
  }
  const Answer answer = AnswerParameters(parameters, RequestLimits());
  const ResultCode outcome = OutcomeOf(answer);
  if (outcome != Result::Ok) Report("", Status(outcome, answer.detail));
  // The body (the image, or the error page under debug) as the web answer carries it.
  if (answer.kind == AnswerKind::Nothing) return outcome;
  if (!line.output && answer.kind == AnswerKind::PngImage && isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "%s: a PNG image is not written to a terminal; use -o FILE or redirect the output\n",
                 kProgramName);
    return kExitUsage;
  }
  const Status written = line.output ? WriteOutputFile(*line.output, answer.body) : WriteStandardOutput(answer.body);
  if (!written.Ok()) Report("", written);
  return outcome != Result::Ok ? outcome : written.Code();
}

// Where the images of a batch go. Two lines whose data make the same safe name must not
// overwrite each other, so every name is remembered with the line that took it.
struct BatchFiles {
  OutputPattern pattern;
  std::unordered_map<std::string, uint64_t> takenBy;
};

// The symbol of one batch line (its data already among parameters) written to its file;
// failures reported with the line number. Returns the first failing code, or Ok.
ResultCode MakeLine(OptionParameters& parameters, uint64_t number, const std::string& data, BatchFiles& files) {
  const std::string where = "line " + std::to_string(number) + ": ";
  const Answer answer = AnswerParameters(parameters, RequestLimits());
  const ResultCode outcome = OutcomeOf(answer);
  if (outcome != Result::Ok) Report(where, Status(outcome, answer.detail));
  if (answer.kind == AnswerKind::Nothing) return outcome;
  const std::string fileName = files.pattern.FileName(number, data);
  const auto [taken, isNew] = files.takenBy.emplace(fileName, number);
  const Status written =
      isNew ? WriteOutputFile(fileName, answer.body)
            : Status(Result::FileOpenFailed, fileName + ": already written for line " + std::to_string(taken->second));
  if (!written.Ok()) Report(where, written);
  return outcome != Result::Ok ? outcome : written.Code();
}

int RunBatch(const CommandLine& line) {
  OptionParameters parameters = line.parameters;
  const StatusOr<OutputPattern> pattern = OutputPattern::Parse(line.output.value_or(""));
  if (!pattern.Ok()) return kExitUsage;  // the command line was checked; this is only a guard
  OwnedFile opened;
  if (line.batchFile != "-") {
    opened.reset(std::fopen(line.batchFile.c_str(), "rb"));
    if (!opened) {
      std::fprintf(stderr, "%s: %s: %s\n", kProgramName, line.batchFile.c_str(), std::strerror(errno));
      return kExitNoInput;
    }
  }
  FILE* input = opened ? opened.get() : stdin;
  BatchFiles files{*pattern, {}};
  int status = 0;
  std::string data;
  for (uint64_t number = 1; ReadLine(input, data); ++number) {
    parameters.Set("data", data);
    const ResultCode code = MakeLine(parameters, number, data, files);
    if (status == 0) status = code;
  }
  if (std::ferror(input)) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgramName, line.batchFile == "-" ? "standard input" : line.batchFile.c_str(),
                 std::strerror(errno));
    if (status == 0) status = kExitNoInput;
  }
  return status;
}

}  // namespace

int RunProgram(const CommandLine& line) {
  switch (line.action) {
    case CommandLine::Action::Help:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case CommandLine::Action::Version:
      std::printf("korvex (Korvex) %s\n", KORVEX_VERSION);
      return 0;
    case CommandLine::Action::Symbol:
      return RunSymbol(line);
    case CommandLine::Action::Batch:
      return RunBatch(line);
    case CommandLine::Action::Refused:
      break;
  }
  return kExitUsage;
}

}  // namespace korvex::internal
