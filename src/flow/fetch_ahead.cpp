#include "flow/fetch_ahead.h"

#include <atomic>

#include "app/log.h"
#include "app/platform.h"
#include "fetch/downloaders.h"
#include "fetch/fetch_lanes.h"
#include "fetch/mirror_list.h"
#include "flow/layout_source.h"

namespace kelvara {
namespace {
struct PlanRow {
  Route route;
  AheadPlan plan;
};
constexpr AheadPlan BOTH = {2, {AheadFile::DotNet4Package, AheadFile::ClientSetup}};
constexpr PlanRow PLANS[] = {{Route::DotNet4Repair, BOTH}, {Route::OldInstallers, BOTH}};

// A slot per file: the step that finds it queued takes it and fetches itself;
// one that finds it running waits; the background skips a taken one.
enum SlotState { NOT_PLANNED, QUEUED, RUNNING, DONE, TAKEN };
constexpr unsigned WAIT_POLL_MS = 50;

struct Slot {
  std::atomic<int> state{NOT_PLANNED};
  std::string result;   // written before DONE, read after it
  bool failed = false;  // likewise: it ended without the file, not stopped
};

struct Ahead {
  AheadPlan plan;
  std::string workDir;
  Slot slots[2];
};

Ahead& State() {
  static Ahead* ahead = new Ahead;  // used by the background until exit
  return *ahead;
}

int Index(AheadFile file) { return static_cast<int>(file); }

std::string Name(AheadFile file) {
  return file == AheadFile::DotNet4Package ? DOTNET4_PACKAGE_NAME : CLIENT_SETUP.localName;
}

void Mark(AheadFile file, const char* what) { LogLine("fetch ahead: " + Name(file) + " " + what); }

std::string Fetch(AheadFile file, const std::string& workDir) {
  return file == AheadFile::DotNet4Package ? DotNet4PackageForStep(workDir)
                                           : ServedFileForStep(workDir, CLIENT_SETUP);
}

unsigned FetchAheadJob(void*) {
  const FetchLanes::BackgroundScope background;
  Ahead& ahead = State();
  for (int i = 0; i < ahead.plan.n; ++i) {
    const AheadFile file = ahead.plan.files[i];
    Slot& slot = ahead.slots[Index(file)];
    int queued = QUEUED;
    if (Lanes().Stopped() || !slot.state.compare_exchange_strong(queued, RUNNING)) continue;
    Mark(file, "started");
    Lanes().SetBackgroundFetch(Index(file));
    slot.result = Fetch(file, ahead.workDir);
    Lanes().SetBackgroundFetch(-1);
    slot.failed = slot.result.empty() && !Lanes().Stopped();
    Mark(file, !slot.result.empty() ? "done" : slot.failed ? "failed" : "stopped");
    slot.state.store(DONE);
  }
  return 0;
}
}  // namespace

AheadPlan FetchAheadPlan(Route route) {
  for (const PlanRow& row : PLANS)
    if (row.route == route) return row.plan;
  return AheadPlan{};
}

void StartFetchAhead(Route route, const std::string& workDir) {
  // A route starts once, with nothing fetched ahead yet.
  Ahead& ahead = State();
  for (Slot& slot : ahead.slots) slot.state.store(NOT_PLANNED), slot.failed = false;
  Lanes().Restart();
  ahead.plan = FetchAheadPlan(route);
  if (ahead.plan.n == 0) return;
  ahead.workDir = workDir;
  for (int i = 0; i < ahead.plan.n; ++i)
    ahead.slots[Index(ahead.plan.files[i])].state.store(QUEUED);
  if (!GetPlatform().jobs->StartThread(FetchAheadJob, nullptr))
    LogLine("fetch ahead: no thread; each step fetches its own file");
}

std::string FetchForStep(AheadFile file, const std::string& workDir) {
  Slot& slot = State().slots[Index(file)];
  {
    // Counted before the slot is taken and through the whole download (the list, then the
    // package): else the background slips its next file's request in between.
    const FetchLanes::ForegroundScope step;
    int queued = QUEUED;
    if (slot.state.load() == NOT_PLANNED || slot.state.load() == TAKEN) return Fetch(file, workDir);
    if (slot.state.compare_exchange_strong(queued, TAKEN)) {
      Mark(file, "not begun: its step fetches it");
      return Fetch(file, workDir);
    }
  }
  if (slot.state.load() == RUNNING) {
    Mark(file, "taken over while it runs");
    Lanes().Show(Index(file));
    while (slot.state.load() != DONE) GetPlatform().http->Pause(WAIT_POLL_MS);
  } else {
    Mark(file, "taken over");
  }
  if (!slot.failed) return slot.result;
  // What broke minutes ago (a stall, a reset that could not resume, a 5xx) may
  // serve now: the step tries once itself, as if nothing had been fetched ahead.
  Mark(file, "failed in the background: its step fetches it again");
  const FetchLanes::ForegroundScope step;
  return Fetch(file, workDir);
}

void StopFetchAhead() {
  if (Lanes().Stopped()) return;
  Lanes().Stop();
  for (const Slot& slot : State().slots)
    if (slot.state.load() == QUEUED || slot.state.load() == RUNNING)
      return LogLine("fetch ahead: stopped");
}

}  // namespace kelvara
