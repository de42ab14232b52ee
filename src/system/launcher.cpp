#include "system/launcher.h"

#include "app/digests.h"
#include "app/exit_codes.h"
#include "app/log.h"
#include "app/platform.h"
#include "app/served_files.h"
#include "app/settings.h"
#include "system/probes.h"
#include "system/run_check.h"

namespace kelvara {

bool g_bRestartRequested = false;
bool g_bLastRunAskedRestart = false;

namespace {
// The folder of a path, with its backslash.
std::string FolderOf(const std::string& path) {
  return path.substr(0, path.find_last_of('\\') + 1);
}

int RunInstaller(const std::string& commandLine, const std::string& directory) {
  const int result = RunProgramAndWait(commandLine, directory);
  g_bLastRunAskedRestart = IsRestartRequest(result);
  if (g_bLastRunAskedRestart) LogLine("the installer asks for a restart; the wizard makes none");
  g_bRestartRequested |= g_bLastRunAskedRestart;
  return result;
}
}  // namespace

int RunProgramAndWait(std::string commandLine, const std::string& directory) {
  const std::uint64_t start = LogClockMs();
  unsigned long error = 0;
  const int result = GetPlatform().system->Run(commandLine, directory, true, &error);
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

std::unique_ptr<HeldFile> HoldRunCopy(const std::string& path, std::string* copy) {
  // Any process of the user can write to the download folder, and plant
  // libraries beside what runs there: the elevated run starts a copy, made
  // where only administrators can write, and what was checked is that copy.
  const std::unique_ptr<HeldFile> download = HoldFile(path);
  if (!download) return nullptr;
  const std::string folder = GetPlatform().files->RunFolder();
  if (folder.empty()) {
    LogLine("no run folder: " + path + " is not run");
    return nullptr;
  }
  *copy = folder + path.substr(path.find_last_of('\\') + 1);
  unsigned long error = 0;
  std::unique_ptr<HeldFile> held = GetPlatform().files->CopyHeld(*download, *copy, &error);
  if (!held) LogFileRefused(*copy, "cannot be copied into the run folder", error);
  return held;
}

bool RunDownloadedProgram(const std::string& path, const LaunchRule& rule) {
  std::string run;
  const std::unique_ptr<HeldFile> program = HoldRunCopy(path, &run);
  if (!program || !MayRunHeldFile(run, *program)) return false;
  // The wizard loads the library saved beside it.
  std::unique_ptr<HeldFile> library;
  if (rule.wizard) {
    std::string dll;
    library = HoldRunCopy(FolderOf(path) + UNRAR_DLL.localName, &dll);
    if (!library || !MayRunHeldFile(dll, *library)) return false;
  }
  const std::string commandLine =
      ProgramCommandLine(run, rule, g_bPrivateMode != 0, IsUnattended());
  const std::string folder = FolderOf(run);
  return IsRuleMet(rule, rule.probe ? RunProgramAndWait(commandLine, folder)
                                    : RunInstaller(commandLine, folder));
}

bool StartClientSetup(const std::string& path) {
  unsigned long error = 0;
  const std::string commandLine = Quoted(path);
  const bool started =
      GetPlatform().system->Run(commandLine, FolderOf(path), false, &error) != LAUNCH_FAILED;
  LogLine("start " + commandLine +
          (started ? " started" : " not started, error " + std::to_string(error)));
  return started;
}

// The copy, held meanwhile by the job that fetched and checked it.
int RunClientSetup(std::string path) {
  const int result = RunInstaller(Quoted(path) + " " + g_strClientQuietArgs, FolderOf(path));
  const Ending ending = ClientEnding(result);
  LogLine("client exit code " + std::to_string(result) +
          (ending == ENDING_DONE        ? ": done"
           : ending == ENDING_CANCELLED ? ": cancelled"
                                        : ": FAILED"));
  return ending;
}

}  // namespace kelvara
