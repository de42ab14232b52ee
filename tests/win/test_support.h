#pragma once
// Small helpers shared by the Windows adapter tests: temp folders, whole-file
// I/O and the fault server's body pattern.

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

namespace wintest {

// A fresh folder under the temp directory, removed with its contents when the
// object ends. The name may contain blanks; a process id keeps runs apart.
class TempDir {
 public:
  explicit TempDir(const std::wstring& name);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return path_; }  // no trailing backslash
  std::wstring Child(const std::wstring& leaf) const { return path_ + L"\\" + leaf; }

 private:
  std::wstring path_;
};

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);

void RemoveTree(const std::wstring& path);
bool Exists(const std::wstring& path);
std::optional<std::string> ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Sets the length of a new or existing file without writing its content.
bool SetFileLength(const std::wstring& path, unsigned long long length);

// The folder of the running test program, where CMake puts the helpers too.
std::wstring ModuleDir();

// "" when the variable is unset.
std::wstring EnvVar(const wchar_t* name);

// Bytes [offset, offset+n) of the fault server's body: byte i = (i*7+3)%251.
std::string BodyPattern(std::size_t offset, std::size_t n);

}  // namespace wintest
