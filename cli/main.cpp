#include <cstdio>
#include <exception>

#include "result/ResultCode.h"
#include "cli/CommandLine.h"
#include "cli/Program.h"

namespace korvex::internal {

namespace {

// What standard output still holds must reach its file, or the run failed.
int WithOutputClosed(int status) {
  if (std::fclose(stdout) != 0 && status == 0) {
    std::fprintf(stderr, "%s: %s\n%s: standard output: write error\n", kProgramName,
                 ErrorMessage(Result::FileCloseFailed), kProgramName);
    return Result::FileCloseFailed;
  }
  return status;
}

}  // namespace

}  // namespace korvex::internal

using namespace korvex::internal;

// The command-line front end: the request parameters come from the options, and the answer's
// body goes to a file or standard output.
int main(int argc, char** argv) {
  try {
    return WithOutputClosed(RunProgram(ParseCommandLine(argc, argv)));
  } catch (const std::exception&) {
    // In practice exhausted memory outside the request handler, which catches its own.
    std::fprintf(stderr, "%s: %s\n", kProgramName, ErrorMessage(Result::UnknownException));
    return Result::UnknownException;
  }
}
