#pragma once
// Splits a command line by the Windows rules and reads it; a line that
// cannot be split counts as no arguments.
#include "app/command_line.h"

namespace kelvara {
CommandLine ReadCommandLine(const wchar_t* commandLine);
}  // namespace kelvara
