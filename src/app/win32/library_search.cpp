#include "app/win32/library_search.h"

#include <string>

namespace kelvara {
namespace {
constexpr DWORD SEARCH_SYSTEM32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
bool g_systemOnly = false;

// Loaded later by name from system code: the themes (common controls 6) and
// the CryptoAPI provider of SHA-256. A library already loaded is found by its
// name and not searched for again.
const wchar_t* const LATE_LIBRARIES[] = {L"uxtheme.dll", L"rsaenh.dll"};
}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  // Without the system folder as the only place, the altered search starts
  // the imports' search in the library's own folder instead of the program's.
  return LoadLibraryExW(path.c_str(), nullptr,
                        g_systemOnly ? SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Looked up, because Windows XP, Vista and 7 without KB2533623 lack the call.
void RestrictLibrarySearch() {
  using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
  auto setDefault = reinterpret_cast<SetDefaultDirs>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  g_systemOnly = setDefault != nullptr && setDefault(SEARCH_SYSTEM32);
  if (g_systemOnly) return;
  // This drops only the current directory: a library loaded by name is still
  // looked for beside the program first, unless one of that name is loaded.
  SetDllDirectoryW(L"");
  for (const wchar_t* name : LATE_LIBRARIES) LoadSystemLibrary(name);
}

// Not a static import: the library's start-up loads the themes library by
// name, which would happen before the search is restricted. Loaded by name,
// so that the manifest's side-by-side assembly answers for it.
void InitCommonControlsLate() {
  HMODULE controls = LoadLibraryW(L"comctl32.dll");
  auto init = controls == nullptr ? nullptr
                                  : reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(
                                        GetProcAddress(controls, "InitCommonControls")));
  if (init != nullptr) init();
}

}  // namespace kelvara
