// The Win32 adapters under Wine where no scenario reaches: a body that goes silent, given up
// after the stall time and never kept in WinInet's cache; a longer read-only, hidden, system
// file replaced; names that are hard links never written through; programs that cannot start;
// the run folder's descriptor, names and leftovers. Run by run_win_test.sh in the folder KV_WORK,
// against fault_server.py on port KV_PORT.
#include <windows.h>
#include <sddl.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "app/log.h"
#include "app/win32/text.h"
#include "fetch/fetch.h"
#include "fetch/win32/win32_files.h"
#include "fetch/win32/wininet_client.h"
#include "main/win32/log_file.h"
#include "main/win32/platform_win32.h"
#include "system/launcher.h"
#include "system/win32/win32_run_folder.h"

namespace {
using std::string;
int failures = 0;
#define CHECK(ok) ((ok) || (std::printf("%s:%d: FAILED %s\n", __FILE__, __LINE__, #ok), ++failures))
string Env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }
string Slurp(const string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}
void Spit(const string& path, const string& data) { std::ofstream(path, std::ios::binary) << data; }
int draws = 0;  // every draw 7s, or 8s once one was drawn when `draws` counts
bool Draw(unsigned char* bytes, unsigned long n) {
  return std::fill_n(bytes, n, draws && draws++ > 1 ? 8 : 7), true;
}
string MadeIn(const string& parent, kelvara::RandomDraw draw = Draw) {
  kelvara::MadeFolder made;
  return kelvara::CreateRunFolder(parent, draw, &made) ? made.path : "<none>";
}

// Owned by the administrators, only SYSTEM and the administrators on it, inherited, nothing
// from the parent. Wine keeps no descriptor: the one built is read, and made with it must work.
void CheckRunFolder(const string& parent) {
  using namespace kelvara;
  void* descriptor = NewRunFolderDescriptor();
  char* sddl = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorA(
      descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddl,
      nullptr);
  std::printf("run folder descriptor: %s\n", sddl ? sddl : "none");
  CHECK(sddl && string(sddl) == "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  LocalFree(sddl), LocalFree(descriptor);
  // A name made before, by anyone, is never used: every draw the same, no folder at all.
  CreateDirectoryA(parent.c_str(), nullptr);
  CHECK(MadeIn(parent) == parent + "KelvaraSetup-0707070707070707\\");
  CHECK(MadeIn(parent) == "<none>");
  draws = 1;
  CHECK(MadeIn(parent) == parent + "KelvaraSetup-0808080808080808\\");
  CHECK(MadeIn(parent, SystemRandom) != MadeIn(parent, SystemRandom));
  // A copy is made new, never through a name or link; a linked file is not held.
  Win32FileSystem files;
  unsigned long error = 0;
  const string source = parent + "source.exe", victim = parent + "victim", copy = parent + "c.exe";
  Spit(source, "program"), Spit(victim, "kept");
  auto held = files.OpenHeld(source, &error);
  CreateHardLinkA(copy.c_str(), victim.c_str(), nullptr);
  CHECK(!files.OpenHeld(victim, &error) && error == ERROR_TOO_MANY_LINKS);
  CHECK(!files.CopyHeld(*held, copy, &error) && error == ERROR_FILE_EXISTS);
  DeleteFileA(copy.c_str());
  auto made = files.CopyHeld(*held, copy, &error);
  CHECK(made && made->Sha256Hex() == held->Sha256Hex() && Slurp(copy) == "program");
  made.reset();  // released: gone, its name free for the program's next run
  CHECK(Slurp(copy) == "<missing>" && Slurp(victim) == "kept");
  // A leftover a live run holds (the first one made above) cannot be opened to be removed; one
  // nobody holds goes, with the folders a program unpacked in it, read-only files too.
  const string live = parent + "KelvaraSetup-0707070707070707\\";
  const string old = live.substr(0, live.size() - 2) + "9\\";
  for (const string& d : {old, old + "a", old + "a\\b"}) CreateDirectoryA(d.c_str(), nullptr);
  Spit(old + "a\\b\\f", "x"), SetFileAttributesA((old + "a\\b\\f").c_str(), 1);
  CHECK(!OpenLeftoverRunFolder(live) && GetLastError() == ERROR_SHARING_VIOLATION);
  void* unheld = OpenLeftoverRunFolder(old);
  CHECK(unheld != nullptr);
  RemoveRunFolder(old, unheld);
  CHECK(GetFileAttributesA(old.c_str()) == INVALID_FILE_ATTRIBUTES);
}
}  // namespace

