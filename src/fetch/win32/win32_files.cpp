#include "fetch/win32/win32_files.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "app/win32/text.h"

namespace kelvara {

namespace {
class Win32File final : public LocalFile {
 public:
  explicit Win32File(HANDLE file) : file_(file) {}
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;
  ~Win32File() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }

  void Write(const char* data, std::size_t size) override {
    while (size > 0) {
      DWORD done = 0;
      const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
      if (!WriteFile(file_, data, chunk, &done, nullptr) || done == 0)
        throw PlatformError("WriteFile failed");
      data += done;
      size -= done;
    }
  }

  void Close() override {
    HANDLE file = file_;
    file_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file)) throw PlatformError("CloseHandle failed");
  }

 private:
  HANDLE file_;
};

// Opened for reading and shared only for reading: another process may read and
// run it, but not write, move or delete it while this handle is open.
class Win32HeldFile final : public HeldFile {
 public:
  Win32HeldFile(HANDLE file, std::wstring path) : file_(file), path_(std::move(path)) {}
  Win32HeldFile(const Win32HeldFile&) = delete;
  Win32HeldFile& operator=(const Win32HeldFile&) = delete;
  // A copy in the run folder goes when released, so its name is free for the
  // next run of the same program; one still in use stays until the folder goes.
  ~Win32HeldFile() override {
    CloseHandle(file_);
    if (!removeOnRelease_.empty()) DeleteFileW(removeOnRelease_.c_str());
  }

  std::optional<std::uint64_t> Size() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
  }
  std::optional<std::string> Sha256Hex() override { return Sha256OfFile(file_); }
  std::optional<SignatureFacts> Signature() override { return SignatureOfFile(file_, path_); }
  HANDLE Handle() const { return file_; }
  void RemoveOnRelease(const std::wstring& path) { removeOnRelease_ = path; }

 private:
  HANDLE file_;
  std::wstring path_, removeOnRelease_;
};

