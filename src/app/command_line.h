#pragma once
// What the command line asks for. The first argument "private" keeps its
// exact, case-sensitive rule; after it (or first) come switches, written with
// "/" or "-" in any letter case: /quiet, /passive, /norestart, /log PATH,
// /source DIR, /layout DIR, /? and /help.

#include <string>
#include <vector>

#include "app/settings.h"

namespace kelvara {

struct CommandLine {
  bool privateMode = false;
  UiMode mode = UiMode::Interactive;
  bool help = false;
  std::string logPath;      // "": the log's usual place
  std::string sourceDir;    // /source DIR: the layout to install from
  std::string layoutDir;    // /layout DIR: the layout to make
  std::string badArgument;  // the first argument not understood; "" when none
};

// args[0] is the program path. An argument not understood is only an error
// in unattended modes: an interactive run ignores it, as it always has.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace kelvara
