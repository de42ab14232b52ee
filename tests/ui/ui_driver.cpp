#include "ui_driver.h"

#include <vector>

namespace ui {

Process::~Process() {
  if (process != nullptr) {
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 99);
    CloseHandle(process);
  }
}

bool Process::WaitForExit(DWORD ms) {
  if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(process, &exitCode);
  return true;
}

void Process::Kill() {
  TerminateProcess(process, 99);
  WaitForSingleObject(process, 5000);
}

bool Start(const std::wstring& exe, const std::wstring& args, Process* out) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nul;
  std::wstring line = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
  std::vector<wchar_t> buffer(line.begin(), line.end());
  buffer.push_back(0);
  PROCESS_INFORMATION pi{};
  const BOOL ok = CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &si, &pi);
  CloseHandle(nul);
  if (!ok) return false;
  CloseHandle(pi.hThread);
  out->process = pi.hProcess;
  out->pid = pi.dwProcessId;
  return true;
}

namespace {
struct Search {
  DWORD pid;
  std::wstring caption;
  int controlId;
  bool messageBox;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM param) {
  Search& s = *reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != s.pid || !IsWindowVisible(window)) return TRUE;
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (std::wstring(cls) != L"#32770") return TRUE;
  // The wizard's dialogs have static controls with id -1 (0xFFFF) too, so a
  // message box is told apart by its caption: the program's name.
  if (s.messageBox) {
    if (GetDlgItem(window, 0xFFFF) == nullptr || Text(window) == s.caption) return TRUE;
  } else {
    if (Text(window) != s.caption) return TRUE;
    if (s.controlId != 0 && GetDlgItem(window, s.controlId) == nullptr) return TRUE;
  }
  s.found = window;
  return FALSE;
}

HWND Poll(Search s, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    s.found = nullptr;
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
    if (s.found != nullptr || GetTickCount() - start > timeoutMs) return s.found;
    Sleep(5);
  }
}

BOOL CALLBACK VisitChild(HWND child, LPARAM param) {
  auto* s = reinterpret_cast<std::pair<std::wstring, HWND>*>(param);
  if (Text(child).rfind(s->first, 0) == 0) {
    s->second = child;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND FindDialog(DWORD pid, const std::wstring& caption, int controlId, DWORD timeoutMs) {
  return Poll(Search{pid, caption, controlId, false, nullptr}, timeoutMs);
}

HWND FindMessageBox(DWORD pid, const std::wstring& dialogCaption, DWORD timeoutMs) {
  return Poll(Search{pid, dialogCaption, 0, true, nullptr}, timeoutMs);
}

bool ReadText(HWND window, std::wstring* text, UINT timeoutMs) {
  wchar_t buffer[4096] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, timeoutMs, &copied))
    return false;
  *text = std::wstring(buffer, copied < 4095 ? copied : 4095);
  return true;
}

std::wstring Text(HWND window) {
  std::wstring text;
  ReadText(window, &text);
  return text;
}

std::wstring ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control == nullptr ? L"<no control>" : Text(control);
}

HWND FindChildByTextPrefix(HWND dialog, const std::wstring& prefix) {
  std::pair<std::wstring, HWND> s{prefix, nullptr};
  EnumChildWindows(dialog, VisitChild, reinterpret_cast<LPARAM>(&s));
  return s.second;
}

void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void PressKey(HWND dialog, UINT vk) {
  // The modal loop's IsDialogMessage acts on keys queued for the focused control.
  DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  HWND target = dialog;
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr) target = info.hwndFocus;
  PostMessageW(target, WM_KEYDOWN, vk, 1);
  PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

bool WaitForControlText(HWND dialog, int id, const std::wstring& expected, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (ControlText(dialog, id) != expected) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(5);
  }
  return true;
}

bool SaveScreenRect(RECT rect, const std::wstring& path) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<unsigned char> pixels(stride * static_cast<DWORD>(height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(header) + sizeof(info);
  header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, &header, sizeof(header), &written, nullptr);
  WriteFile(file, &info, sizeof(info), &written, nullptr);
  WriteFile(file, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  CloseHandle(file);
  return true;
}

bool SaveWindowBitmap(HWND window, const std::wstring& path) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return SaveScreenRect(rect, path);
}

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[2048] = {};
  const DWORD n = GetEnvironmentVariableW(name, buffer, 2048);
  return n > 0 && n < 2048 ? std::wstring(buffer, n) : std::wstring();
}

std::wstring FromUtf8(const char* text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
  return out;
}

}  // namespace ui
