#include "flow/jobs.h"

#include <utility>

#include "app/platform.h"
#include "app/settings.h"
#include "fetch/downloaders.h"
#include "flow/codes.h"
#include "flow/fetch_ahead.h"
#include "flow/layout_maker.h"
#include "flow/layout_source.h"
#include "system/launcher.h"
#include "system/run_check.h"

namespace kelvara {
namespace {
enum class Input { WorkDir, FilePath, ProbePath };

// A download job stores its path in strFilePath, and a held one also its
// file in heldFile; every other job stores its verdict in nJobResult: 1 or 0,
// or the client's Ending.
struct JobEntry {
  int code;
  Input input;
  std::string (*download)(std::string);
  int (*test)(std::string);
  std::string (*downloadHeld)(std::string, std::unique_ptr<HeldFile>*) = nullptr;
};

template <bool (*test)(std::string)>
int Verdict(std::string input) {
  return test(std::move(input)) ? 1 : 0;
}

template <const ServedFile& file>
std::string Download(std::string workDir) {
  return ServedFileForStep(workDir, file);
}

// The client installer, refused like a failed download when it may not run (its pin or its
// signer), so a tampered file is never opened: its checked copy in the run folder, held in *held
// until it has been started.
std::string DownloadClientSetup(std::string workDir, std::unique_ptr<HeldFile>* held) {
  const std::string path = FetchForStep(AheadFile::ClientSetup, workDir);
  std::string copy;
  if (!path.empty()) *held = HoldRunCopy(path, &copy);
  if (*held && MayRunHeldFile(copy, **held)) return copy;
  held->reset();
  return std::string();
}

std::string DownloadDotNet4(std::string workDir) {
  return FetchForStep(AheadFile::DotNet4Package, workDir);
}

template <const LaunchRule& rule>
int Run(std::string path) {
  return RunDownloadedProgram(path, rule) ? 1 : 0;
}

constexpr JobEntry JOB_TABLE[] = {
    {JOB_CHECK_SERVER, Input::WorkDir, nullptr, Verdict<IsServerReachableForStep>},
    {JOB_MAKE_LAYOUT, Input::WorkDir, nullptr, MakeLayout},
    {STAGE_CLIENT + STEP_FETCH_PACKAGE, Input::WorkDir, nullptr, nullptr, DownloadClientSetup},
    {STAGE_CLIENT + STEP_RUN_PACKAGE, Input::FilePath, nullptr, RunClientSetup},
    {STAGE_DOTNET4 + STEP_FETCH_PACKAGE, Input::WorkDir, DownloadDotNet4, nullptr},
    {STAGE_DOTNET4 + STEP_RUN_PACKAGE, Input::FilePath, nullptr, Run<DOTNET4_PACKAGE_RULE>},
    {STAGE_WIC + STEP_FETCH_PROBE, Input::WorkDir, Download<IMAGING_PROBE>, nullptr},
    {STAGE_WIC + STEP_RUN_PROBE, Input::FilePath, nullptr, Run<PROBE_RULE>},
    {STAGE_WIC + STEP_FETCH_PACKAGE, Input::WorkDir, Download<WIC_PACKAGE>, nullptr},
    {STAGE_WIC + STEP_RUN_PACKAGE, Input::FilePath, nullptr, Run<PACKAGE_RULE>},
    {STAGE_WIC + STEP_PACKAGE_DONE, Input::ProbePath, nullptr, Run<PROBE_RULE>},
    {STAGE_MSI + STEP_FETCH_PROBE, Input::WorkDir, Download<INSTALLER_PROBE>, nullptr},
    {STAGE_MSI + STEP_RUN_PROBE, Input::FilePath, nullptr, Run<PROBE_RULE>},
    {STAGE_MSI + STEP_FETCH_PACKAGE, Input::WorkDir, Download<MSI_PACKAGE>, nullptr},
    {STAGE_MSI + STEP_RUN_PACKAGE, Input::FilePath, nullptr, Run<PACKAGE_RULE>},
    {STAGE_MSI + STEP_PACKAGE_DONE, Input::ProbePath, nullptr, Run<PROBE_RULE>},
    {STAGE_WIZARD + STEP_FETCH_PACKAGE, Input::WorkDir, SetupWizardForStep, nullptr},
    {STAGE_WIZARD + STEP_RUN_PACKAGE, Input::FilePath, nullptr, Run<SETUP_WIZARD_RULE>},
};

const JobEntry* FindJob(int code) {
  for (const JobEntry& entry : JOB_TABLE)
    if (entry.code == code) return &entry;
  return nullptr;
}

void PostReply(int code) { PostStep(JobStage(code), JobReplyStep(code)); }
}  // namespace

void PostStep(int stage, int step) { GetPlatform().jobs->PostStep(stage, step); }

unsigned JobThreadProc(void* param) {
  JobBlock& job = *static_cast<JobBlock*>(param);
  const JobEntry* entry = FindJob(job.nJobCode);
  if (entry == nullptr) return 0;
  // Copies: nothing in the block is referenced while the job works.
  const std::string input = entry->input == Input::WorkDir    ? job.strWorkDir
                            : entry->input == Input::FilePath ? job.strFilePath
                                                              : g_strProbePath;
  if (entry->download != nullptr)
    job.strFilePath = entry->download(input);
  else if (entry->downloadHeld != nullptr)
    job.strFilePath = entry->downloadHeld(input, &job.heldFile);
  else
    job.nJobResult = entry->test(input);
  PostReply(entry->code);
  return 0;
}

void StartJob(JobBlock& job, int code) {
  job.nJobCode = code;
  if (GetPlatform().jobs->StartThread(JobThreadProc, &job)) return;
  const JobEntry* entry = FindJob(code);
  if (entry == nullptr) return;
  if (entry->test == nullptr)
    job.strFilePath.clear();
  else
    job.nJobResult = 0;
  PostReply(code);
}

}  // namespace kelvara
