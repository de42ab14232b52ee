#include "system/win32/win32_system.h"

#include <windows.h>

#include <vector>

#include "app/win32/text.h"
#include "system/launcher.h"
#include "system/probes.h"

namespace kelvara {

static_assert(sizeof(OSVERSIONINFOEXA) == 156, "the extended version record is 156 bytes");

bool Win32SystemApi::GetWindowsVersion(std::uint32_t* major, std::uint32_t* minor) {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
  *major = info.dwMajorVersion;
  *minor = info.dwMinorVersion;
  return true;
}

// The key names and the value name are ASCII, so the narrow calls read the
// same keys on every code page, and the value's raw data arrives as stored.
bool Win32SystemApi::OpenKey(const std::string& subkey, RegKey* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, subkey.c_str(), &handle) != ERROR_SUCCESS) return false;
  *key = reinterpret_cast<RegKey>(handle);
  return true;
}

bool Win32SystemApi::OpenKeyFullAccess(const std::string& subkey, RegKey* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_ALL_ACCESS, &handle) !=
      ERROR_SUCCESS)
    return false;
  *key = reinterpret_cast<RegKey>(handle);
  return true;
}

bool Win32SystemApi::QueryValue(RegKey key, const std::string& name, unsigned char* data,
                                std::uint32_t* size) {
  DWORD type = 0;
  DWORD bytes = *size;
  const LONG result =
      RegQueryValueExA(reinterpret_cast<HKEY>(key), name.c_str(), nullptr, &type, data, &bytes);
  *size = bytes;
  return result == ERROR_SUCCESS;
}

void Win32SystemApi::CloseKey(RegKey key) { RegCloseKey(reinterpret_cast<HKEY>(key)); }

int Win32SystemApi::Run(const std::string& commandLine, const std::string& directory, bool wait,
                        unsigned long* error) {
  std::wstring wide = Widen(commandLine);
  std::vector<wchar_t> writable(wide.begin(), wide.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const std::wstring folder = Widen(directory);
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                      nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    *error = GetLastError();
    return LAUNCH_FAILED;
  }
  DWORD code = 0;
  const bool read = !wait || (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                              GetExitCodeProcess(process.hProcess, &code) != 0);
  // An unreadable exit code is reported as a failed start, never as success.
  if (!read) *error = GetLastError();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return read ? static_cast<int>(code) : LAUNCH_FAILED;
}

std::string Win32TempDirectory() {
  // The wide call, so that a profile path survives any code page.
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  return TempDirectoryFromPath(length, length > 0 && length <= MAX_PATH ? Narrow(buffer) : "");
}

}  // namespace kelvara
