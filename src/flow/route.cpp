#include "flow/route.h"

#include "app/log.h"
#include "app/settings.h"
#include "flow/codes.h"
#include "flow/fetch_ahead.h"
#include "flow/texts.h"
#include "system/probes.h"

namespace kelvara {
namespace {
enum class Branch { New, Recent, Other };

Branch BranchOf(int versionClass) {
  if (versionClass == 62) return Branch::New;
  if (versionClass == 60 || versionClass == 61) return Branch::Recent;
  return Branch::Other;
}

Route ChooseRoute(FlowHost& host, Branch branch) {
  if (IsDotNet4Installed()) {
    StartClientStage();
    return Route::ClientOnly;
  }
  if (branch == Branch::New) {
    // New systems ship .NET 4.0 by default: repair it at once, no wizard.
    host.SetStatus(TEXT_DOTNET4_REPAIR, false);
    StartDotNet4Stage();
    return Route::DotNet4Repair;
  }
  if (IsDotNet2Installed()) {
    if (!IsUnattended()) {
      PostStep(STAGE_WIZARD, STEP_BEGIN);
      return Route::SetupWizard;
    }
    // The setup wizard needs a person: an unattended run takes the old installers.
    LogLine("unattended: the old-installer route instead of the setup wizard");
  }
  StartWicStage();
  return Route::OldInstallers;
}
}  // namespace

void OnTimer(JobBlock& job, FlowHost& host) {
  g_strFileBase = g_bPrivateMode != 0 ? g_strIntranetBase : g_strPublicFileBase;
  job.strWorkDir = host.GetTempDirectory();
  host.KillStartupTimer();
  host.DefaultTimerProcessing();
  if (!g_strLayoutTarget.empty()) return StartJob(job, JOB_MAKE_LAYOUT);
  host.SetStatus(TEXT_CHECKING, false);
  // A server that holds its answer must not freeze the window.
  StartJob(job, JOB_CHECK_SERVER);
}

void OnServerChecked(JobBlock& job, FlowHost& host) {
  if (job.nJobResult == 0) {
    host.SetStatus(TEXT_NETWORK_FAILED, true);
    if (IsUnattended()) EndFlow(host, ENDING_FAILED);
    return;
  }
  const Branch branch = BranchOf(GetOsVersionClass());
  // The guard the route requires: whatever a probe raises becomes the
  // branch's fallback route, which fetches nothing ahead (what it needs is unknown).
  Route route = Route::Guarded;
  try {
    route = ChooseRoute(host, branch);
  } catch (...) {
    if (branch == Branch::New) {
      host.SetStatus(TEXT_START_FAILED, true);
      StartClientStage();
    } else {
      host.SetStatus(TEXT_WIZARD_GUARD, true);
      if (branch == Branch::Recent)
        StartDotNet4Stage();
      else
        StartWicStage();
    }
  }
  StartFetchAhead(route, job.strWorkDir);
}

}  // namespace kelvara
