// Times one download under Wine: "fetch" goes through FetchUrlToFile and the
// WinInet adapter, "raw" is a bare InternetReadFile loop opened the same way
// (past the cache, as the fetch is), so the ratio is what the fetch's own work costs; "hash" times
// the CryptoAPI SHA-256 of a local file, the check the wizard adds before it runs a pinned
// download; "pinned" fetches as a build with the given digest pinned (a whole file is reused).
// Prints seconds, the result (bytes, or the digest) and the process's peak memory.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/digests.h"
#include "app/win32/text.h"
#include "fetch/fetch.h"
#include "fetch/win32/win32_files.h"
#include "main/win32/platform_win32.h"

// The benchmark is a small program of its own over the core.
using namespace kelvara;  // NOLINT(google-build-using-namespace)

namespace {
long long RawFetch(const std::wstring& url, const std::wstring& path) {
  HINTERNET session =
      InternetOpenW(L"fetch_bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET request = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 1);
  if (request == nullptr) return -1;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::vector<char> buffer(131072);
  long long total = 0;
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got) ||
        got == 0)
      break;
    DWORD done = 0;
    WriteFile(file, buffer.data(), got, &done, nullptr);
    total += got;
  }
  CloseHandle(file);
  InternetCloseHandle(request);
  InternetCloseHandle(session);
  return total;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (argc != (mode == L"hash" ? 3 : mode == L"pinned" ? 5 : 4)) {
    std::fprintf(stderr,
                 "usage: fetch_bench fetch|raw URL LOCAL_PATH\n"
                 "       fetch_bench pinned URL LOCAL_PATH SHA256\n"
                 "       fetch_bench hash LOCAL_PATH\n");
    return 2;
  }
  InstallWin32Platform();
  // As a build with this digest pinned for the file's name would fetch it.
  if (mode == L"pinned") {
    const std::string path = Narrow(argv[3]);
    SetPinnedDigestsForTest({{path.substr(path.find_last_of("\\/") + 1), Narrow(argv[4])}});
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::string result;
  unsigned long error = 0;
  if (mode == L"hash") {
    const auto file = Win32FileSystem().OpenHeld(Narrow(argv[2]), &error);
    result = file ? file->Sha256Hex().value_or("failed") : "failed";
  } else if (mode == L"fetch" || mode == L"pinned")
    result = std::to_string(FetchUrlToFile(Narrow(argv[2]), Narrow(argv[3])));
  else
    result = std::to_string(RawFetch(argv[2], argv[3]));
  QueryPerformanceCounter(&end);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf(
      "%ls result=%s seconds=%.3f peak_working_set_kib=%llu peak_pagefile_kib=%llu\n", mode.c_str(),
      result.c_str(),
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
      static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024),
      static_cast<unsigned long long>(memory.PeakPagefileUsage / 1024));
  return 0;
}
