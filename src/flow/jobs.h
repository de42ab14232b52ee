#pragma once
#include "flow/job_block.h"

// Runs the job named by nJobCode, writes its result and posts its reply
// pair. A code outside the job table does nothing. Returns 0.
unsigned JobThreadProc(void* param);

// Used when no thread could be started: the job's failure value is written
// and its reply posted, so the flow shows the stage's own failure.
void FailJob(JobBlock& job);

bool IsJobCode(int code);
