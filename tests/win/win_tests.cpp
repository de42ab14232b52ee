// The Win32 adapters under Wine, win64 and win32-xp alike, in the folder KV_WORK. Its copies are
// the helpers: the version probe ("version-probe") and, with KV_EXIT set, a program exiting so.
#include <windows.h>
#include <direct.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "app/log.h"
#include "app/win32/text.h"
#include "fetch/fetch.h"
#include "fetch/win32/win32_files.h"
#include "fetch/win32/wininet_client.h"
#include "flow/codes.h"
#include "flow/win32/job_thread.h"
#include "harness.h"
#include "main/win32/command_line.h"
#include "main/win32/log_file.h"
#include "main/win32/platform_win32.h"
#include "system/launcher.h"
#include "system/probes.h"

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
    {"200", "/200?size=10", NOTHING, FETCH_OK, 10},
    {"404", "/404?status=404&size=10", NOTHING, FETCH_NOT_FOUND, NO_FILE},
    {"garbage status", "/abc?status=abc&size=10", NOTHING, FETCH_FAILED, NO_FILE},
    {"body 131073", "/131073?size=131073", NOTHING, FETCH_OK, 131073},
    {"length lies", "/lie?size=1000&cl=5000", NOTHING, FETCH_FAILED, 1000},  // the rest: 416
    {"no length", "/nolength?size=70000&cl=none", NOTHING, FETCH_OK, 70000},
    {"slow body", "/slow?size=40000&chunk=8000&delay_ms=300", NOTHING, FETCH_OK, 40000},
    {"missing folder", "/nodir?size=10", NO_FOLDER, FETCH_NO_LOCAL_FILE, NO_FILE},
    {"unresolvable host", "http://kelvara.invalid/x?", NOTHING, FETCH_FAILED, NO_FILE},
    {"refused port", "http://127.0.0.1:1/x?", NOTHING, FETCH_FAILED, NO_FILE},
    {"200 truncates", "/trunc?size=10", OLD, FETCH_OK, 10},
    {"200 replaces read-only", "/stale?size=10", STALE, FETCH_OK, 10},
    {"double slash", "/qorv//SetupWizard.exe?size=10", NOTHING, FETCH_OK, 10},
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
    {"reset resumed", "/reset?size=300000&reset=100000", " [bytes=100000- \"v1\"]\n", 0},
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

const string net = "SOFTWARE\\Microsoft\\NET Framework Setup";
struct RegRow {
  const char *name, *keys[2];  // below net, each with the value "Install"
  DWORD type, size;
  const char* data;
  bool net4, net2;
};
const RegRow regRows[] = {
    {"nothing", {}, REG_NONE, 0, "", false, false},
    {"dword 1", {"\\NDP\\v4.0\\Client"}, REG_DWORD, 4, "\1\0\0\0", true, false},
    {"dword 0", {"\\NDP\\v4.0\\Client"}, REG_DWORD, 4, "\0\0\0\0", false, false},
    {"string 1", {"\\NDP\\v4.0\\Client"}, REG_SZ, 2, "1", false, false},
    {"binary 01 00 00 00", {"\\NDP\\v4.0\\Client"}, REG_BINARY, 4, "\1\0\0\0", true, false},
    {"v4 both", {"\\NDP\\v4\\Client", "\\NDP\\v4\\Full"}, REG_DWORD, 4, "\1\0\0\0", true, false},
    {"v2 key", {"\\NDP\\v2.0.50727"}, REG_DWORD, 4, "\1\0\0\0", false, true},
};
const bool regAdded = wt::Rows("registry", regRows, [](const RegRow& r) {
  // The prefix is shared with the end-to-end scenarios: each row starts from nothing.
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, net.c_str());
  for (const char* k : r.keys)
    if (k) SHSetValueA(HKEY_LOCAL_MACHINE, (net + k).c_str(), "Install", r.type, r.data, r.size);
  CHECK(IsDotNet4Installed(), r.net4);
  CHECK(IsDotNet2Installed(), r.net2);
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, net.c_str());
});

struct Named {  // a case named by its input
  const char* name;
  int want;
};
// A Windows version Wine can be, set per program, and the class the product sees then (its
// manifest has no supportedOS: 8.1 and 10 say 6.2); a 64-bit prefix cannot be the first two.
const Named versionRows[] = {
#ifndef _WIN64
    {"winxp", 51},   {"win2k", 50},
#endif
    {"win2003", 52}, {"vista", 60}, {"win7", 61}, {"win8", 62}, {"win81", 62}, {"win10", 62}};
