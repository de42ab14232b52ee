#pragma once
#include "app/platform.h"
#include "flow/job_block.h"

// Creates the job thread suspended, then resumes it; keeps no reference.
bool StartJobThread(JobBlock& block);

// Posts each pair to the progress window as WM_INSTALL_STEP.
class WindowStepPoster final : public StepPoster {
 public:
  void PostStep(int stage, int step) override;
};
