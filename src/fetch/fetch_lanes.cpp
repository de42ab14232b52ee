#include "fetch/fetch_lanes.h"

#include "app/log.h"
#include "app/platform.h"

namespace kelvara {
namespace {
// Short enough that a step's end, a stop or Cancel is seen at once.
constexpr unsigned TURN_POLL_MS = 50;

thread_local bool t_background = false;
}  // namespace

FetchLanes& Lanes() {
  static FetchLanes* lanes = new FetchLanes;  // used by the background until exit
  return *lanes;
}

FetchLanes::BackgroundScope::BackgroundScope() { t_background = true; }
FetchLanes::BackgroundScope::~BackgroundScope() { t_background = false; }
bool FetchLanes::OnBackground() { return t_background; }

FetchLanes::ForegroundScope::ForegroundScope() : counted_(!t_background) {
  if (counted_) Lanes().foreground_.fetch_add(1);
}
FetchLanes::ForegroundScope::~ForegroundScope() {
  if (counted_) Lanes().foreground_.fetch_sub(1);
}

void FetchLanes::WaitTurn() {
  if (!t_background) return;
  bool paused = false;
  while (!stopped_.load() && !Shown() && foreground_.load() > 0) {
    if (!paused) LogLine("fetch ahead: paused while a step downloads");
    paused = true;
    GetPlatform().http->Pause(TURN_POLL_MS);
  }
  if (stopped_.load()) throw FetchStopped();
  if (paused) LogLine("fetch ahead: resumed");
}

TransferProgress& FetchLanes::Progress() {
  return t_background && !Shown() ? hidden_ : CurrentTransfer();
}

}  // namespace kelvara
