#include "main/win32/single_instance.h"

#include <windows.h>

namespace kelvara {

bool AnotherCopyRuns() {
  // Never closed: the name is held for the whole run. Machine-wide: a SYSTEM
  // deployment and a person's run in another session share %SystemRoot%\Temp.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Global\\KelvaraSetupWizard");
  const DWORD error = GetLastError();
  if (mutex != nullptr) return error == ERROR_ALREADY_EXISTS;
  // A copy started elevated holds a name this one may not open.
  return error == ERROR_ACCESS_DENIED;
}

namespace {
HWND g_shownWizard = nullptr;

BOOL CALLBACK FindShownWizard(HWND window, LPARAM) {
  wchar_t kind[16] = {}, caption[32] = {};
  GetClassNameW(window, kind, 16);
  GetWindowTextW(window, caption, 32);
  // The dialogs' own class and caption; an ended welcome dialog stays, hidden.
  if (!IsWindowVisible(window) || lstrcmpW(kind, L"#32770") != 0 ||
      lstrcmpW(caption, L"Kelvara自动安装向导") != 0)
    return TRUE;
  g_shownWizard = window;
  return FALSE;
}
}  // namespace

void BringRunningCopyForward() {
  EnumWindows(FindShownWizard, 0);
  HWND window = g_shownWizard;
  if (window == nullptr) return;
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
  SetForegroundWindow(GetLastActivePopup(window));
}

}  // namespace kelvara
