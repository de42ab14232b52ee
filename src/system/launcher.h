#pragma once
#include <string>

inline constexpr int LAUNCH_FAILED = -10000;
inline constexpr int PROBE_FOUND = 100;

// The program's exit code read as signed, or LAUNCH_FAILED.
int RunProgramAndWait(std::string commandLine);

bool IsProbeFound(int launchResult);
bool HasStarted(int launchResult);

// The program path in double quotes, so a path with blanks is neither split
// nor searched piecewise ("C:\Documents.exe").
std::string ProgramCommandLine(const std::string& path);
std::string SetupWizardCommandLine(const std::string& path, bool privateMode);

bool RunDotNet4Package(std::string path);
bool RunImagingProbe(std::string path);
bool RunWicPackage(std::string path);
bool RunInstallerProbe(std::string path);
bool RunMsiPackage(std::string path);
bool RunSetupWizard(std::string path);
