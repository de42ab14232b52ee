#include <windows.h>
#include <commctrl.h>

#include "app/settings.h"
#include "app/win32/command_line.h"
#include "app/win32/platform_win32.h"
#include "ui/win32/welcome_dlg.h"

namespace {
class CSetupApp {
 public:
  BOOL InitInstance() {
    InitCommonControls();
    g_bPrivateMode = IsPrivateModeRequested(GetCommandLineW()) ? 1 : 0;
    CWelcomeDlg welcome;
    welcome.DoModal();
    return FALSE;
  }
};

CSetupApp theApp;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  InstallWin32Platform();
  theApp.InitInstance();
  return 0;
}
