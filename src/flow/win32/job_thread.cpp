#include "flow/win32/job_thread.h"

#include <windows.h>
#include <process.h>

#include "flow/jobs.h"
#include "flow/steps.h"
#include "ui/win32/globals.h"

namespace {
unsigned __stdcall ThreadStart(void* param) { return JobThreadProc(param); }
}  // namespace

bool StartJobThread(JobBlock& block) {
  const uintptr_t thread =
      _beginthreadex(nullptr, 0, ThreadStart, &block, CREATE_SUSPENDED, nullptr);
  if (thread == 0) return false;
  HANDLE handle = reinterpret_cast<HANDLE>(thread);
  if (ResumeThread(handle) == static_cast<DWORD>(-1)) {
    // It never ran; without this it would wait suspended for ever.
    TerminateThread(handle, 0);
    CloseHandle(handle);
    return false;
  }
  CloseHandle(handle);
  return true;
}

void WindowStepPoster::PostStep(int stage, int step) {
  PostMessageW(g_hwndProgress, WM_INSTALL_STEP, static_cast<WPARAM>(stage),
               static_cast<LPARAM>(step));
}
