// One stand-in for every program the wizard downloads and starts. It takes its
// role from its own file name, because the wizard renames nothing and runs
// each download from %TEMP%; its behaviour comes from a fixed configuration
// file that the runner writes for each scenario.
//
//   C:\kelvara-e2e\standin.ini   [Role] keys: marker, regkey, install, exit, sleep
//   C:\kelvara-e2e\record.log    one line per event, UTF-8, tab separated
//
// Probes (ImagingProbe, InstallerProbe) exit with 100 when their component
// is present. Installers (wic_x86_chs, WindowsInstaller, NetFx40) record
// their command line, sleep, make their component present and exit with the
// configured code. SetupWizard and ClientSetup only record that they ran.

#include <windows.h>

#include <string>

#include "app/win32/text.h"

namespace {
const wchar_t* const CONFIG = L"C:\\kelvara-e2e\\standin.ini";
const wchar_t* const RECORD = L"C:\\kelvara-e2e\\record.log";


// Several stand-ins may append at once (an installer left running by a
// cancelled wizard); retry while another holds the file.
void Record(const std::wstring& line) {
  const std::string data = Narrow(line + L"\n");
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE file = CreateFileW(RECORD, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
      CloseHandle(file);
      return;
    }
    Sleep(10);
  }
}

std::wstring RoleName() {
  wchar_t path[MAX_PATH * 2] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring name = path;
  const auto slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const auto dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

std::wstring ConfigText(const std::wstring& role, const wchar_t* key) {
  wchar_t buffer[1024] = {};
  GetPrivateProfileStringW(role.c_str(), key, L"", buffer, 1024, CONFIG);
  return buffer;
}

int ConfigInt(const std::wstring& role, const wchar_t* key, int fallback) {
  return static_cast<int>(GetPrivateProfileIntW(role.c_str(), key, fallback, CONFIG));
}

// A .NET installation is judged by the wizard from the registry, the other
// components by their probes; so a component is either a marker file or an
// "Install"=1 value under a key of HKLM.
bool ComponentPresent(const std::wstring& role) {
  const std::wstring marker = ConfigText(role, L"marker");
  if (!marker.empty()) return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::wstring key = ConfigText(role, L"regkey");
  if (key.empty()) return false;
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  DWORD value = 0;
  DWORD size = sizeof(value);
  const bool set = RegQueryValueExW(handle, L"Install", nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                   value == 1;
  RegCloseKey(handle);
  return set;
}

void MakeComponentPresent(const std::wstring& role) {
  const std::wstring marker = ConfigText(role, L"marker");
  if (!marker.empty()) {
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  const std::wstring key = ConfigText(role, L"regkey");
  if (!key.empty()) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) == ERROR_SUCCESS) {
      const DWORD one = 1;
      RegSetValueExW(handle, L"Install", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                     sizeof(one));
      RegCloseKey(handle);
    }
  }
}

bool IsProbe(const std::wstring& role) {
  return lstrcmpiW(role.c_str(), L"ImagingProbe") == 0 ||
         lstrcmpiW(role.c_str(), L"InstallerProbe") == 0;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring role = RoleName();
  const std::wstring commandLine = GetCommandLineW();
  const int sleepMs = ConfigInt(role, L"sleep", 0);
  if (IsProbe(role)) {
    if (sleepMs > 0) Sleep(static_cast<DWORD>(sleepMs));
    const int code = ComponentPresent(role) ? 100 : 0;
    Record(role + L"\tprobe\t" + commandLine + L"\t" + std::to_wstring(code));
    return code;
  }
  Record(role + L"\tstart\t" + commandLine);
  if (sleepMs > 0) Sleep(static_cast<DWORD>(sleepMs));
  if (ConfigInt(role, L"install", 1) != 0) MakeComponentPresent(role);
  const int code = ConfigInt(role, L"exit", 0);
  Record(role + L"\tend\t" + std::to_wstring(code));
  return code;
}
