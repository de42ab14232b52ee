#pragma once
#include <string>

namespace kelvara {

inline constexpr int LAUNCH_FAILED = -10000;
inline constexpr int PROBE_FOUND = 100;

// The program's exit code read as signed, or LAUNCH_FAILED.
int RunProgramAndWait(std::string commandLine);

// How one kind of downloaded program is started and judged.
struct LaunchRule {
  bool probe;     // success is exit code 100; otherwise success is any start
  bool sizeTest;  // the .NET package: never started unless complete
  bool wizard;    // " private" in private mode; its library is checked too
};
inline constexpr LaunchRule PROBE_RULE = {true, false, false};
inline constexpr LaunchRule PACKAGE_RULE = {false, false, false};
inline constexpr LaunchRule DOTNET4_PACKAGE_RULE = {false, true, false};
inline constexpr LaunchRule SETUP_WIZARD_RULE = {false, false, true};

bool IsRuleMet(const LaunchRule& rule, int launchResult);

// The program path in double quotes, so a path with blanks is neither split
// nor searched piecewise ("C:\Documents.exe").
std::string ProgramCommandLine(const std::string& path, const LaunchRule& rule, bool privateMode);

// A program whose pinned digest does not match is handled as one that
// cannot be started: nothing is run. The program, and the wizard's library,
// are held from before their checks until the program has ended.
bool RunDownloadedProgram(const std::string& path, const LaunchRule& rule);

}  // namespace kelvara
