#pragma once
// A small UI-automation kit for driving the real wizard under Wine: start it,
// find its dialogs, read and click controls, save a picture of a window.

#include <windows.h>

#include <string>

namespace ui {

struct Process {
  HANDLE process = nullptr;
  DWORD pid = 0;
  DWORD exitCode = STILL_ACTIVE;
  ~Process();
  bool WaitForExit(DWORD ms);  // fills exitCode
  void Kill();
};

// Starts the program with its standard handles on NUL.
bool Start(const std::wstring& exe, const std::wstring& args, Process* out);

// A visible top-level dialog of the process with this caption that has a
// control of the given id (0: any).
HWND FindDialog(DWORD pid, const std::wstring& caption, int controlId, DWORD timeoutMs);
// A message box of the process: a #32770 with a 0xFFFF static whose caption
// is not the dialogs' caption.
HWND FindMessageBox(DWORD pid, const std::wstring& dialogCaption, DWORD timeoutMs);

// Cross-process reads go through SendMessageTimeout, so a wizard that stops
// answering shows up as a failed read instead of a hung driver.
bool ReadText(HWND window, std::wstring* text, UINT timeoutMs = 2000);
std::wstring Text(HWND window);  // "" when the window does not answer
std::wstring ControlText(HWND dialog, int id);
// The static control whose text starts with the prefix.
HWND FindChildByTextPrefix(HWND dialog, const std::wstring& prefix);

void Click(HWND dialog, int id);
// A key as the dialog's modal loop would receive it from the keyboard.
void PressKey(HWND dialog, UINT vk);

// Waits until the control's text equals the expected one.
bool WaitForControlText(HWND dialog, int id, const std::wstring& expected, DWORD timeoutMs);

// Copies a part of the screen, or a window as it shows there, into a 24-bit BMP.
bool SaveScreenRect(RECT rect, const std::wstring& path);
bool SaveWindowBitmap(HWND window, const std::wstring& path);

std::wstring Env(const wchar_t* name);
std::wstring FromUtf8(const char* text);

}  // namespace ui
