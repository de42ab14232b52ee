#pragma once
// The step state machine: one (stage, step) pair at a time, on the window thread.

#include <string>

#include "app/exit_codes.h"
#include "flow/jobs.h"

namespace kelvara {

// What the step handler and the start-up route need from the window side.
class FlowHost {
 public:
  virtual ~FlowHost() = default;
  virtual void SetStatus(const std::string& text, bool showBox) = 0;
  virtual void Quit(int exitCode) = 0;  // exit(exitCode); returns only in tests
  // The temporary directory with its trailing backslash, or "C:\".
  virtual std::string GetTempDirectory() = 0;
  virtual void KillStartupTimer() = 0;
  virtual void DefaultTimerProcessing() = 0;
};

void StartDotNet4Stage();
void StartWicStage();
void StartClientStage();

// Ends the process with the code that tells how the run went (0 for a person).
void EndFlow(FlowHost& host, Ending ending);

// Returns 1, as the window message's result.
long OnInstallStep(JobBlock& job, FlowHost& host, int stage, int step);

}  // namespace kelvara