const bool versionAdded = wt::Rows("version", versionRows, [](const Named& r) {
  const string probe = work + "kelvara_version_probe.exe";
  const string key = "Software\\Wine\\AppDefaults\\kelvara_version_probe.exe";
  CopyFileA(_pgmptr, probe.c_str(), FALSE);
  SHSetValueA(HKEY_CURRENT_USER, key.c_str(), "Version", REG_SZ, r.name, lstrlenA(r.name) + 1);
  CHECK(RunProgramAndWait('"' + probe + "\" version-probe"), r.want);
  SHDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
});

struct LaunchRow {
  const char *name, *exitCode, *program;  // program nullptr: the helper
  int result;
  bool probeRule, packageRule;
};
const LaunchRow launchRows[] = {
    {"exit 0", "0", nullptr, 0, false, true},
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

// A command line, and whether it asks for private mode.
const Named lineRows[] = {
    {"prog private", true},
    {"\"prog\" \"private\"", true},
    {"prog x private", false},
    {"prog private x", true},
    {"", false},
};
const bool lineAdded = wt::Rows("command_line", lineRows, [](const Named& r) {
  CHECK(ReadCommandLine(Widen(r.name).c_str()).privateMode, r.want == 1);
});

struct ShaRow {
  const char* name;
  string content;
  const char* sha256;  // "nullopt": no file
};
const ShaRow shaRows[] = {
    {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"million a", string(1000000, 'a'),
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {"missing file", "", "nullopt"},
};
const bool shaAdded = wt::Rows("sha256", shaRows, [](const ShaRow& r) {
  const string path = work + "sha256 " + r.name;
  if (r.sha256 != string("nullopt")) Spit(path, r.content);
  unsigned long error = 0;
  const auto file = Win32FileSystem().OpenHeld(path, &error);
  CHECK(file ? file->Sha256Hex().value_or("failed") : "nullopt", string(r.sha256));
});

const struct { const char* name; } heldRows[] = {{"runs and opens, but stays"}};
const bool heldAdded = wt::Rows("held", heldRows, [](const auto&) {
  // Held: the program starts and the shell opens it, but nothing may move or rewrite it.
  const string program = work + "held.exe", moved = program + ".moved", report = work + "ran.txt";
  CopyFileA(_pgmptr, program.c_str(), FALSE);
  SetEnvironmentVariableA("KV_EXIT", "7");
  unsigned long error = 0;
  auto held = Win32FileSystem().OpenHeld(program, &error);
  CHECK(held && held->Size() == Slurp(program).size(), true);
  CHECK(RunProgramAndWait('"' + program + '"'), 7);
  DeleteFileA(report.c_str());
  const auto opened = ShellExecuteA(nullptr, "open", program.c_str(), "", "", SW_HIDE);
  CHECK(reinterpret_cast<INT_PTR>(opened) > 32, true);
  for (int i = 0; i < 100 && Slurp(report) == missing; ++i) Sleep(50);
  CHECK(Slurp(report).substr(0, program.size()), program);
  CHECK(MoveFileA(program.c_str(), moved.c_str()) ? 0 : GetLastError(), DWORD{32});
  CHECK(!Win32FileSystem().CreateExclusive(program, &error) && error == 32, true);
  held.reset();
  CHECK(MoveFileA(program.c_str(), moved.c_str()), TRUE);
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

unsigned PostFromWorker(void*) {  // the step: the worker's thread
  GetPlatform().jobs->PostStep(STAGE_WIC, static_cast<int>(GetCurrentThreadId()));
  return 0;
}
const struct { const char* name; } jobRows[] = {{"worker posts a step"}};
const bool jobAdded = wt::Rows("jobs", jobRows, [](const auto&) {
  g_hwndProgress =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  CHECK(GetPlatform().jobs->StartThread(PostFromWorker, nullptr), true);
  SetTimer(nullptr, 0, 10000, nullptr);  // a WM_TIMER instead should no step come
  MSG msg{};
  GetMessageW(&msg, nullptr, WM_TIMER, WM_INSTALL_STEP);
  CHECK(msg.hwnd == g_hwndProgress && msg.message == WM_INSTALL_STEP, true);
  CHECK(msg.wParam, WPARAM{STAGE_WIC});
  CHECK(static_cast<DWORD>(msg.lParam) != GetCurrentThreadId() && msg.lParam != 0, true);
});
}  // namespace
}  // namespace kelvara

int main(int argc, char** argv) {
  kelvara::InstallWin32Platform();
  if (argc > 1 && std::string(argv[1]) == "version-probe") return kelvara::GetOsVersionClass();
  if (std::getenv("KV_EXIT")) {  // the launched program
    std::ofstream(kelvara::work + "ran.txt") << _pgmptr << "|" << _getcwd(nullptr, 0);
    return std::atoi(std::getenv("KV_EXIT"));
  }
  return wt::Run(argc > 1 ? argv[1] : "", argc > 2 ? argv[2] : nullptr);
}
