#pragma once
namespace kelvara {

// True when another copy of the wizard runs in this session. The first copy
// holds the name until it ends.
bool AnotherCopyRuns();
// Brings the running copy's window (or its open message box) to the front.
void BringRunningCopyForward();

}  // namespace kelvara
