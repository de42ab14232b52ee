// The Win32 adapters under Wine where no scenario reaches: a body that goes silent, given up
// after the stall time and never kept in WinInet's cache; a longer read-only, hidden, system
// file replaced; programs that cannot start. Run by run_win_test.sh in the folder KV_WORK,
// against fault_server.py on port KV_PORT, which logs its requests to KV_LOG.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "app/win32/platform_win32.h"
#include "app/win32/text.h"
#include "fetch/fetch.h"
#include "fetch/win32/wininet_client.h"
#include "system/launcher.h"

namespace {
int failures = 0;
#define CHECK(ok) ((ok) || (std::printf("%s:%d: FAILED %s\n", __FILE__, __LINE__, #ok), ++failures))
std::string Env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

int main() {
  using namespace kelvara;
  InstallWin32Platform();
  // WinInet's cache outlives a run: the tick makes every address new.
  const std::string work = Env("KV_WORK") + "\\", server = "http://127.0.0.1:" + Env("KV_PORT"),
                    run = std::to_string(GetTickCount()),
                    silent = server + "/stall?size=30&stall=9&" + run;
  std::string cause;
  const auto session = WinInetClient().OpenSession(1500);
  const auto response = session->OpenUrl(silent, "");
  const DWORD start = GetTickCount();
  try {
    for (char buffer[64]; response->Read(buffer, sizeof buffer) > 0;) continue;
  } catch (const PlatformError& error) {
    cause = error.what();  // under Wine: "stalled, no byte for ... ms, error 10060"
  }
  CHECK(cause.rfind("stalled", 0) == 0 && GetTickCount() - start < 4500);
  // Wine as root writes read-only files anyway: the attributes must be gone.
  const std::string stale = work + "stale", path = "/qorv//stale?size=10&" + run;
  std::ofstream(stale, std::ios::binary) << "an older file, longer than the body";
  SetFileAttributesA(stale.c_str(), 7);  // read-only, hidden, system
  CHECK(FetchUrlToFile(server + path, stale) == FETCH_OK);
  CHECK(Slurp(stale) == std::string("\0\1\2\3\4\5\6\7\10\11", 10));
  CHECK((GetFileAttributesA(stale.c_str()) & 7) == 0);
  CHECK(Slurp(Env("KV_LOG")).find("GET " + path + "\n") != std::string::npos);  // "//" kept
  for (const std::string& url : {silent, server + path}) {  // nothing kept in WinInet's cache
    DWORD size = 0;
    CHECK(!GetUrlCacheEntryInfoW(Widen(url).c_str(), nullptr, &size) && size == 0);
  }
  std::ofstream(work + "not a program.exe") << "plain text";
  for (const char* name : {"no such program.exe", "not a program.exe"})
    CHECK(RunProgramAndWait("\"" + work + name + "\"") == LAUNCH_FAILED);
  std::printf("%d checks failed\n", failures);
  return failures != 0;
}
