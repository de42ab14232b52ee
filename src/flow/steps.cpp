#include "flow/steps.h"

#include "app/log.h"
#include "app/settings.h"
#include "flow/codes.h"
#include "flow/fetch_ahead.h"
#include "flow/route.h"
#include "flow/texts.h"
#include "system/launcher.h"
#include "system/probes.h"

namespace kelvara {

void StartDotNet4Stage() { PostStep(STAGE_DOTNET4, STEP_BEGIN); }
void StartWicStage() { PostStep(STAGE_WIC, STEP_BEGIN); }
void StartClientStage() { PostStep(STAGE_CLIENT, STEP_FETCH_PACKAGE); }

void EndFlow(FlowHost& host, Ending ending) {
  StopFetchAhead();
  host.Quit(ExitCodeFor(g_uiMode, ending, g_bRestartRequested));
}

namespace {
void Line(FlowHost& host, const char* text) { host.SetStatus(text, false); }

// Every fatal failure: its box, then the halt pair; the window waits for
// Cancel. Nobody waits in an unattended run: it ends at once.
void Halt(FlowHost& host, const char* text) {
  StopFetchAhead();
  host.SetStatus(text, true);
  if (IsUnattended())
    EndFlow(host, ENDING_FAILED);
  else
    PostStep(STAGE_CONTROL, CONTROL_HALT);
}

// A component still missing after its installer asked for a restart.
void HaltUnverified(FlowHost& host, const char* text) {
  if (g_bLastRunAskedRestart)
    LogLine("still missing after the installer asked for a restart: a restart is probably needed");
  Halt(host, text);
}

void ClientStage(JobBlock& job, FlowHost& host, int step) {
  if (step == STEP_FETCH_PACKAGE) {
    Line(host, TEXT_CLIENT_FETCH);
    StartJob(job, STAGE_CLIENT + STEP_FETCH_PACKAGE);
  } else if (step == STEP_PACKAGE_FETCHED) {
    // Unattended, the client is run and waited for when the build says how.
    if (!job.strFilePath.empty() && IsUnattended() && !g_strClientQuietArgs.empty()) {
      StartJob(job, STAGE_CLIENT + STEP_RUN_PACKAGE);
      return;
    }
    // An installer that cannot be started is a failure the user must see.
    const bool started = !job.strFilePath.empty() && StartClientSetup(job.strFilePath);
    job.heldFile.reset();  // it has started, or never will
    if (started)
      PostStep(STAGE_CONTROL, CONTROL_QUIT);
    else
      Halt(host, TEXT_CLIENT_FAILED);
  } else if (step == STEP_PACKAGE_DONE) {
    job.heldFile.reset();  // held through the run, as the other programs are
    if (job.nJobResult == ENDING_FAILED)
      Halt(host, TEXT_CLIENT_FAILED);
    else if (job.nJobResult == ENDING_CANCELLED)
      EndFlow(host, ENDING_CANCELLED);
    else
      PostStep(STAGE_CONTROL, CONTROL_QUIT);
  }
}

void DotNet4Stage(JobBlock& job, FlowHost& host, int step) {
  switch (step) {
    case STEP_BEGIN:
      if (IsDotNet4Installed())
        StartClientStage();
      else
        PostStep(STAGE_DOTNET4, STEP_FETCH_PACKAGE);
      break;
    case STEP_FETCH_PACKAGE:
      Line(host, TEXT_DOTNET4_FETCH);
      StartJob(job, STAGE_DOTNET4 + STEP_FETCH_PACKAGE);
      break;
    case STEP_PACKAGE_FETCHED:
      if (job.strFilePath.empty()) {
        Halt(host, TEXT_DOTNET4_FETCH_FAILED);
      } else {
        Line(host, TEXT_DOTNET4_RUN);
        StartJob(job, STAGE_DOTNET4 + STEP_RUN_PACKAGE);
      }
      break;
    case STEP_PACKAGE_DONE:
      if (job.nJobResult == 0)
        Halt(host, TEXT_DOTNET4_RUN_FAILED);
      else if (!IsDotNet4Installed())
        HaltUnverified(host, TEXT_DOTNET4_UNVERIFIED);
      else
        StartClientStage();
      break;
    default:
      break;
  }
}

void ComponentStage(JobBlock& job, FlowHost& host, int stage, int step) {
  const ComponentTexts& t = stage == STAGE_WIC ? WIC_TEXTS : MSI_TEXTS;
  const int next = stage == STAGE_WIC ? STAGE_MSI : STAGE_DOTNET4;
  switch (step) {
    case STEP_BEGIN:
      PostStep(stage, STEP_FETCH_PROBE);
      break;
    case STEP_FETCH_PROBE:
      Line(host, t.fetchProbe);
      StartJob(job, stage + STEP_FETCH_PROBE);
      break;
    case STEP_PROBE_FETCHED:
      if (job.strFilePath.empty())
        Halt(host, t.probeFetchFailed);
      else
        PostStep(stage, STEP_RUN_PROBE);
      break;
    case STEP_RUN_PROBE:
      // Saved for the re-run after the package, when strFilePath names the package.
      g_strProbePath = job.strFilePath;
      StartJob(job, stage + STEP_RUN_PROBE);
      break;
    case STEP_PROBE_DONE:
      PostStep(job.nJobResult == 0 ? stage : next,
               job.nJobResult == 0 ? STEP_FETCH_PACKAGE : STEP_BEGIN);
      break;
    case STEP_FETCH_PACKAGE:
      Line(host, t.fetchPackage);
      StartJob(job, stage + STEP_FETCH_PACKAGE);
      break;
    case STEP_PACKAGE_FETCHED:
      if (job.strFilePath.empty())
        Halt(host, t.packageFetchFailed);
      else
        PostStep(stage, STEP_RUN_PACKAGE);
      break;
    case STEP_RUN_PACKAGE:
      Line(host, t.runPackage);
      StartJob(job, stage + STEP_RUN_PACKAGE);
      break;
    case STEP_PACKAGE_DONE:
      // The probe runs again off the window thread: a slow one must not freeze it.
      if (job.nJobResult == 0)
        Halt(host, t.runFailed);
      else
        StartJob(job, stage + STEP_PACKAGE_DONE);
      break;
    case STEP_VERIFIED:
      if (job.nJobResult == 0)
        HaltUnverified(host, t.verifyFailed);
      else
        PostStep(next, STEP_BEGIN);
      break;
    default:
      break;
  }
}

// A wizard failure is no halt: the old-installer route takes over.
void WizardFallback(FlowHost& host, const char* text) {
  host.SetStatus(text, true);
  StartWicStage();
  PostStep(STAGE_CONTROL, CONTROL_HALT);
}

void WizardStage(JobBlock& job, FlowHost& host, int step) {
  switch (step) {
    case STEP_BEGIN:
      PostStep(STAGE_WIZARD, STEP_FETCH_PACKAGE);
      break;
    case STEP_FETCH_PACKAGE:
      Line(host, TEXT_WIZARD_FETCH);
      StartJob(job, STAGE_WIZARD + STEP_FETCH_PACKAGE);
      break;
    case STEP_PACKAGE_FETCHED:
      if (job.strFilePath.empty())
        WizardFallback(host, TEXT_WIZARD_FETCH_FAILED);
      else
        PostStep(STAGE_WIZARD, STEP_RUN_PACKAGE);
      break;
    case STEP_RUN_PACKAGE:
      Line(host, TEXT_WIZARD_RUN);
      StartJob(job, STAGE_WIZARD + STEP_RUN_PACKAGE);
      break;
    case STEP_PACKAGE_DONE:
      if (job.nJobResult != 0)
        PostStep(STAGE_CONTROL, CONTROL_QUIT);
      else
        WizardFallback(host, TEXT_WIZARD_RUN_FAILED);
      break;
    default:
      break;
  }
}
}  // namespace

long OnInstallStep(JobBlock& job, FlowHost& host, int stage, int step) {
  LogStep(stage, step);
  job.nJobCode = stage;
  switch (stage) {
    case STAGE_CONTROL:
      if (step == CONTROL_QUIT) EndFlow(host, ENDING_DONE);
      if (step == CONTROL_SERVER_CHECKED) OnServerChecked(job, host);
      if (step == CONTROL_LAYOUT_MADE) EndFlow(host, job.nJobResult ? ENDING_DONE : ENDING_FAILED);
      break;
    case STAGE_CLIENT:
      ClientStage(job, host, step);
      break;
    case STAGE_DOTNET4:
      DotNet4Stage(job, host, step);
      break;
    case STAGE_WIC:
    case STAGE_MSI:
      ComponentStage(job, host, stage, step);
      break;
    case STAGE_WIZARD:
      WizardStage(job, host, step);
      break;
    default:
      break;
  }
  return 1;
}

}  // namespace kelvara
