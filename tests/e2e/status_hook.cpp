// Put by the driver on the wizard's window thread: every WM_SETTEXT to the status line (control
// 1000 of a dialog) is written down where it happens, however fast the next one follows, to the
// file KELVARA_E2E_STATUS_LOG names (the wizard inherits it from the driver).
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK StatusHookProc(int code, WPARAM w, LPARAM l) {
  const auto* m = reinterpret_cast<const CWPSTRUCT*>(l);
  if (code == HC_ACTION && m->message == WM_SETTEXT && GetDlgCtrlID(m->hwnd) == 1000) {
    wchar_t path[MAX_PATH] = {};
    char text[4096];
    const int n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(m->lParam), -1,
                                      text, sizeof text - 1, nullptr, nullptr);
    text[n > 0 ? n - 1 : 0] = '\n';
    GetEnvironmentVariableW(L"KELVARA_E2E_STATUS_LOG", path, MAX_PATH);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text, n > 0 ? n : 1, &written, nullptr), CloseHandle(file);
  }
  return CallNextHookEx(nullptr, code, w, l);
}