int main() {
  using namespace kelvara;
  InstallWin32Platform();
  const double scale = Env("KELVARA_TIME_SCALE").empty() ? 1 : std::stod(Env("KELVARA_TIME_SCALE"));
  // WinInet's cache outlives a run: the tick makes every address new.
  const string work = Env("KV_WORK") + "\\", server = "http://127.0.0.1:" + Env("KV_PORT"),
               run = std::to_string(GetTickCount()),
               silent = server + "/stall?size=30&stall=9&" + run;
  string cause;
  const auto session = WinInetClient().OpenSession(1500);
  const auto response = session->OpenUrl(silent, "");
  const DWORD start = GetTickCount();
  try {
    for (char buffer[64]; response->Read(buffer, sizeof buffer) > 0;) continue;
  } catch (const PlatformError& error) {
    cause = error.what();  // under Wine: "stalled, no byte for ... ms, error 10060"
  }
  std::printf("silent body: \"%s\" after %lu ms\n", cause.c_str(), GetTickCount() - start);
  CHECK(cause.rfind("stalled", 0) == 0 && GetTickCount() - start < 4500 * scale);
  // Wine as root writes read-only files anyway: the attributes must be gone.
  const string stale = work + "stale", path = "/qorv//stale?size=10&" + run;
  Spit(stale, "an older file, longer than the body");
  SetFileAttributesA(stale.c_str(), 7);  // read-only, hidden, system
  CHECK(FetchUrlToFile(server + path, stale) == FETCH_OK);
  CHECK(Slurp(stale) == string("\0\1\2\3\4\5\6\7\10\11", 10));
  CHECK((GetFileAttributesA(stale.c_str()) & 7) == 0);
  for (const string& url : {silent, server + path}) {  // nothing kept in WinInet's cache
    DWORD size = 0;
    CHECK(!GetUrlCacheEntryInfoW(Widen(url).c_str(), nullptr, &size) && size == 0);
  }
  // A download or the log whose name is a hard link to another file never writes through it.
  const string linked = work + "linked", other = work + "system file", logs = work + "logs";
  Spit(other, "kept");
  CreateHardLinkA(linked.c_str(), other.c_str(), nullptr);
  CHECK(FetchUrlToFile(server + "/linked?size=10&" + run, linked) == FETCH_OK);
  CHECK(Slurp(linked).size() == 10 && Slurp(other) == "kept");
  CreateDirectoryA(logs.c_str(), nullptr);
  Spit(logs + "\\system file", "kept");  // the moved-aside download still links `other`
  CreateHardLinkA((logs + "\\kelvara-setup.log").c_str(), (logs + "\\system file").c_str(),
                  nullptr);
  SetEnvironmentVariableA("TMP", logs.c_str());
  OpenSupportLog("");
  LogLine("x");
  SetLogSink(nullptr);
  WIN32_FIND_DATAA side{};
  FindClose(FindFirstFileA((logs + "\\kelvara-setup-*.log").c_str(), &side));
  const string text = Slurp(logs + "\\" + side.cFileName);
  CHECK(Slurp(logs + "\\system file") == "kept" && text.rfind("  x\r\n") == text.size() - 5);
  CHECK(text.find("the log " + logs +
                  "\\kelvara-setup.log is a file with 2 hard links: left "
                  "untouched, this run logs here\r\n") == 3);
  Spit(work + "not a program.exe", "plain text");
  for (const char* name : {"no such program.exe", "not a program.exe"})
    CHECK(RunProgramAndWait("\"" + work + name + "\"") == LAUNCH_FAILED);
  CheckRunFolder(work + "rf\\");
  std::printf("%d checks failed\n", failures);
  return failures != 0;
}
