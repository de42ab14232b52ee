// One stand-in for every program the wizard downloads and starts: its role
// is its own file name, its behaviour a section of C:\kelvara-e2e\standin.ini
// (present = a marker file or an HKLM key with "Install"=1; install, sleep,
// exit). It records "begin" and then "Role<TAB>command line<TAB>exit code".
#include <windows.h>

#include <string>

namespace {
const wchar_t* const CONFIG = L"C:\\kelvara-e2e\\standin.ini";

void Record(const std::wstring& line) {
  char utf8[4096];
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, (line + L"\n").c_str(), -1, utf8, 4096, nullptr, nullptr);
  // Several stand-ins may append at once: retry while another holds the file.
  for (int attempt = 0; attempt < 200; ++attempt, Sleep(10)) {
    HANDLE file = CreateFileW(L"C:\\kelvara-e2e\\record.log", FILE_APPEND_DATA, FILE_SHARE_READ,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD written = 0;
    WriteFile(file, utf8, static_cast<DWORD>(n > 0 ? n - 1 : 0), &written, nullptr);
    CloseHandle(file);
    return;
  }
}

std::wstring Setting(const std::wstring& role, const wchar_t* key) {
  wchar_t value[512] = {};
  GetPrivateProfileStringW(role.c_str(), key, L"", value, 512, CONFIG);
  return value;
}

bool Present(const std::wstring& role) {
  const std::wstring where = Setting(role, L"present");
  if (where.rfind(L"HKLM\\", 0) != 0)
    return GetFileAttributesW(where.c_str()) != INVALID_FILE_ATTRIBUTES;
  HKEY key = nullptr;
  DWORD value = 0, size = sizeof(value);
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, where.c_str() + 5, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  const LONG read =
      RegQueryValueExW(key, L"Install", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return read == ERROR_SUCCESS && value == 1;
}

void Install(const std::wstring& role) {
  const std::wstring where = Setting(role, L"present");
  HKEY key = nullptr;
  const DWORD one = 1;
  if (where.rfind(L"HKLM\\", 0) != 0)
    CloseHandle(CreateFileW(where.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  else if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, where.c_str() + 5, 0, nullptr, 0, KEY_WRITE, nullptr,
                           &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"Install", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    RegCloseKey(key);
  }
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring role = path;
  role = role.substr(role.find_last_of(L'\\') + 1);
  role = role.substr(0, role.find_last_of(L'.'));
  Record(L"begin");
  Sleep(GetPrivateProfileIntW(role.c_str(), L"sleep", 0, CONFIG));
  const bool probe = role.find(L"Probe") != std::wstring::npos;
  int code = probe && Present(role) ? 100 : 0;
  if (!probe) {
    if (GetPrivateProfileIntW(role.c_str(), L"install", 1, CONFIG) != 0) Install(role);
    code = static_cast<int>(GetPrivateProfileIntW(role.c_str(), L"exit", 0, CONFIG));
  }
  Record(role + L"\t" + GetCommandLineW() + L"\t" + std::to_wstring(code));
  return code;
}