// Opened without following a reparse point; refused when it is one or has
// more than one link. *info describes the file opened.
std::unique_ptr<Win32HeldFile> HoldNoLink(const std::wstring& path,
                                          BY_HANDLE_FILE_INFORMATION* info, unsigned long* error) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return nullptr;
  }
  auto held = std::make_unique<Win32HeldFile>(file, path);
  if (!GetFileInformationByHandle(file, info)) {
    *error = GetLastError();
    return nullptr;
  }
  if ((info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info->nNumberOfLinks > 1) {
    *error = (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? ERROR_CANT_ACCESS_FILE
                                                                          : ERROR_TOO_MANY_LINKS;
    return nullptr;
  }
  return held;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// Opened for writing without following a reparse point, and kept only when it
// is a plain file with one link: a download never writes through a name that
// another user planted as a link to some other file.
HANDLE OpenUnlinkedForWrite(const std::wstring& path, DWORD disposition) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  if (file != INVALID_HANDLE_VALUE &&
      (!GetFileInformationByHandle(file, &info) || info.nNumberOfLinks > 1 ||
       (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
    CloseHandle(file);
    SetLastError(ERROR_TOO_MANY_LINKS);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}
}  // namespace

std::unique_ptr<LocalFile> Win32FileSystem::CreateExclusive(const std::string& path,
                                                            unsigned long* error) {
  const std::wstring wide = Widen(path);
  // A linked name is moved aside (a rename changes no file's data) and the
  // download gets a file of its own.
  BY_HANDLE_FILE_INFORMATION info{};
  unsigned long held = 0;
  if (GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES &&
      !HoldNoLink(wide, &info, &held) &&
      (held == ERROR_TOO_MANY_LINKS || held == ERROR_CANT_ACCESS_FILE) &&
      !MoveFileExW(wide.c_str(), (wide + L".linked-" + std::to_wstring(GetTickCount())).c_str(),
                   0)) {
    *error = GetLastError();
    return nullptr;
  }
  // Normal attributes are refused over a read-only, hidden or system file: a
  // copy left so by anything would fail this step on every run.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  constexpr DWORD STALE = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
      (attributes & STALE) != 0)
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = OpenUnlinkedForWrite(wide, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
    file = OpenUnlinkedForWrite(wide, CREATE_NEW);
  if (file == INVALID_HANDLE_VALUE || !SetEndOfFile(file)) {
    *error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<Win32File>(file);
}

std::unique_ptr<LocalFile> Win32FileSystem::OpenExclusiveAtEnd(const std::string& path) {
  HANDLE file = OpenUnlinkedForWrite(Widen(path), OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  auto opened = std::make_unique<Win32File>(file);
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(file, zero, nullptr, FILE_END)) return nullptr;
  return opened;
}

std::unique_ptr<HeldFile> Win32FileSystem::OpenHeld(const std::string& path, unsigned long* error) {
  BY_HANDLE_FILE_INFORMATION info{};
  return HoldNoLink(Widen(path), &info, error);
}

std::string Win32FileSystem::RunFolder() { return runFolder_ ? runFolder_() : std::string(); }

namespace {
bool CopyContent(HANDLE source, HANDLE copy) {
  // On the heap: the worker thread's stack is the place for nothing large.
  std::vector<char> buffer(std::size_t{1} << 20);
  bool copied = SetFilePointer(source, 0, nullptr, FILE_BEGIN) == 0;
  for (DWORD got = 1; copied && got > 0;) {
    DWORD written = 0;
    copied = ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
             WriteFile(copy, buffer.data(), got, &written, nullptr) && written == got;
  }
  return copied;
}
}  // namespace

std::unique_ptr<HeldFile> Win32FileSystem::CopyHeld(HeldFile& from, const std::string& path,
                                                    unsigned long* error) {
  HANDLE source = static_cast<Win32HeldFile&>(from).Handle();
  const std::wstring wide = Widen(path);
  // CREATE_NEW: an existing name, or a link planted under it, is never written through.
  HANDLE copy = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (copy == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION made{};
  bool copied = CopyContent(source, copy) && GetFileInformationByHandle(copy, &made);
  if (!copied) *error = GetLastError();
  if (!CloseHandle(copy) && copied) copied = false, *error = GetLastError();
  // Reopened for reading only, so that it can run; it must still be the file made.
  BY_HANDLE_FILE_INFORMATION held{};
  std::unique_ptr<Win32HeldFile> file = copied ? HoldNoLink(wide, &held, error) : nullptr;
  if (file && !SameFile(made, held)) *error = ERROR_FILE_EXISTS, file.reset();
  // The name is the run's own: whatever stands there now goes, never what a link names.
  if (!file) DeleteFileW(wide.c_str());
  if (file) file->RemoveOnRelease(wide);
  return file;
}

bool Win32FileSystem::MakeFolder(const std::string& path, unsigned long* error) {
  const bool made = CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
  if (!made) *error = GetLastError();
  return made || *error == ERROR_ALREADY_EXISTS;
}

bool Win32FileSystem::Publish(const std::string& path, HeldFile* from, const std::string& text,
                              unsigned long* error) {
  const std::wstring wide = Widen(path), partial = wide + L".partial";
  DeleteFileW(partial.c_str());
  HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  bool done = file != INVALID_HANDLE_VALUE &&
              (from != nullptr ? CopyContent(static_cast<Win32HeldFile*>(from)->Handle(), file)
                               : WriteFile(file, text.data(), static_cast<DWORD>(text.size()),
                                           &written, nullptr) &&
                                     written == text.size()) &&
              FlushFileBuffers(file);
  if (!done) *error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  // A rename within one folder: the name holds the old file or the whole new one.
  if (done && !MoveFileExW(partial.c_str(), wide.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    done = false, *error = GetLastError();
  if (!done) DeleteFileW(partial.c_str());
  return done;
}

void Win32FileSystem::Remove(const std::string& path) { DeleteFileW(Widen(path).c_str()); }

std::optional<std::string> Win32FileSystem::ReadAll(const std::string& path) {
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string content;
  char buffer[65536];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof(buffer), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    content.append(buffer, got);
  }
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return content;
}

}  // namespace kelvara
