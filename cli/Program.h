#pragma once

#include "cli/CommandLine.h"

// Does what the command line asks for and returns the exit status.
int RunProgram(const CommandLine& line);
