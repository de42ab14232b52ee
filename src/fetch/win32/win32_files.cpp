#include "fetch/win32/win32_files.h"

#include <windows.h>

#include <utility>

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
  Win32HeldFile(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
  Win32HeldFile(const Win32HeldFile&) = delete;
  Win32HeldFile& operator=(const Win32HeldFile&) = delete;
  ~Win32HeldFile() override { CloseHandle(file_); }

  std::optional<std::uint64_t> Size() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
  }
  std::optional<std::string> Sha256Hex() override { return Sha256OfFile(file_); }
  std::optional<SignatureFacts> Signature() override { return SignatureOfFile(file_, path_); }

 private:
  HANDLE file_;
  std::string path_;
};
}  // namespace

std::unique_ptr<LocalFile> Win32FileSystem::CreateExclusive(const std::string& path,
                                                            unsigned long* error) {
  const std::wstring wide = Widen(path);
  // CREATE_ALWAYS with normal attributes is refused over a read-only, hidden or
  // system file: a copy left so by anything would fail this step on every run.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  constexpr DWORD STALE = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
      (attributes & STALE) != 0)
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return nullptr;
  }
  return std::make_unique<Win32File>(file);
}

std::unique_ptr<LocalFile> Win32FileSystem::OpenExclusiveAtEnd(const std::string& path) {
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  auto opened = std::make_unique<Win32File>(file);
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(file, zero, nullptr, FILE_END)) return nullptr;
  return opened;
}

std::unique_ptr<HeldFile> Win32FileSystem::OpenHeld(const std::string& path, unsigned long* error) {
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return nullptr;
  }
  return std::make_unique<Win32HeldFile>(file, path);
}

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
