#include "main/win32/log_file.h"

#include <windows.h>

#include <cstdio>

#include "app/log.h"
#include "app/settings.h"
#include "app/win32/text.h"
#include "kelvara_version.h"
#include "system/probes.h"
#include "system/run_folder.h"
#include "system/win32/win32_run_folder.h"
#include "system/win32/win32_system.h"

namespace kelvara {
namespace {
constexpr char BOM[] = "\xEF\xBB\xBF";

class LogFile final : public LogSink {
 public:
  explicit LogFile(HANDLE file)
      : file_(file), start_(GetTickCount()), window_(GetCurrentThreadId()) {
    InitializeCriticalSection(&lock_);
  }
  // Whole lines, written at once under the lock: a crash or exit(0) loses none.
  void Append(const std::string& line) override {
    const std::string data = line + "\r\n";
    EnterCriticalSection(&lock_);
    DWORD written = 0;
    WriteFile(file_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    LeaveCriticalSection(&lock_);
  }
  std::uint64_t ElapsedMs() override { return GetTickCount() - start_; }
  bool OnWindowThread() override { return GetCurrentThreadId() == window_; }

 private:
  HANDLE file_;
  DWORD start_;
  DWORD window_;
  CRITICAL_SECTION lock_;
};

// Drops the oldest part of a log that has grown past the limit. Only its tail
// is read: anyone may plant a log of gigabytes (sparse, or not) for a SYSTEM run.
bool KeepSmall(HANDLE file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) return false;
  if (size.QuadPart <= static_cast<LONGLONG>(LOG_LIMIT)) return true;
  // One byte more than is kept, so the cut falls at a line start.
  std::string content(LOG_LIMIT / 2 + 1, '\0');
  LARGE_INTEGER tail{};
  tail.QuadPart = size.QuadPart - static_cast<LONGLONG>(content.size());
  DWORD got = 0;
  if (!SetFilePointerEx(file, tail, nullptr, FILE_BEGIN) ||
      !ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &got, nullptr))
    return false;
  content = BOM + TrimOldLog(content.substr(0, got), LOG_LIMIT / 2);
  DWORD written = 0;
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
         WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
         SetEndOfFile(file);
}

RunHeader CollectHeader(const std::string& workDir) {
  RunHeader header;
  header.version = KELVARA_VERSION;
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char time[32];
  std::snprintf(time, sizeof time, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  header.localTime = time;
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (GetVersionExA(&info)) {
    header.major = info.dwMajorVersion;
    header.minor = info.dwMinorVersion;
    header.build = info.dwBuildNumber;
  }
  header.versionClass = ClassifyWindowsVersion(header.major, header.minor);
#ifdef _WIN64
  header.windows64 = true;
#else
  // Looked up: the function is missing from Windows XP before SP2.
  using IsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64 = reinterpret_cast<IsWow64>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  BOOL wow = FALSE;
  header.windows64 = isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow) && wow;
#endif
  header.privateMode = g_bPrivateMode != 0;
  header.intranetBase = g_strIntranetBase;
  header.publicBase = g_strPublicFileBase;
  header.dotNet4Url = g_strDotNet4PackageUrl;
  header.workDir = workDir;
  return header;
}
}  // namespace

namespace {
HANDLE OpenNoLink(const std::string& path, DWORD disposition) {
  return CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// What the open file is besides a plain file: "" when nothing.
std::string LinkFoundAt(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return "a file that cannot be examined";
  return LinkFound((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                   info.nNumberOfLinks);
}
}  // namespace

void OpenSupportLog(const std::string& path) {
  const std::string workDir = Win32TempDirectory();
  const std::string logPath = path.empty() ? workDir + "kelvara-setup.log" : path;
  HANDLE file = OpenNoLink(logPath, OPEN_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return;
  // An elevated run must not append to whatever a link planted under the
  // log's name points to: that file is left as it is, and a new log is
  // written beside it.
  const std::string found = LinkFoundAt(file);
  std::string why;
  if (!found.empty()) {
    CloseHandle(file);
    unsigned char bytes[NAME_RANDOM_BYTES];
    const std::string side =
        SystemRandom(bytes, sizeof bytes) ? SideLogName(bytes, sizeof bytes) : "";
    if (side.empty()) return;
    file = OpenNoLink(logPath.substr(0, logPath.find_last_of('\\') + 1) + side, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE) return;
    why = SideLogFirstLine(logPath, found);
  }
  LARGE_INTEGER size{};
  if (!KeepSmall(file) || !GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    return;
  }
  DWORD written = 0;
  if (size.QuadPart == 0) WriteFile(file, BOM, 3, &written, nullptr);
  SetFilePointer(file, 0, nullptr, FILE_END);
  // Never closed: either thread may write until the process ends.
  auto* sink = new LogFile(file);
  SetLogSink(sink);
  if (!why.empty()) sink->Append(why);
  for (const std::string& line : RunHeaderLines(CollectHeader(workDir))) sink->Append(line);
}

}  // namespace kelvara
