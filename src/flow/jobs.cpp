#include "flow/jobs.h"

#include <string>

#include "fetch/downloaders.h"
#include "fetch/mirror_list.h"
#include "flow/steps.h"
#include "system/launcher.h"

namespace {
using Download = std::string (*)(std::string);
using Run = bool (*)(std::string);

struct JobEntry {
  int code;
  Download download;  // set for download jobs
  Run run;            // set for run jobs
};

constexpr JobEntry JOB_TABLE[] = {
    {STAGE_CLIENT + STEP_FETCH_PACKAGE, DownloadClientSetup, nullptr},
    {STAGE_DOTNET4 + STEP_FETCH_PACKAGE, DownloadDotNet4Package, nullptr},
    {STAGE_DOTNET4 + STEP_RUN_PACKAGE, nullptr, RunDotNet4Package},
    {STAGE_WIC + STEP_FETCH_PROBE, DownloadImagingProbe, nullptr},
    {STAGE_WIC + STEP_RUN_PROBE, nullptr, RunImagingProbe},
    {STAGE_WIC + STEP_FETCH_PACKAGE, DownloadWicPackage, nullptr},
    {STAGE_WIC + STEP_RUN_PACKAGE, nullptr, RunWicPackage},
    {STAGE_MSI + STEP_FETCH_PROBE, DownloadInstallerProbe, nullptr},
    {STAGE_MSI + STEP_RUN_PROBE, nullptr, RunInstallerProbe},
    {STAGE_MSI + STEP_FETCH_PACKAGE, DownloadMsiPackage, nullptr},
    {STAGE_MSI + STEP_RUN_PACKAGE, nullptr, RunMsiPackage},
    {STAGE_WIZARD + STEP_FETCH_PACKAGE, DownloadSetupWizard, nullptr},
    {STAGE_WIZARD + STEP_RUN_PACKAGE, nullptr, RunSetupWizard},
};

const JobEntry* FindJob(int code) {
  for (const JobEntry& entry : JOB_TABLE)
    if (entry.code == code) return &entry;
  return nullptr;
}

void PostReply(int code) { PostStep(code / 10000 * 10000, code % 10000 + 1); }
}  // namespace

bool IsJobCode(int code) { return FindJob(code) != nullptr; }

unsigned JobThreadProc(void* param) {
  JobBlock& job = *static_cast<JobBlock*>(param);
  const std::string workDir = job.strWorkDir;
  const JobEntry* entry = FindJob(job.nJobCode);
  if (entry == nullptr) return 0;
  if (entry->download != nullptr) {
    job.strFilePath = entry->download(workDir);
  } else {
    const std::string program = job.strFilePath;
    job.nJobResult = entry->run(program) ? 1 : 0;
  }
  PostReply(entry->code);
  return 0;
}

void FailJob(JobBlock& job) {
  const JobEntry* entry = FindJob(job.nJobCode);
  if (entry == nullptr) return;
  if (entry->download != nullptr)
    job.strFilePath.clear();
  else
    job.nJobResult = 0;
  PostReply(entry->code);
}
