#pragma once
// Fetching ahead: once the route is chosen, the files it will surely need
// later are fetched in the background, one at a time in the order its steps
// need them, while its probes and installers run. Each step then takes its
// file over instead of fetching it: the route costs about the longer of its
// downloads and its installs, not their sum.

#include <string>

namespace kelvara {

enum class Route { ClientOnly, DotNet4Repair, OldInstallers, SetupWizard, Guarded };
enum class AheadFile { DotNet4Package, ClientSetup };

struct AheadPlan {
  int n = 0;
  AheadFile files[2] = {};
};

// What a route fetches ahead, in order: the routes that install .NET 4.0 the
// package, then the client; the others nothing (the setup wizard brings its
// own, and a route that needs only the client has nothing to overlap).
AheadPlan FetchAheadPlan(Route route);

// Starts the background job for the route's plan; nothing when it is empty.
// Without a thread each step fetches its own file, as without a plan.
void StartFetchAhead(Route route, const std::string& workDir);

// The step's fetch of a planned file: the background's result once it has
// ended (waiting for it while it runs, and showing it); the step's own fetch
// when the background has not begun it, or failed (not stopped), or without a
// plan. The local path, or "" for a failed fetch.
std::string FetchForStep(AheadFile file, const std::string& workDir);

// Cancel, a halt, the end of the wizard: the background transfer ends at its
// next read and nothing more is fetched ahead.
void StopFetchAhead();

}  // namespace kelvara
