#pragma once
#include <string>

namespace kelvara {

inline constexpr int LAUNCH_FAILED = -10000;
inline constexpr int PROBE_FOUND = 100;

// The program's exit code read as signed, or LAUNCH_FAILED.
int RunProgramAndWait(std::string commandLine);

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
// handled as one that cannot be started: nothing is run. The program, and the wizard's library,
// are held from before their checks until the program has ended.
bool RunDownloadedProgram(const std::string& path, const LaunchRule& rule);

// The client started with the build's quiet arguments and waited for; how
// it ended, by its exit code.
int RunClientSetup(std::string path);

}  // namespace kelvara
