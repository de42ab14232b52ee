#pragma once
#include <windows.h>

#include "app/platform.h"

namespace kelvara {

// The flow's private window message: wParam the stage, lParam the step.
inline constexpr UINT WM_INSTALL_STEP = WM_USER + 1;

// The progress window: target of every step pair. Not cleared when the
// window goes; a pair posted after that is lost.
extern HWND g_hwndProgress;

// Workers as Win32 threads; replies as WM_INSTALL_STEP to g_hwndProgress.
class WindowJobRunner final : public JobRunner {
 public:
  void PostStep(int stage, int step) override;
  bool StartThread(unsigned (*work)(void*), void* param) override;
};

}  // namespace kelvara
