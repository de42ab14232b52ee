// The Win32 adapters under Wine, win64 and win32-xp alike, in the folder KV_WORK, where the
// scenarios cannot reach: odd answers, odd folders, odd files. With KV_EXIT set, a copy of it is
// the program the launcher starts, exiting so.
#include <windows.h>
#include <direct.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "app/log.h"
#include "app/win32/log_file.h"
#include "app/win32/platform_win32.h"
#include "app/win32/text.h"
#include "fetch/fetch.h"
#include "fetch/win32/wininet_client.h"
#include "harness.h"
#include "system/launcher.h"

namespace kelvara {
namespace {
using std::string;
string Env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }
// WinInet's cache outlives a run: the tick makes every address new.
const string work = Env("KV_WORK") + "\\", run = std::to_string(GetTickCount());
const string missing = "<missing>";
string Slurp(const string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? string(std::istreambuf_iterator<char>(in), {}) : missing;
}
void Spit(const string& path, const string& data) { std::ofstream(path, std::ios::binary) << data; }
enum { NOTHING, OLD, NO_FOLDER, OVER_LIMIT, STALE };  // STALE: OLD, read-only, hidden, system
enum { NO_FILE = -1 };                                // no file left

struct FetchRow {
  const char *name, *target;  // a path on the fault server, or a whole address
  int before, result;
  long file;  // the body's first n bytes (byte i is i % 251), or NO_FILE
};
const FetchRow fetchRows[] = {
    {"garbage status", "/abc?status=abc&size=10", NOTHING, FETCH_FAILED, NO_FILE},
    {"missing folder", "/nodir?size=10", NO_FOLDER, FETCH_NO_LOCAL_FILE, NO_FILE},
    {"refused port", "http://127.0.0.1:1/x?", NOTHING, FETCH_FAILED, NO_FILE},
    {"200 truncates", "/qorv//trunc?size=10", OLD, FETCH_OK, 10},
    {"200 replaces read-only", "/stale?size=10", STALE, FETCH_OK, 10},
};
const bool fetchAdded = wt::Rows("fetch", fetchRows, [](const FetchRow& r) {
  const string server = r.target[0] == '/' ? "http://127.0.0.1:" + Env("KV_PORT") : "";
  const string old = "an older file, longer than the body", target = r.target + ("&" + run);
  const string local = work + (r.before == NO_FOLDER ? "no folder\\" : "") + r.name;
  if (r.before == OLD || r.before == STALE) Spit(local, old);
  if (r.before == STALE)
    SetFileAttributesA(local.c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  CHECK(FetchUrlToFile(server + target, local), r.result);
  string want = r.file == NO_FILE ? missing : "";
  for (long i = 0; i < r.file; ++i) want += static_cast<char>(i % 251);
  CHECK(Slurp(local).size(), want.size());
  CHECK(Slurp(local) == want, true);
  // 7: read-only, hidden, system, gone from a replaced file (Wine as root ignores read-only)
  CHECK(GetFileAttributesA(local.c_str()) & 7, r.file == NO_FILE ? 7ul : 0ul);
  // Sent as given: the server saw this very request line, "//" and all.
  if (server != "") CHECK(Slurp(Env("KV_LOG")).find("GET " + target + "\n") != string::npos, true);
});

struct ResumeRow {
  const char *name, *target, *asked;  // asked: what the server logged after a request line
  DWORD stallMs;                      // 0: fetched twice, and never from a cache
};
const ResumeRow resumeRows[] = {
    {"ranges ignored", "/norange?size=300000&reset=100000&ranges=no", " [bytes=100000- \"v1\"]\n",
     0},
    {"stall given up", "/stall?size=300000&stall=100000", "\n", 1500},
};
const bool resumeAdded = wt::Rows("resume", resumeRows, [](const ResumeRow& r) {
  const string url = "http://127.0.0.1:" + Env("KV_PORT") + r.target + "&" + run;
  string want, cause;
  for (long i = 0; i < 300000; ++i) want += static_cast<char>(i % 251);
  for (int pass = 0; pass < 2 && r.stallMs == 0; ++pass) {
    CHECK(FetchUrlToFile(url, work + r.name), FETCH_OK);
    CHECK(Slurp(work + r.name) == want, true);
  }
  if (r.stallMs != 0) {  // the read gives up soon after the silence starts
    auto session = WinInetClient().OpenSession(r.stallMs);
    auto response = session->OpenUrl(url, "");
    const DWORD start = GetTickCount();
    try {
      while (response->Read(&want[0], 65536) > 0) continue;
    } catch (const PlatformError& error) {
      cause = error.what();
    }
    CHECK(cause.substr(0, 7), string("stalled"));  // under Wine: "..., error 10060"
    CHECK(GetTickCount() - start - r.stallMs < 3000, true);
  }
  const string log = Slurp(Env("KV_LOG")), asked = r.target + ("&" + run) + r.asked;
  std::size_t seen = 0;
  for (auto at = log.find(asked); at != string::npos; at = log.find(asked, at + 1)) ++seen;
  CHECK(seen, r.stallMs == 0 ? 2u : 1u);
  DWORD size = 0;  // nor kept in the cache
  CHECK(GetUrlCacheEntryInfoW(Widen(url).c_str(), nullptr, &size) || size != 0, false);
});

struct LaunchRow {
  const char *name, *exitCode, *program;  // program nullptr: the helper
  int result;
  bool probeRule, packageRule;
};
const LaunchRow launchRows[] = {
    {"exit 100", "100", nullptr, 100, true, true},
    {"exit -10000", "-10000", nullptr, LAUNCH_FAILED, false, false},
    {"missing program", "0", "no such program.exe", LAUNCH_FAILED, false, false},
    {"not a program", "0", "not a program.exe", LAUNCH_FAILED, false, false},
};
const bool launchAdded = wt::Rows("launcher", launchRows, [](const LaunchRow& r) {
  // Unquoted, Windows would run the kelvara.exe beside the folder instead.
  const string helper = work + "kelvara launcher test\\setup.exe", report = work + "ran.txt";
  CreateDirectoryA((work + "kelvara launcher test").c_str(), nullptr);
  for (const string& copy : {helper, work + "kelvara.exe"}) CopyFileA(_pgmptr, copy.c_str(), 0);
  Spit(work + "not a program.exe", "plain text");
  SetEnvironmentVariableA("KV_EXIT", r.exitCode);
  const string program = r.program ? work + r.program : helper;
  DeleteFileA(report.c_str());
  CHECK(RunDownloadedProgram(program, PROBE_RULE), r.probeRule);
  // Which program ran, and where: in the caller's current folder.
  CHECK(Slurp(report), r.program ? missing : helper + "|" + _getcwd(nullptr, 0));
  CHECK(RunDownloadedProgram(program, PACKAGE_RULE), r.packageRule);
  CHECK(RunProgramAndWait('"' + program + '"'), r.result);
});

struct LogRow {
  const char *name, *start;  // TMP names a new folder, or one with a log OVER_LIMIT, or none
  int before;
};
const LogRow logRows[] = {
    {"new folder", "\xEF\xBB\xBF==== kelvara-setup 1.1.0.500 started ", NOTHING},
    {"over 1 MiB", "\357\273\277an older line\r\n", OVER_LIMIT},  // cut at a line start
    {"no folder", "<missing>", NO_FOLDER},
};
const bool logAdded = wt::Rows("log", logRows, [](const LogRow& r) {
  // A folder per case: the log's handle stays open until the process ends.
  const string tmp = work + "log " + r.name, file = tmp + "\\kelvara-setup.log";
  string big = "\xEF\xBB\xBF";
  while (big.size() <= LOG_LIMIT) big += "an older line\r\n";
  if (r.before != NO_FOLDER) CreateDirectoryA(tmp.c_str(), nullptr);
  if (r.before == OVER_LIMIT) Spit(file, big);
  SetEnvironmentVariableA("TMP", tmp.c_str());
  OpenSupportLog("");
  LogLine("x");
  SetLogSink(nullptr);  // process-wide: nothing later may write here
  const string text = Slurp(file);
  CHECK(text.substr(0, string(r.start).size()), string(r.start));
  if (text == missing) return;
  CHECK(text.size() < LOG_LIMIT, true);
  CHECK(text.find("\n==== kelvara-setup 1.1.0.500 ") != string::npos, r.before == OVER_LIMIT);
  CHECK(text.rfind("  x\r\n"), text.size() - 5);  // the line logged last, whole
  CHECK(std::count(text.begin(), text.end(), '\r'), std::count(text.begin(), text.end(), '\n'));
});
}  // namespace
}  // namespace kelvara

int main(int argc, char** argv) {
  kelvara::InstallWin32Platform();
  if (std::getenv("KV_EXIT")) {  // the launched program
    std::ofstream(kelvara::work + "ran.txt") << _pgmptr << "|" << _getcwd(nullptr, 0);
    return std::atoi(std::getenv("KV_EXIT"));
  }
  return wt::Run(argc > 1 ? argv[1] : "", argc > 2 ? argv[2] : nullptr);
}
