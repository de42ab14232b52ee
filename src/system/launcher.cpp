#include "system/launcher.h"

#include "app/log.h"
#include "app/platform.h"
#include "app/settings.h"
#include "system/digests.h"
#include "system/probes.h"

namespace kelvara {

int RunProgramAndWait(std::string commandLine) {
  const std::uint64_t start = LogClockMs();
  unsigned long error = 0;
  const int result = GetPlatform().system->RunAndWait(commandLine, &error);
  LogRun(commandLine, result, result == LAUNCH_FAILED ? error : 0, LogClockMs() - start);
  return result;
}

bool IsRuleMet(const LaunchRule& rule, int launchResult) {
  return rule.probe ? launchResult == PROBE_FOUND : launchResult != LAUNCH_FAILED;
}

std::string ProgramCommandLine(const std::string& path, const LaunchRule& rule, bool privateMode) {
  std::string commandLine = "\"" + path + "\"";
  if (rule.wizard && privateMode) commandLine += std::string(" ") + PRIVATE_KEYWORD;
  return commandLine;
}

bool RunDownloadedProgram(const std::string& path, const LaunchRule& rule) {
  if (rule.sizeTest && !IsDotNet4PackageComplete(path)) return false;
  if (!IsFileAsPinned(path)) return false;
  // The wizard loads the library saved beside it.
  if (rule.wizard && !IsFileAsPinned(path.substr(0, path.find_last_of('\\') + 1) + "unrar.dll"))
    return false;
  return IsRuleMet(rule, RunProgramAndWait(ProgramCommandLine(path, rule, g_bPrivateMode != 0)));
}

}  // namespace kelvara
