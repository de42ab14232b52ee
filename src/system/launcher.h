#pragma once
#include <memory>
#include <string>

#include "app/platform.h"

namespace kelvara {

inline constexpr int LAUNCH_FAILED = -10000;
inline constexpr int PROBE_FOUND = 100;

// The program's exit code read as signed, or LAUNCH_FAILED.
int RunProgramAndWait(std::string commandLine, const std::string& directory = "");

// The held download copied into the run folder and held there: the copy is
// what is checked and run, and *copy its path. nullptr, logged, when it
// cannot be.
std::unique_ptr<HeldFile> HoldRunCopy(const std::string& path, std::string* copy);

// How one kind of downloaded program is started and judged.
struct LaunchRule {
  bool probe;             // success is exit code 100; otherwise success is any start
  bool wizard;            // " private" in private mode; its library is checked too
  const char* quietArgs;  // a package's documented switches for unattended runs
};
inline constexpr LaunchRule PROBE_RULE = {true, false, nullptr};
inline constexpr LaunchRule PACKAGE_RULE = {false, false, "/quiet /norestart"};
inline constexpr LaunchRule DOTNET4_PACKAGE_RULE = {false, false, "/q /norestart"};
inline constexpr LaunchRule SETUP_WIZARD_RULE = {false, true, nullptr};

// Whether an installer asked for a restart (3010 or 1641): any of them in
// this run, and the one that ran last, whose verification then probably
// fails until the machine restarts. Written before the job's reply is posted.
extern bool g_bRestartRequested;
extern bool g_bLastRunAskedRestart;

bool IsRuleMet(const LaunchRule& rule, int launchResult);

// The program path in double quotes, so a path with blanks is neither split
// nor searched piecewise ("C:\Documents.exe").
// Unattended, a package gets its quiet switches.
std::string ProgramCommandLine(const std::string& path, const LaunchRule& rule, bool privateMode,
                               bool unattended);

// A program, or the wizard's library, that may not run (MayRunHeldFile) is
// handled as one that cannot be started: nothing is run. The program, and
// the wizard's library, run as copies in the run folder, held from before
// their checks until the program has ended; the run folder is the program's
// current directory.
bool RunDownloadedProgram(const std::string& path, const LaunchRule& rule);

// The client's checked copy started in the run folder, not waited for: never
// through the shell, whose "open" an elevated process would look up in the
// user's own file associations. false when it cannot be started.
bool StartClientSetup(const std::string& path);

// The client's copy in the run folder started there with the build's quiet
// arguments and waited for; how it ended, by its exit code.
int RunClientSetup(std::string path);

}  // namespace kelvara
