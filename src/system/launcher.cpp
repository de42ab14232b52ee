#include "system/launcher.h"

#include "app/log.h"
#include "app/platform.h"
#include "app/settings.h"
#include "fetch/downloaders.h"
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
  // Any process of the user can write to the download folder; the elevated
  // run must start exactly what was checked.
  const std::unique_ptr<HeldFile> program = HoldFile(path);
  if (!program) return false;
  if (rule.sizeTest && !IsDotNet4PackageComplete(path, *program)) return false;
  if (!IsFileAsPinned(path, *program)) return false;
  // The wizard loads the library saved beside it.
  std::unique_ptr<HeldFile> library;
  if (rule.wizard) {
    const std::string dll = path.substr(0, path.find_last_of('\\') + 1) + UNRAR_DLL.localName;
    library = HoldFile(dll);
    if (!library || !IsFileAsPinned(dll, *library)) return false;
  }
  return IsRuleMet(rule, RunProgramAndWait(ProgramCommandLine(path, rule, g_bPrivateMode != 0)));
}

}  // namespace kelvara
