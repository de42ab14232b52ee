#pragma once
#include <string>

#include "flow/job_block.h"

inline constexpr unsigned WM_INSTALL_STEP = 0x0400 + 1;  // WM_USER + 1

inline constexpr int STAGE_CONTROL = 0;
inline constexpr int STAGE_CLIENT = 10000;
inline constexpr int STAGE_DOTNET4 = 20000;
inline constexpr int STAGE_WIC = 30000;
inline constexpr int STAGE_MSI = 40000;
inline constexpr int STAGE_WIZARD = 50000;

inline constexpr int CONTROL_HALT = 0;
inline constexpr int CONTROL_QUIT = 1;

inline constexpr int STEP_BEGIN = 100;
inline constexpr int STEP_FETCH_PROBE = 101;
inline constexpr int STEP_PROBE_FETCHED = 102;
inline constexpr int STEP_RUN_PROBE = 103;
inline constexpr int STEP_PROBE_DONE = 104;
inline constexpr int STEP_FETCH_PACKAGE = 105;
inline constexpr int STEP_PACKAGE_FETCHED = 106;
inline constexpr int STEP_RUN_PACKAGE = 107;
inline constexpr int STEP_PACKAGE_DONE = 108;

// What the step handler and the start-up tests need from the window side.
class FlowHost {
 public:
  virtual ~FlowHost() = default;
  virtual void SetStatus(const std::string& text, bool showBox) = 0;
  // Starts JobThreadProc on the block in a new thread; false when the thread
  // cannot be created.
  virtual bool CreateJobThread(JobBlock& block) = 0;
  virtual void ShellOpen(const std::string& path) = 0;
  virtual void Quit() = 0;  // exit(0); returns only in tests
  virtual std::string GetTempDirectory() = 0;
  virtual void KillStartupTimer() = 0;
  virtual void DefaultTimerProcessing() = 0;
};

void PostStep(int stage, int step);
void StartDotNet4Stage();
void StartWicStage();
void StartClientStage();

// The state machine: one (stage, step) pair. Returns 1.
long OnInstallStep(JobBlock& job, FlowHost& host, int stage, int step);

// The first timer tick: server, working directory, connectivity, route.
void OnTimer(JobBlock& job, FlowHost& host);

// GetTempPathA's result: the returned length and the buffer's text.
std::string TempDirectoryFromPath(unsigned length, const std::string& buffer);
