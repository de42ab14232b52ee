// Helper for launcher_test. Writes what it received into the file named by
// KELVARA_HELPER_REPORT, one "key=value" line each (UTF-8), then exits with
// the code in its first argument, or else the one in KELVARA_HELPER_EXIT
// (the wrappers pass no arguments). Codes may be decimal or 0x-hex.
#include <windows.h>
// shellapi.h uses the types of windows.h.
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "app/win32/text.h"

namespace {
std::wstring Env(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD n = GetEnvironmentVariableW(name, value, 32768);
  return n == 0 || n >= 32768 ? std::wstring() : std::wstring(value, n);
}

bool ParseCode(const std::wstring& text, DWORD* code) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(text.c_str(), &end, 0);
  if (*end != L'\0') return false;
  *code = static_cast<DWORD>(value);
  return true;
}

void WriteReport(const std::wstring& path, int argc, wchar_t** argv) {
  std::string text = "line=" + Narrow(GetCommandLineW()) + "\n";
  text += "argc=" + std::to_string(argc) + "\n";
  for (int i = 0; i < argc; ++i) text += "arg" + std::to_string(i) + "=" + Narrow(argv[i]) + "\n";
  text += "env=" + Narrow(Env(L"KELVARA_HELPER_PROBE")) + "\n";
  wchar_t buffer[MAX_PATH * 4] = {};
  GetCurrentDirectoryW(MAX_PATH * 4, buffer);
  text += "cwd=" + Narrow(buffer) + "\n";
  GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
  text += "module=" + Narrow(buffer) + "\n";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
  CloseHandle(file);
}
}  // namespace

int wmain() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring report = Env(L"KELVARA_HELPER_REPORT");
  if (!report.empty() && argv != nullptr) WriteReport(report, argc, argv);
  DWORD code = 0;
  if (argv == nullptr || argc < 2 || !ParseCode(argv[1], &code))
    ParseCode(Env(L"KELVARA_HELPER_EXIT"), &code);
  ExitProcess(code);
}
