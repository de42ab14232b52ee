#pragma once
// The process's exit code, which is all a deployment tool reads of an
// unattended run. An interactive run keeps ending with 0.

#include "app/settings.h"

namespace kelvara {

inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_BAD_COMMAND_LINE = 87;
inline constexpr int EXIT_CANCELLED = 1602;
inline constexpr int EXIT_FAILED = 1603;
inline constexpr int EXIT_ALREADY_RUNNING = 1618;
inline constexpr int EXIT_RESTART_NEEDED = 3010;

// How a run ended. A failure is 0, as every job's failure value is.
enum Ending { ENDING_FAILED = 0, ENDING_DONE = 1, ENDING_CANCELLED = 2 };

int ExitCodeFor(UiMode mode, Ending ending, bool restartRequested);

// An installer's answer that it needs a restart to finish (3010, 1641).
bool IsRestartRequest(int exitCode);

// The client has no probe after it: its own exit code tells how it ended.
Ending ClientEnding(int launchResult);

// Another copy of the wizard is running: a person is shown that one, a
// deployment tool is told 1618.
enum class SecondCopy { Proceed, BringToFront, ExitAlreadyRunning };
SecondCopy DecideSecondCopy(UiMode mode, bool anotherCopyRuns);

}  // namespace kelvara
