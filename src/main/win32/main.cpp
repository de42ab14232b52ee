#include <windows.h>
#include <objbase.h>

#include "app/exit_codes.h"
#include "app/layout.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/win32/library_search.h"
#include "app/win32/text.h"
#include "flow/layout_source.h"
#include "flow/texts.h"
#include "main/win32/command_line.h"
#include "main/win32/log_file.h"
#include "main/win32/platform_win32.h"
#include "main/win32/single_instance.h"
#include "ui/win32/progress_dlg.h"
#include "ui/win32/welcome_dlg.h"

namespace {
class CSetupApp {
 public:
  BOOL InitInstance(const kelvara::CommandLine& line) {
    kelvara::InitCommonControlsLate();
    kelvara::g_bPrivateMode = line.privateMode ? 1 : 0;
    kelvara::g_uiMode = line.mode;
    kelvara::OpenSupportLog(line.logPath);
    const std::string program = ProgramPath();
    if (line.layoutDir.empty()) {
      FindLayout(line.sourceDir, program);
    } else {
      // Making a layout asks nothing of a person: it ends with an exit code.
      kelvara::g_strLayoutTarget = kelvara::LayoutFolder(line.layoutDir, program);
      kelvara::g_strProgramPath = program;
      if (!kelvara::IsUnattended()) kelvara::g_uiMode = kelvara::UiMode::Passive;
      kelvara::LogLine("layout " + kelvara::g_strLayoutTarget + ": every file fetched into it");
    }
    m_nExitCode = Run(line);
    return FALSE;
  }
  int m_nExitCode = 0;

 private:
  static std::string ProgramPath() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? kelvara::Narrow(path) : std::string();
  }
  static void FindLayout(const std::string& source, const std::string& program) {
    using namespace kelvara;
    const std::string folder = LayoutFolder(source, program);
    if (!folder.empty() && !UseLayout(folder) && !source.empty())
      LogLine("layout " + folder + ": no " + LAYOUT_MANIFEST_NAME +
              "; every file comes from its server");
  }

  static int Run(const kelvara::CommandLine& line) {
    using namespace kelvara;
    if (IsUnattended() && !line.badArgument.empty()) {
      LogLine("bad command line: \"" + line.badArgument + "\" is not understood: exit(87)");
      return EXIT_BAD_COMMAND_LINE;
    }
    if (line.help) {
      MessageBoxW(nullptr, Widen(TEXT_HELP).c_str(), AppNameW().c_str(), MB_OK);
      return EXIT_DONE;
    }
    if (!IsUnattended()) {
      CWelcomeDlg welcome;
      welcome.DoModal();
      LogLine("end: the dialogs are closed");
      return EXIT_DONE;
    }
    // No welcome: the run goes on as if Start had been pressed. Only Esc or
    // the close box end the dialog here; the flow's own ends call exit().
    LogLine(g_uiMode == UiMode::Quiet ? "unattended: quiet" : "unattended: passive");
    CProgressDlg progress;
    const bool shown = progress.DoModal() != -1;
    const int code = ExitCodeFor(g_uiMode, shown ? ENDING_CANCELLED : ENDING_FAILED, false);
    LogLine("end: the progress dialog is closed: exit(" + std::to_string(code) + ")");
    return code;
  }
};

CSetupApp theApp;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  kelvara::RestrictLibrarySearch();
  const kelvara::CommandLine line = kelvara::ReadCommandLine(GetCommandLineW());
  // A second copy would write the same files in %TEMP%: it touches nothing,
  // and shows a person the first one or tells a deployment tool 1618.
  switch (kelvara::DecideSecondCopy(line.mode, kelvara::AnotherCopyRuns())) {
    case kelvara::SecondCopy::BringToFront:
      kelvara::BringRunningCopyForward();
      return 0;
    case kelvara::SecondCopy::ExitAlreadyRunning:
      return kelvara::EXIT_ALREADY_RUNNING;
    case kelvara::SecondCopy::Proceed:
      break;
  }
  // The taskbar button's progress is a COM object.
  const HRESULT com = CoInitialize(nullptr);
  kelvara::InstallWin32Platform();
  theApp.InitInstance(line);
  if (SUCCEEDED(com)) CoUninitialize();
  return theApp.m_nExitCode;
}
