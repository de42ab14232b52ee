#include "app/command_line.h"

#include <algorithm>
#include <cctype>

namespace kelvara {
namespace {
// The switch's name in lower case, or "" when the argument is no switch.
std::string SwitchName(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return std::string();
  std::string name = arg.substr(1);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}
}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  line.privateMode = args.size() >= 2 && args[1] == PRIVATE_KEYWORD;
  for (std::size_t i = line.privateMode ? 2 : 1; i < args.size(); ++i) {
    const std::string name = SwitchName(args[i]);
    if (name == "quiet") {
      line.mode = UiMode::Quiet;
    } else if (name == "passive") {
      // The stricter of the two wins, whatever their order.
      if (line.mode != UiMode::Quiet) line.mode = UiMode::Passive;
    } else if (name == "?" || name == "help") {
      line.help = true;
    } else if (name == "log" && i + 1 < args.size() && SwitchName(args[i + 1]).empty()) {
      line.logPath = args[++i];
    } else if ((name == "source" || name == "layout") && i + 1 < args.size() &&
               SwitchName(args[i + 1]).empty()) {
      (name == "source" ? line.sourceDir : line.layoutDir) = args[++i];
    } else if (name != "norestart" && line.badArgument.empty()) {
      // "/log" without a path, an unknown switch, or a word such as a late "private".
      line.badArgument = args[i];
    }
  }
  return line;
}

}  // namespace kelvara
