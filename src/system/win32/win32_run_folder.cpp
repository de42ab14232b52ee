#include "system/win32/win32_run_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>

#include "app/log.h"
#include "app/win32/text.h"
#include "system/run_folder.h"

namespace kelvara {

bool SystemRandom(unsigned char* bytes, unsigned long count) {
  // RtlGenRandom: exported by name only as SystemFunction036, since XP.
  using GenRandom = BOOLEAN(APIENTRY*)(PVOID, ULONG);
  HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
  auto gen = reinterpret_cast<GenRandom>(
      reinterpret_cast<void*>(advapi ? GetProcAddress(advapi, "SystemFunction036") : nullptr));
  return gen != nullptr && gen(bytes, count) != FALSE;
}

void* NewRunFolderDescriptor() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Widen(RUN_FOLDER_SDDL).c_str(),
                                                            SDDL_REVISION_1, &descriptor, nullptr))
    return nullptr;
  return descriptor;
}

namespace {
HANDLE OpenFolderNoLink(const std::wstring& path, DWORD access, DWORD share) {
  return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool IsReparsePoint(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  return !GetFileInformationByHandle(handle, &info) ||
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool VolumeKeepsPermissions(const std::string& path) {
  DWORD flags = 0;
  const std::wstring root = Widen(path.substr(0, 3));
  return GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
         (flags & FILE_PERSISTENT_ACLS) != 0;
}
}  // namespace

bool CreateRunFolder(const std::string& parent, RandomDraw draw, MadeFolder* made) {
  PSECURITY_DESCRIPTOR descriptor = NewRunFolderDescriptor();
  if (descriptor == nullptr) return false;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  bool done = false;
  for (int attempt = 0; attempt < 8 && !done; ++attempt) {
    unsigned char bytes[NAME_RANDOM_BYTES];
    if (!draw(bytes, sizeof bytes)) break;
    const std::string path = parent + RunFolderName(bytes, sizeof bytes);
    const std::wstring wide = Widen(path);
    // Only a folder this call made is ever used: an existing one, whoever
    // made it, means another name.
    if (!CreateDirectoryW(wide.c_str(), &attributes)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      break;
    }
    HANDLE handle = OpenFolderNoLink(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (handle == INVALID_HANDLE_VALUE) break;
    if (IsReparsePoint(handle)) {
      CloseHandle(handle);
      break;
    }
    made->path = path + "\\";
    made->handle = handle;
    made->keepsPermissions = VolumeKeepsPermissions(path);
    done = true;
  }
  LocalFree(descriptor);
  return done;
}

namespace {
// Deep enough for any installer's unpacked tree; a deeper one stays.
constexpr int MAX_NESTING = 32;

// Entry by entry, by its own name: a link, file or folder, goes as itself and
// is never entered, so nothing outside the folder is touched.
void EmptyFolder(const std::wstring& folder, int depth) {
  WIN32_FIND_DATAW entry{};
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = entry.cFileName, path = folder + name;
    if (name == L"." || name == L"..") continue;
    const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      // Only a plain file's own attributes: on a link they would be its target's.
      if (!link) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path.c_str());
      continue;
    }
    if (!link && depth < MAX_NESTING) EmptyFolder(path + L"\\", depth + 1);
    RemoveDirectoryW(path.c_str());
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}
}  // namespace

void RemoveRunFolder(const std::string& folder, void* handle) {
  if (handle != nullptr) CloseHandle(handle);
  const std::wstring wide = Widen(folder);
  EmptyFolder(wide, 0);
  RemoveDirectoryW(wide.c_str());
}

namespace {
FolderOwner OwnerOf(HANDLE handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  FolderOwner kind = FolderOwner::Other;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) == ERROR_SUCCESS) {
    if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) kind = FolderOwner::Administrators;
    if (IsWellKnownSid(owner, WinLocalSystemSid)) kind = FolderOwner::System;
    LocalFree(descriptor);
  }
  return kind;
}
}  // namespace

void* OpenLeftoverRunFolder(const std::string& path) {
  // Asking for delete access without sharing it fails on a folder a live run
  // holds (it shares no delete): that one is skipped, whatever its state.
  HANDLE handle = OpenFolderNoLink(Widen(path), READ_CONTROL | FILE_READ_ATTRIBUTES | DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

void RemoveLeftoverRunFolders(const std::string& parent) {
  const std::wstring wide = Widen(parent);
  WIN32_FIND_DATAW entry{};
  HANDLE find = FindFirstFileW((wide + Widen(RUN_FOLDER_PREFIX) + L"*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    const std::wstring path = wide + entry.cFileName;
    HANDLE handle = OpenLeftoverRunFolder(Narrow(path));
    if (handle == nullptr) continue;
    const bool leftover =
        IsLeftoverRunFolder(Narrow(entry.cFileName), OwnerOf(handle), IsReparsePoint(handle));
    CloseHandle(handle);
    if (leftover) RemoveRunFolder(Narrow(path) + "\\", nullptr);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

namespace {
// Never destroyed: a worker may still ask for the name while exit() runs.
MadeFolder& g_made = *new MadeFolder;
bool g_tried = false;

void RemoveAtExit() { RemoveRunFolder(g_made.path, g_made.handle); }
}  // namespace

std::string ProcessRunFolder() {
  if (g_tried) return g_made.path;
  g_tried = true;
  wchar_t windows[MAX_PATH + 1] = {};
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return std::string();
  std::string parent = Narrow(windows);
  if (parent.back() != '\\') parent += '\\';
  parent += "Temp\\";
  RemoveLeftoverRunFolders(parent);
  if (!CreateRunFolder(parent, SystemRandom, &g_made)) {
    LogLine("no run folder could be made in " + parent + ", error " +
            std::to_string(GetLastError()));
    return std::string();
  }
  std::atexit(RemoveAtExit);
  LogLine("run folder " + g_made.path +
          (g_made.keepsPermissions
               ? ": only administrators may write it"
               : ": its volume keeps no permissions; the name is new and random"));
  return g_made.path;
}

}  // namespace kelvara
