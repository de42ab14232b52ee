#pragma once
// The start-up: server, working directory, connectivity test, first pair.

#include "flow/steps.h"

namespace kelvara {

// The first timer tick: starts the connectivity test as a job.
void OnTimer(JobBlock& job, FlowHost& host);

// The connectivity test's reply: the failure box, or the version class, the
// probes and the first pair of the route.
void OnServerChecked(JobBlock& job, FlowHost& host);

}  // namespace kelvara
