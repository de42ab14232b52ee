#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/log.h"
#include "app/settings.h"
#include "app/win32/command_line.h"
#include "app/win32/log_file.h"
#include "app/win32/platform_win32.h"
#include "app/win32/single_instance.h"
#include "ui/win32/welcome_dlg.h"

namespace {
// The wizard is usually started from a download folder, where anything may
// lie beside it: no library is ever taken from there or from the current
// directory. Looked up, because Windows XP and Vista lack the first call.
void RestrictLibrarySearch() {
  using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
  auto setDefault = reinterpret_cast<SetDefaultDirs>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  constexpr DWORD SEARCH_SYSTEM32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (setDefault == nullptr || !setDefault(SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

class CSetupApp {
 public:
  BOOL InitInstance() {
    InitCommonControls();
    kelvara::g_bPrivateMode = kelvara::IsPrivateModeRequested(GetCommandLineW()) ? 1 : 0;
    kelvara::OpenSupportLog();
    kelvara::CWelcomeDlg welcome;
    welcome.DoModal();
    kelvara::LogLine("end: the dialogs are closed");
    return FALSE;
  }
};

CSetupApp theApp;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RestrictLibrarySearch();
  // A second copy would write the same files in %TEMP%: it only shows the first.
  if (kelvara::AnotherCopyRuns()) {
    kelvara::BringRunningCopyForward();
    return 0;
  }
  // The taskbar button's progress is a COM object.
  CoInitialize(nullptr);
  kelvara::InstallWin32Platform();
  theApp.InitInstance();
  return 0;
}
