// A WH_CALLWNDPROC hook that the driver puts on the wizard's window thread.
// The wizard may replace its status line faster than any poller looks, so
// every WM_SETTEXT to the status control is written down where it happens,
// inside the wizard, before the control sees it. The log file is named by
// the environment variable KELVARA_E2E_STATUS_LOG, which the wizard inherits
// from the driver.

#include <windows.h>

#include <string>

namespace {
constexpr int STATUS_CONTROL_ID = 1000;

std::wstring LogPath() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD n = GetEnvironmentVariableW(L"KELVARA_E2E_STATUS_LOG", path, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(path, n) : std::wstring();
}

bool IsStatusControl(HWND hwnd) {
  if (GetDlgCtrlID(hwnd) != STATUS_CONTROL_ID) return false;
  wchar_t parentClass[16] = {};
  GetClassNameW(GetParent(hwnd), parentClass, 16);
  return lstrcmpW(parentClass, L"#32770") == 0;
}

void Append(const wchar_t* text) {
  static const std::wstring path = LogPath();
  if (path.empty()) return;
  LARGE_INTEGER now{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  const long long ms = now.QuadPart * 1000 / frequency.QuadPart;
  const std::wstring line = std::to_wstring(ms) + L"\t" + (text ? text : L"") + L"\n";
  const int wide = static_cast<int>(line.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, line.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), wide, utf8.data(), n, nullptr, nullptr);
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
}
}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    StatusHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (message->message == WM_SETTEXT && IsStatusControl(message->hwnd))
      Append(reinterpret_cast<const wchar_t*>(message->lParam));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
