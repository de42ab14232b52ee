#include "system/launcher.h"

#include "app/exit_codes.h"
#include "app/log.h"
#include "app/platform.h"
#include "app/settings.h"
#include "fetch/downloaders.h"
#include "system/digests.h"
#include "system/probes.h"
#include "system/run_check.h"

namespace kelvara {

bool g_bRestartRequested = false;
bool g_bLastRunAskedRestart = false;

namespace {
int RunInstaller(const std::string& commandLine) {
  const int result = RunProgramAndWait(commandLine);
  g_bLastRunAskedRestart = IsRestartRequest(result);
  if (g_bLastRunAskedRestart) LogLine("the installer asks for a restart; the wizard makes none");
  g_bRestartRequested |= g_bLastRunAskedRestart;
  return result;
}
}  // namespace

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

namespace {
// Every started program's path, quoted as ProgramCommandLine says why.
std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
}  // namespace

std::string ProgramCommandLine(const std::string& path, const LaunchRule& rule, bool privateMode,
                               bool unattended) {
  std::string commandLine = Quoted(path);
  if (rule.wizard && privateMode) commandLine += std::string(" ") + PRIVATE_KEYWORD;
  if (unattended && rule.quietArgs != nullptr) commandLine += std::string(" ") + rule.quietArgs;
  return commandLine;
}

bool RunDownloadedProgram(const std::string& path, const LaunchRule& rule) {
  // Any process of the user can write to the download folder; the elevated
  // run must start exactly what was checked.
  const std::unique_ptr<HeldFile> program = HoldFile(path);
  if (!program || !MayRunHeldFile(path, *program)) return false;
  // The wizard loads the library saved beside it.
  std::unique_ptr<HeldFile> library;
  if (rule.wizard) {
    const std::string dll = path.substr(0, path.find_last_of('\\') + 1) + UNRAR_DLL.localName;
    library = HoldFile(dll);
    if (!library || !MayRunHeldFile(dll, *library)) return false;
  }
  const std::string commandLine =
      ProgramCommandLine(path, rule, g_bPrivateMode != 0, IsUnattended());
  return IsRuleMet(rule, rule.probe ? RunProgramAndWait(commandLine) : RunInstaller(commandLine));
}

// Held meanwhile by the job that fetched and checked it.
int RunClientSetup(std::string path) {
  const int result = RunInstaller(Quoted(path) + " " + g_strClientQuietArgs);
  const Ending ending = ClientEnding(result);
  LogLine("client exit code " + std::to_string(result) +
          (ending == ENDING_DONE        ? ": done"
           : ending == ENDING_CANCELLED ? ": cancelled"
                                        : ": FAILED"));
  return ending;
}

}  // namespace kelvara
