#include <windows.h>
#include <objbase.h>

#include "app/log.h"
#include "app/settings.h"
#include "app/win32/command_line.h"
#include "app/win32/library_search.h"
#include "app/win32/log_file.h"
#include "app/win32/platform_win32.h"
#include "ui/win32/welcome_dlg.h"

namespace {
class CSetupApp {
 public:
  BOOL InitInstance() {
    kelvara::InitCommonControlsLate();
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
  kelvara::RestrictLibrarySearch();
  // The taskbar button's progress is a COM object.
  const HRESULT com = CoInitialize(nullptr);
  kelvara::InstallWin32Platform();
  theApp.InitInstance();
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
