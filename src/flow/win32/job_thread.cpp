#include "flow/win32/job_thread.h"

#include <process.h>

namespace kelvara {
namespace {
struct ThreadStart {
  unsigned (*work)(void*);
  void* param;
};

// The job's function has the C calling convention; the thread start wants __stdcall.
unsigned __stdcall RunThreadStart(void* start) {
  const ThreadStart copy = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  return copy.work(copy.param);
}
}  // namespace

HWND g_hwndProgress = nullptr;

void WindowJobRunner::PostStep(int stage, int step) {
  PostMessageW(g_hwndProgress, WM_INSTALL_STEP, static_cast<WPARAM>(stage),
               static_cast<LPARAM>(step));
}

bool WindowJobRunner::StartThread(unsigned (*work)(void*), void* param) {
  // The C runtime's thread start, so the worker may use the runtime safely.
  auto* start = new ThreadStart{work, param};
  const uintptr_t thread =
      _beginthreadex(nullptr, 0, RunThreadStart, start, CREATE_SUSPENDED, nullptr);
  if (thread == 0) {
    delete start;
    return false;
  }
  HANDLE handle = reinterpret_cast<HANDLE>(thread);
  if (ResumeThread(handle) == static_cast<DWORD>(-1)) {
    // It never ran; without this it would wait suspended for ever.
    TerminateThread(handle, 0);
    CloseHandle(handle);
    delete start;
    return false;
  }
  CloseHandle(handle);
  return true;
}

}  // namespace kelvara
