#pragma once
// The job runner: one short-lived worker per download or program run.

#include <memory>
#include <string>

#include "app/platform.h"

namespace kelvara {

// What the window thread hands to a job and what the job leaves behind.
// Shared without a lock: the message queue orders every access.
struct JobBlock {
  int nJobCode = 0;
  int nJobResult = 0;
  std::string strWorkDir;
  std::string strFilePath;
  // The checked client installer, held until it has been started.
  std::unique_ptr<HeldFile> heldFile;
};

// Runs the job named by nJobCode, writes its result and posts its reply
// pair. A code outside the job table does nothing. Returns 0.
unsigned JobThreadProc(void* param);

// Stores the code and starts the worker. When no thread can be started the
// job's failure value is written and its reply posted, so the stage shows
// its own failure instead of waiting for ever.
void StartJob(JobBlock& job, int code);

void PostStep(int stage, int step);

}  // namespace kelvara
