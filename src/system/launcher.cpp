#include "system/launcher.h"

#include "app/platform.h"
#include "app/settings.h"
#include "system/probes.h"

int RunProgramAndWait(std::string commandLine) {
  return GetPlatform().system->RunAndWait(commandLine);
}

bool IsProbeFound(int launchResult) { return launchResult == PROBE_FOUND; }

bool HasStarted(int launchResult) { return launchResult != LAUNCH_FAILED; }

std::string ProgramCommandLine(const std::string& path) { return "\"" + path + "\""; }

std::string SetupWizardCommandLine(const std::string& path, bool privateMode) {
  std::string commandLine = ProgramCommandLine(path);
  if (privateMode) commandLine += " private";
  return commandLine;
}

bool RunDotNet4Package(std::string path) {
  // A partial or wrong package is never started.
  if (!IsDotNet4PackageComplete(path)) return false;
  return HasStarted(RunProgramAndWait(ProgramCommandLine(path)));
}

bool RunImagingProbe(std::string path) {
  return IsProbeFound(RunProgramAndWait(ProgramCommandLine(path)));
}

bool RunWicPackage(std::string path) {
  return HasStarted(RunProgramAndWait(ProgramCommandLine(path)));
}

bool RunInstallerProbe(std::string path) {
  return IsProbeFound(RunProgramAndWait(ProgramCommandLine(path)));
}

bool RunMsiPackage(std::string path) {
  return HasStarted(RunProgramAndWait(ProgramCommandLine(path)));
}

bool RunSetupWizard(std::string path) {
  return HasStarted(RunProgramAndWait(SetupWizardCommandLine(path, g_bPrivateMode != 0)));
}
