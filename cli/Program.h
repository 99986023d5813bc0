#pragma once

#include "cli/CommandLine.h"

namespace korvex::internal {

// Does what the command line asks for and returns the exit status.
int RunProgram(const CommandLine& line);

}  // namespace korvex::internal
