#include "app/exit_codes.h"

namespace kelvara {

int ExitCodeFor(UiMode mode, Ending ending, bool restartRequested) {
  if (mode == UiMode::Interactive) return EXIT_DONE;
  if (ending == ENDING_FAILED) return EXIT_FAILED;
  if (ending == ENDING_CANCELLED) return EXIT_CANCELLED;
  return restartRequested ? EXIT_RESTART_NEEDED : EXIT_DONE;
}

bool IsRestartRequest(int exitCode) { return exitCode == 3010 || exitCode == 1641; }

Ending ClientEnding(int launchResult) {
  if (launchResult == 0 || IsRestartRequest(launchResult)) return ENDING_DONE;
  return launchResult == EXIT_CANCELLED ? ENDING_CANCELLED : ENDING_FAILED;
}

SecondCopy DecideSecondCopy(UiMode mode, bool anotherCopyRuns) {
  if (!anotherCopyRuns) return SecondCopy::Proceed;
  return mode == UiMode::Interactive ? SecondCopy::BringToFront : SecondCopy::ExitAlreadyRunning;
}

}  // namespace kelvara
