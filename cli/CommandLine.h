#pragma once

#include <optional>
#include <string>

#include "cli/OptionParameters.h"

namespace korvex::internal {

// Exit statuses of the program's own failures, apart from the result codes (1 to 14) that a
// failing symbol exits with: those of sysexits.h, so that the two never meet.
constexpr int kExitUsage = 64;    // a wrong command line
constexpr int kExitNoInput = 66;  // the batch file or standard input cannot be read

// The name every message on standard error starts with.
constexpr const char* kProgramName = "korvex";

// What the command line asks for, read once before anything is done.
struct CommandLine {
  enum class Action { Symbol, Batch, Help, Version, Refused };
  Action action = Action::Refused;
  OptionParameters parameters;
  bool dataFromInput = false;         // DATA was "-"
  std::optional<std::string> output;  // -o: a file name, or a pattern under --batch
  std::string batchFile;              // --batch: "-" for standard input
};

// Reads argv; on a wrong command line the reason is on standard error and the action is
// Refused.
CommandLine ParseCommandLine(int argc, char** argv);

// The text of --help.
std::string HelpText();

}  // namespace korvex::internal
