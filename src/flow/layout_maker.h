#pragma once
// /layout DIR: every file any route can need, fetched and checked exactly as
// before it would run, published into DIR with the wizard's own copy; the
// manifest last, so a layout without one is visibly unfinished. Nothing runs.

#include <string>

namespace kelvara {

// The job: 1 when the layout is complete, 0 when a file could not be fetched
// or failed its check (the log names it and why; none is kept under its name).
// A file already there as the old manifest says is not fetched again.
int MakeLayout(std::string workDir);

}  // namespace kelvara
