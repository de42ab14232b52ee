// One stand-in for every program the wizard starts: its role is its file name, its behaviour a
// section of C:\kelvara-e2e\standin.ini (present = a marker file or an HKLM key with "Install"=1;
// install, sleep, exit; move=1: try to move its own file and the "unrar.dll" beside it, as any
// process of the user could). It asks for "kvplant.dll" by name, as a self-extractor asks for its
// libraries. It records "begin", then "Role<TAB>command line<TAB>exit code<TAB>current folder";
// what the moves did and a planted library loaded, as facts.
#include <windows.h>
#include <shlwapi.h>

#include <string>

namespace {
const wchar_t* const CONFIG = L"C:\\kelvara-e2e\\standin.ini";

void Record(const std::wstring& line, const wchar_t* to = L"C:\\kelvara-e2e\\record.log") {
  char utf8[4096];
  const int n = WideCharToMultiByte(CP_UTF8, 0, (line + L"\n").c_str(), -1, utf8, 4096, 0, 0);
  // Several stand-ins may append at once: retry while another holds the file.
  for (int attempt = 0; attempt < 200; ++attempt, Sleep(10)) {
    HANDLE file =
        CreateFileW(to, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE && WriteFile(file, utf8, n > 0 ? n - 1 : 0, &written, 0))
      return (void)CloseHandle(file);
  }
}

void TryMove(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  const bool moved = MoveFileW(path.c_str(), (path + L".moved").c_str()) != 0;
  if (moved) MoveFileW((path + L".moved").c_str(), path.c_str());
  Record(L"moved_" + path.substr(path.find_last_of(L'\\') + 1) + (moved ? L"=yes" : L"=refused"),
         L"C:\\kelvara-e2e\\facts.txt");
}

// A component is present when its marker file exists, or its key says "Install"=1.
bool Present(const std::wstring& where, bool make) {
  const bool key = where.rfind(L"HKLM\\", 0) == 0;
  if (!key && make)
    CloseHandle(CreateFileW(where.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0));
  if (!key) return GetFileAttributesW(where.c_str()) != INVALID_FILE_ATTRIBUTES;
  DWORD value = 1, size = sizeof(value);
  if (make) SHSetValueW(HKEY_LOCAL_MACHINE, where.c_str() + 5, L"Install", REG_DWORD, &value, size);
  return !SHGetValueW(HKEY_LOCAL_MACHINE, where.c_str() + 5, L"Install", nullptr, &value, &size) &&
         value == 1;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = {}, where[512] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring self = path, file = self.substr(self.find_last_of(L'\\') + 1),
                     role = file.substr(0, file.find_last_of(L'.'));
  auto setting = [&](const wchar_t* key, int fallback) {
    return static_cast<int>(GetPrivateProfileIntW(role.c_str(), key, fallback, CONFIG));
  };
  GetPrivateProfileStringW(role.c_str(), L"present", L"", where, 512, CONFIG);
  Record(L"begin");
  if (setting(L"move", 0) != 0)
    TryMove(self), TryMove(self.substr(0, self.find_last_of(L'\\') + 1) + L"unrar.dll");
  Sleep(setting(L"sleep", 0));
  const bool probe = role.find(L"Probe") != std::wstring::npos;
  if (!probe && where[0] && setting(L"install", 1) != 0) Present(where, true);
  const int code = probe ? (Present(where, false) ? 100 : 0) : setting(L"exit", 0);
  if (LoadLibraryW(L"kvplant.dll"))
    Record(L"loaded_kvplant=" + role, L"C:\\kelvara-e2e\\facts.txt");
  GetCurrentDirectoryW(MAX_PATH, where);
  Record(role + L"\t" + GetCommandLineW() + L"\t" + std::to_wstring(code) + L"\t" + where);
  return code;
}
