// The core through its seams: the fetch and the mirror list, whole routes played pair
// by pair from the first timer tick, the launch rules, the probes and the support log.
#include <cstdio>
#include <mutex>
#include <thread>
#include <sstream>

#include "app/command_line.h"
#include "app/layout.h"
#include "app/log.h"
#include "fakes.h"
#include "fetch/downloaders.h"
#include "fetch/fetch.h"
#include "fetch/fetch_lanes.h"
#include "fetch/mirror_list.h"
#include "fetch/resume.h"
#include "fetch/transfer_progress.h"
#include "flow/fetch_ahead.h"
#include "flow/layout_maker.h"
#include "flow/layout_source.h"
#include "flow/route.h"
#include "system/probes.h"
#include "system/run_folder.h"

namespace {
TEST(Fetch, StatusBodyFileAndProgress) {
  const std::string url = "http://h/f", path = WORK + "f";
  const std::size_t B = 131072, ALL = SIZE_MAX;
  // Status ("none": no answer, "lock": no file), Content-Length, the most a read gives, body
  // size, result; a fetch that fails leaves the old file as it was.
  const std::tuple<std::string, std::string, std::size_t, std::size_t, int> rows[] = {
      {"200", "auto", ALL, 0, FETCH_OK},        {"200", "auto", ALL, B, FETCH_OK},
      {"200", "auto", ALL, B + 1, FETCH_OK},    {"200", "", 1000, 3 * B, FETCH_OK},
      {"304", "9", ALL, 5, FETCH_OK},           {"200", "9x", ALL, 5, FETCH_OK},
      {"404", "auto", ALL, 5, FETCH_NOT_FOUND}, {"lock", "auto", ALL, 5, FETCH_NO_LOCAL_FILE},
      {"500", "auto", ALL, 5, FETCH_FAILED},    {"", "auto", ALL, 5, FETCH_FAILED},
      {"none", "auto", ALL, 5, FETCH_FAILED}};
  for (auto [status, length, chunk, size, result] : rows) {
    Fake f;
    std::string body;
    for (std::size_t i = 0; i < size; ++i) body += static_cast<char>(i * 7 % 251);
    f.files[path] = "stale file", f.locked = status == "lock" ? path : "";
    if (status != "none") f.replies[url] = {status == "lock" ? "200" : status, body, length, chunk};
    EXPECT_EQ(FetchUrlToFile(url, path), result) << status << " " << length << " " << size;
    EXPECT_EQ(f.files[path], result != FETCH_OK ? "stale file" : body) << status << size;
    EXPECT_FALSE(CurrentTransfer().active);
    EXPECT_TRUE(result != FETCH_OK || CurrentTransfer().done == size) << size;
  }
}

TEST(Fetch, AsksAgainForTheRestPlacesItAndReusesPinnedFiles) {
  const std::string url = "http://h/f", path = WORK + "f", all = "0123456789";
  // Bodies that break off: at 4 (with both validators), at 2, before any byte.
  const Reply cut{"200", all, "auto", 4, 4, "ETag: e\nLast-Modified: L"},
      half{"200", all, "auto", 2, 2}, mute{"200", all, "auto", 9, 0, "ETag: e"},
      dated{"200", all, "auto", 4, 4, "Last-Modified: L"};
  const auto P = [&](const std::string& range, std::size_t first, std::size_t breakAt = SIZE_MAX) {
    return Reply{"206", all.substr(first), "auto", 2, breakAt, "Content-Range: bytes " + range};
  };
  const std::optional<Reply> no;
  const std::string R = "f wait500 f[4- e]", F = "0123";  // a break at 4, the request for the rest
  // The file before ("pin:": pinned as the whole body; "pin?": its digest unreadable), the first
  // answer, the answers to the requests for the rest in turn; then the requests and waits,
  // whether it came, the file.
  using Rest = std::vector<std::optional<Reply>>;
  const std::tuple<std::string, Reply, Rest, std::string, bool, std::string> rows[] = {
      {"", cut, {P("4-9/10", 4)}, R, 1, all},
      {"", {"200", all, "", 4, 4}, {}, "f", 0, F},  // a reset without a length is no end
      {"", dated, {P("2-9/10", 2)}, "f wait500 f[4- L]", 1, all},
      {"", cut, {P("6-9/10", 6)}, R, 0, F},
      {"", cut, {Reply{"200", "abcdefghij"}}, R, 1, "abcdefghij"},
      {"", cut, {P("4-9/11", 4)}, R, 0, F},
      {"", {"200", all, "12"}, {Reply{"416"}}, "f wait500 f[10-]", 0, all},
      {"", cut, {P("4-9/10", 4, 2), P("6-9/10", 6)}, R + " wait500 f[6- e]", 1, all},
      {"", cut, {no, P("4-9/10", 4, 0), no}, R + " wait2000 f[4- e] wait4000 f[4- e]", 0, F},
      // A restart brings nothing until it passes the most the file held.
      {"", cut, {half, P("2-9/10", 2, 2), no}, R + " wait2000 f[2-] wait4000 f[4-]", 0, F},
      {"", mute, {no, no, no}, "f wait2000 f[0- e] wait4000 f[0- e] wait8000 f[0- e]", 0, ""},
      {"pin:" + all, cut, {}, "", 1, all},
      {"pin?" + all, {"200", all}, {Reply{"416"}}, "f[10-] f", 1, all},
      {"pin:0123", cut, {P("4-9/10", 4)}, "f[4-]", 1, all},
      {"pin:0123X", {"200", all}, {P("4-9/10", 4)}, "f[5-] f", 1, all},
      {"pin:0123", {"200", all}, {Reply{"416"}}, "f[4-] f", 1, all},
      {"pin:0123", cut, {Reply{"200", "abcdefghij"}}, "f[4-]", 1, "abcdefghij"}};
  for (const auto& [before, first, rest, requests, came, after] : rows) {
    Fake f;
    if (!before.empty()) f.files[path] = before.substr(4);
    if (!before.rfind("pin?", 0)) f.sha256[path] = "?";
    SetPinnedDigestsForTest({{"f", before.empty() ? "" : "#" + all}});
    f.replies[url] = first, f.rest.assign(rest.begin(), rest.end());
    EXPECT_EQ(FetchUrlToFile(url, path), came ? FETCH_OK : FETCH_FAILED) << requests;
    EXPECT_EQ(f.files[path], after) << requests;
    EXPECT_EQ(std::regex_replace(f.events, std::regex("http://h/"), ""), requests);
    EXPECT_TRUE(requests.empty() || f.stall == FETCH_STALL_MS);
  }
}

TEST(MirrorList, ReadsEntriesAsTextModeAndDrawsEachOnce) {
  // Every "|" counts and none is stored; text mode ends the text at ^Z and reads CR LF as LF;
  // 21 entries and a trailing separator keep 20.
  std::string many;
  for (int i = 0; i < 21; ++i) many += "e" + std::to_string(i) + "|||";
  const std::pair<std::string, std::string> lists[] = {
      {" \tA\r\nB \r|||C\rD|||x\x1A|||E", "3:A\nB,C\rD,x"},
      {"A|B|C|D", "2:ABC,D"},
      {"A|||B|||", "3:A,B,"},
      {many, "20:e0,e1,e2,e3,e4,e5,e6,e7,e8,e9,e10,e11,e12,e13,e14,e15,e16,e17,e18,e19"}};
  for (const auto& [raw, entries] : lists) {
    const MirrorTable table = ReadMirrorList(raw);
    std::string got = std::to_string(table.n) + ":";
    for (int i = 0; i < table.n; ++i) got += (i ? "," : "") + table.entries[i];
    EXPECT_EQ(got, entries) << raw;
  }
  // The list (nullptr: 404), each draw, the address that answers, the requests, a package got.
  const std::tuple<const char*, int, std::string, const char*, bool> rows[] = {
      {"a|||b|||c", 1, "", "MirrorList.txt b c a", false},
      {"a|||b|||c", 0, "b", "MirrorList.txt a c b", true},
      {"", 0, "default", "MirrorList.txt ", false},  // one empty entry: no default
      {nullptr, 0, "default", "MirrorList.txt default", true},
      {"||", 0, "default", "MirrorList.txt default", true}};
  for (const auto& [list, draw, serving, requests, got] : rows) {
    Fake f;
    f.draw = draw;
    if (list) f.replies[g_strPublicFileBase + "MirrorList.txt"] = {"200", list};
    if (!serving.empty()) f.replies[serving == "default" ? g_strDotNet4PackageUrl : serving];
    EXPECT_EQ(DownloadDotNet4Package(WORK), got ? WORK + "\\NetFx40.exe" : "") << requests;
    EXPECT_EQ(f.events, requests);
  }
}

struct Sink : LogSink {
  std::string lines;
  void Append(const std::string& line) override { lines += line + "|"; }
  std::uint64_t ElapsedMs() override { return 42; }
  bool OnWindowThread() override { return lines.empty(); }
};

// Plays one route. Words: "6.1" the version; "net4", "net2" installed; "guard": the registry
// throws once; "private"; "small"/"stays": a .NET package too small/that installs nothing;
// "threads=N"; "-FILE" not served; "PROGRAM=N" its exit code (probes: 0, then 100); "quiet",
// "passive"; "noargs": no quiet arguments for the client; "tampered": the client's pin differs.
std::string Play(const std::string& world) {
  Fake w;
  const auto has = [&](const std::string& word) { return Has(" " + world + " ", word + " "); };
  w.exits = {{"ImagingProbe.exe", {0, 100}}, {"InstallerProbe.exe", {0, 100}}};
  w.sizes[WORK + "\\NetFx40.exe"] = has(" small") ? 1 : 50449456;
  g_strClientQuietArgs = has(" noargs") ? "" : "/S", g_bPrivateMode = has(" private");
  if (has(" quiet") || has(" passive")) g_uiMode = has(" quiet") ? UiMode::Quiet : UiMode::Passive;
  if (has(" net4")) w.keys["v4.0\\Client"] = ONE;
  if (has(" net2")) w.keys["v2.0.50727"];
  if (has(" tampered")) SetPinnedDigestsForTest({{"ClientSetup.exe", "not its digest"}});
  w.throws = has(" guard"), w.net4Installs = !has(" stays");
  std::istringstream words(world);
  for (std::string word; words >> word;) {
    const auto eq = word.find('=');
    std::sscanf(word.c_str(), "%u.%u", &w.major, &w.minor);
    if (eq != std::string::npos) w.exits[word.substr(0, eq)] = {std::stoi(word.substr(eq + 1))};
  }
  w.threads = w.exits.count("threads") ? w.exits["threads"][0] : 1000;
  // Every file holds the mirror's address: only the list is ever read back.
  for (const std::string& base : {g_strPublicFileBase, g_strIntranetBase})
    for (const ServedFile& file : SERVED_FILES)
      if (!has(std::string(" -") + file.remoteName))
        w.replies[base + file.remoteName] = {"200", "http://m/n.exe"};
  w.replies["http://m/n.exe"];
  // "layout": every file in the folder L\ and its manifest; "layout-FILE": that one damaged,
  // "layout~FILE": unsigned.
  std::string manifest;
  for (const std::string& name : LayoutFileNames()) {
    const std::string path = "L\\" + name, digest(64, static_cast<char>('a' + name.size() % 6));
    w.files[path] = "x", w.sha256[path] = has(" layout-" + name) ? "0" : digest;
    if (has(" layout~" + name)) w.signatures[path] = SignatureFacts{0x800b0100, 0, 0, "", ""};
    manifest += digest + "  " + name + "\n";
  }
  w.sizes["L\\NetFx40.exe"] = 50449456,
  w.files[has(" layout") ? "L\\kelvara-layout.txt" : ""] = manifest;
  UseLayout("L\\");
  JobBlock job;
  Sink log;  // of the log, a route shows the note that a restart is probably needed
  SetLogSink(&log);
  OnTimer(job, w);
  for (int n = 0; n < 500 && !w.queue.empty() && !w.quit; ++n, w.queue.pop_front())
    EXPECT_EQ(OnInstallStep(job, w, w.queue.front().first, w.queue.front().second), 1);
  SetLogSink(nullptr), UseLayout("");
  if (Has(log.lines, "restart is probably needed")) Add(w.events, "RESTART?");
  EXPECT_EQ(w.open, 0) << "registry keys left open";
  EXPECT_TRUE(w.held.empty()) << "files left held: " << w.holds;
  return w.events;
}

TEST(Flow, RoutesAsSeenRequestedRunAndEnded) {
  // Runs (>'NAME' ARGS), each step's box (!text) and how the run ended (HALT, QUIT, EXITn).
  const std::string START = "checking alive ?4 ", WIZ = "?2 WIZARD wiz /SetupWizard.exe unrar.dll ",
                    IP = ">'ImagingProbe.exe' ", MP = ">'InstallerProbe.exe' ",
                    Q = "/quiet /norestart ", PROBE = "WIC wicProbe ImagingProbe.exe " + IP,
                    // The package and the client, fetched ahead once the route is chosen.
      AHEAD = "MirrorList.txt http://m/n.exe ClientSetup.exe ",
                    OLD = START + "?2 WIC " + AHEAD + PROBE.substr(4),
                    WIC = "wicGet wic_x86_chs.exe wicRun >'wic_x86_chs.exe' ",
                    MSI_PROBE = "MSI msiProbe InstallerProbe.exe ", MSI = MSI_PROBE + MP,
                    MSI_GET = "msiGet WindowsInstaller.exe ",
                    MSI_PACKAGE = MSI_GET + "msiRun >'WindowsInstaller.exe' ",
                    NET4 = "NET4 ?4 net4 MirrorList.txt http://m/n.exe net4Run ",
                    N4 = ">'NetFx40.exe' ", NET4_TAKEN = "NET4 ?4 net4 net4Run ",
                    REPAIR = START + "repair NET4 " + AHEAD + "?4 net4 net4Run ",
                    CLIENT_GET = "CLIENT client ClientSetup.exe ",
                    CLIENT = CLIENT_GET + "start 'ClientSetup.exe' ",
                    CLIENT_RUN = CLIENT_GET + ">'ClientSetup.exe' /S ";
  const std::pair<const char*, std::string> rows[] = {
      {"6.0 net2 private",
       "checking i:alive ?4 ?2 WIZARD wiz i:/SetupWizard.exe i:unrar.dll wizRun "
       ">'SetupWizard.exe' private QUIT"},
      {"5.2 -ClientSetup.exe", OLD + WIC + IP + MSI + MSI_PACKAGE + MP + NET4_TAKEN + N4 +
                                   "?4 CLIENT client ClientSetup.exe !clientFail HALT"},
      {"5.1 net2 SetupWizard.exe=-10000 ImagingProbe.exe=100 InstallerProbe.exe=100",
       START + WIZ + "wizRun >'SetupWizard.exe' !wizRunFail WIC HALT wicProbe ImagingProbe.exe " +
           IP + MSI + NET4 + N4 + "?4 " + CLIENT + "QUIT"},
      {"5.0 net2 -unrar.dll -ImagingProbe.exe",
       START + WIZ + "!wizBusy WIC HALT wicProbe ImagingProbe.exe !wicProbeBusy HALT"},
      {"10.0 ImagingProbe.exe=100 InstallerProbe.exe=0",
       OLD + MSI + MSI_PACKAGE + MP + "!msiVerify HALT"},
      {"6.2 stays", REPAIR + N4 + "?4 !net4Unverified HALT"},
      {"6.3 stays NetFx40.exe=1641", REPAIR + N4 + "?4 !net4Unverified HALT RESTART?"},
      {"5.1 net2 quiet wic_x86_chs.exe=3010",
       OLD + WIC + Q + IP + MSI + MSI_PACKAGE + Q + MP + NET4_TAKEN + N4 +
           "/q /norestart ?4 CLIENT client >'ClientSetup.exe' /S " + "EXIT3010"},
      {"6.1 net4 passive ClientSetup.exe=1602", START + CLIENT_RUN + "EXIT1602"},
      {"6.1 net4 quiet ClientSetup.exe=5", START + CLIENT_RUN + "!clientFail EXIT1603"},
      {"6.1 net4 passive noargs ClientSetup.exe=5", START + CLIENT + "QUIT"},
      // From a layout: no request, but for a file it cannot give (damaged, or pinned otherwise).
      {"5.1 layout", "checking ?4 ?2 WIC wicProbe " + IP + "wicGet wicRun >'wic_x86_chs.exe' " +
                         IP + "MSI msiProbe " + MP + "msiGet msiRun >'WindowsInstaller.exe' " + MP +
                         "NET4 ?4 net4 net4Run " + N4 +
                         "?4 CLIENT client start 'ClientSetup.exe' QUIT"},
      {"6.2 layout layout-ClientSetup.exe quiet",
       "checking ?4 repair NET4 ClientSetup.exe ?4 net4 net4Run " + N4 + "/q /norestart " +
           "?4 CLIENT client >'ClientSetup.exe' /S QUIT"},
      {"6.3 layout layout~NetFx40.exe",
       "checking ?4 repair NET4 MirrorList.txt http://m/n.exe ?4 net4"
       " net4Run " +
           N4 + "?4 CLIENT client start 'ClientSetup.exe' QUIT"},
      {"6.1 net4 layout tampered", "checking ?4 CLIENT client ClientSetup.exe !clientFail HALT"},
      {"5.0 net2 layout", "checking ?4 ?2 WIZARD wiz wizRun >'SetupWizard.exe' QUIT"},
      {"6.1 net4 ClientSetup.exe=-10000",
       START + CLIENT_GET + "start 'ClientSetup.exe' !clientFail HALT"},
      {"6.2 passive guard", START + "!startFail " + CLIENT_RUN + "QUIT"},
      {"6.1 net4 quiet -alive", "checking alive !netFail EXIT1603"},
      {"6.1 net4 tampered", START + CLIENT_GET + "!clientFail HALT"},
      {"6.1 net4 threads=0", "checking !netFail"},
      {"6.1 guard small", START + "!wizGuard " + NET4 + "!net4RunFail HALT"},
      {"6.0 guard -MirrorList.txt",
       START + "!wizGuard NET4 ?4 net4 MirrorList.txt default !net4Busy HALT"},
      {"5.2 -wic_x86_chs.exe", OLD + "wicGet wic_x86_chs.exe !wicBusy HALT"},
      {"5.1 ImagingProbe.exe=100 -InstallerProbe.exe", OLD + MSI_PROBE + "!msiProbeBusy HALT"},
      {"5.1 ImagingProbe.exe=100 -WindowsInstaller.exe", OLD + MSI + MSI_GET + "!msiBusy HALT"},
      {"5.1 ImagingProbe.exe=100 WindowsInstaller.exe=-10000",
       OLD + MSI + MSI_PACKAGE + "!msiRunFail HALT"},
      {"4.0 guard wic_x86_chs.exe=-10000",
       START + "!wizGuard " + PROBE + WIC + "!wicRunFail HALT"}};
  for (const auto& [world, seen] : rows) EXPECT_EQ(Play(world), seen) << world;
}

// Each job on a thread of its own; what the threads record is kept in order under a lock.
struct Threaded : Fake {
  std::mutex lock;
  std::thread thread;
  bool waiting = false;  // the background: one "paused" per wait, however many polls
  bool StartThread(unsigned (*w)(void*), void* p) override { return thread = std::thread(w, p), 1; }
  void Pause(unsigned) override {
    const std::lock_guard<std::mutex> hold(lock);
    if (FetchLanes::OnBackground() && !std::exchange(waiting, true)) Add(events, "paused");
  }
  std::unique_ptr<HttpResponse> OpenUrl(const std::string& url, const std::string& h) override {
    const std::lock_guard<std::mutex> hold(lock);
    waiting &= !FetchLanes::OnBackground();
    return Fake::OpenUrl(url, h);
  }
  std::string Seen() { return thread.join(), std::exchange(events, ""); }
  void AwaitPause() {  // the background has reached its first wait
    for (int i = 0; i < 1000 && !Has((std::lock_guard<std::mutex>(lock), events), "paused"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
};

// The background waits its turn while a step downloads; a step takes over what it fetched, waits
// for (and shows) what it fetches, fetches itself what it never began or failed; a stop ends it.
TEST(FetchAhead, TakeOverPauseAndStop) {
  Threaded f;
  f.replies[g_strPublicFileBase + "MirrorList.txt"] = {"200", "http://m/n.exe"};
  f.replies["http://m/n.exe"] = {"200", std::string(1000, 'n'), "auto", 10};
  f.replies[g_strPublicFileBase + "ClientSetup.exe"] = {"200", "client"};
  const std::string NET4 = WORK + "\\NetFx40.exe", CLIENT = WORK + "\\ClientSetup.exe";
  auto step = std::make_unique<FetchLanes::ForegroundScope>();  // a step downloads
  StartFetchAhead(Route::DotNet4Repair, WORK);
  f.AwaitPause();
  EXPECT_EQ(FetchForStep(AheadFile::ClientSetup, WORK), CLIENT);   // never begun: its own
  EXPECT_EQ(FetchForStep(AheadFile::DotNet4Package, WORK), NET4);  // shown: no longer waits
  EXPECT_EQ(CurrentTransfer().done.load(), 1000u);
  step.reset();
  EXPECT_EQ(f.Seen(), "paused ClientSetup.exe MirrorList.txt http://m/n.exe");
  step = std::make_unique<FetchLanes::ForegroundScope>();
  StartFetchAhead(Route::OldInstallers, WORK);
  f.AwaitPause();
  StopFetchAhead();
  step.reset();
  EXPECT_EQ(f.Seen(), "paused");
  EXPECT_EQ(FetchForStep(AheadFile::DotNet4Package, WORK) + "|" +
                FetchForStep(AheadFile::ClientSetup, WORK),
            "|" + CLIENT);
  EXPECT_EQ(f.events, "ClientSetup.exe");
  f.replies[g_strPublicFileBase + "ClientSetup.exe"].status = "503";
  StartFetchAhead(Route::DotNet4Repair, WORK);
  f.Seen(), f.replies[g_strPublicFileBase + "ClientSetup.exe"].status = "200";
  EXPECT_EQ(FetchForStep(AheadFile::ClientSetup, WORK) + " " + f.events,
            CLIENT + " ClientSetup.exe");
}

// One saved program through its rule: the verdict, and whether it was started.
std::pair<bool, bool> Launch(Fake& f, const std::string& name, const LaunchRule& rule) {
  f.events.clear();
  const bool verdict = RunDownloadedProgram(WORK + "\\" + name, rule);
  return {verdict, f.events == ">'" + name + "'"};
}

TEST(Launcher, RulesSizeTestAndPinnedDigests) {
  for (const int code : {100, 0, 99, 101, -1, LAUNCH_FAILED}) {  // a probe passes on 100 only
    Fake f;
    g_bPrivateMode = 1;  // given to the setup wizard only
    f.exits["ImagingProbe.exe"] = f.exits["wic_x86_chs.exe"] = {code};
    EXPECT_EQ(Launch(f, "ImagingProbe.exe", PROBE_RULE).first, code == 100) << code;
    EXPECT_EQ(Launch(f, "wic_x86_chs.exe", PACKAGE_RULE), std::pair(code != LAUNCH_FAILED, true))
        << code;
  }
  for (const std::uint64_t size : {50449455, 50449456, 50449457, 0}) {  // 0: no file
    Fake f;
    if (size) f.sizes[WORK + "\\NetFx40.exe"] = size;
    EXPECT_EQ(Launch(f, "NetFx40.exe", DOTNET4_PACKAGE_RULE).second, size == 50449456) << size;
  }
  // Each program pinned (p probe, n .NET package, w wizard, u unrar.dll); the file whose digest
  // differs, or that cannot be held, stops the run; what was held (+), run (>), released (-).
  const std::tuple<const char*, LaunchRule, const char*, const char*, const char*> pins[] = {
      {"p", PROBE_RULE, "", "", "+p +p -p >p -p"},
      {"p", PROBE_RULE, "p", "", "+p +p -p -p"},
      {"p", PROBE_RULE, "?", "", "+p +p -p -p"},  // a file that cannot be hashed
      {"n", DOTNET4_PACKAGE_RULE, "n", "", "+n +n -n -n"},
      {"n", DOTNET4_PACKAGE_RULE, "", "n", ""},
      {"n", DOTNET4_PACKAGE_RULE, "", "C:\\R\\n", "+n -n"},  // the copy cannot be made
      {"w", SETUP_WIZARD_RULE, "unrar.dll", "", "+w +w -w +u +u -u -u -w"},
      {"w", SETUP_WIZARD_RULE, "", "unrar.dll", "+w +w -w -w"},
      {"w", SETUP_WIZARD_RULE, "", "", "+w +w -w +u +u -u >w -u -w"}};
  for (const auto& [name, rule, differs, locked, holds] : pins) {
    Fake f;
    f.exits[name] = {100}, f.sizes[WORK + "\\" + name] = 50449456;
    f.locked = (*locked == 'C' ? "" : WORK + "\\") + locked;
    SetPinnedDigestsForTest({{name, "ab"}, {"unrar.dll", "ab"}});
    f.sha256 = {{WORK + "\\" + name, "ab"}, {WORK + "\\unrar.dll", "ab"}};
    if (*differs) f.sha256[WORK + "\\" + differs] = "cd";
    if (*differs == '?') f.sha256.erase(WORK + "\\" + name);
    const bool runs = Has(holds, ">");
    EXPECT_EQ(Launch(f, name, rule), std::pair(runs, runs)) << name << " " << differs << locked;
    EXPECT_EQ(std::regex_replace(f.holds, std::regex("unrar.dll"), "u"), holds);
  }
}

// One held file through the one rule, as the launcher asks it: the log's verdict.
TEST(RunCheck, PinAndSigner) {
  const char *MS = "Microsoft Corporation", *P = "Kelvara", *W = "wic_x86_chs.exe",
             *N = "NetFx40.exe", *I = "WindowsInstaller.exe", *C = "ClientSetup.exe";
  const std::string BY = "signed by someone else (", NOT = "chain not trusted (";
  // The file, its pin (ok, bad, none), what the system read (trust 1: nothing), the publisher
  // ("": unchecked, roots: any), the verdict: it runs, or why it is refused.
  const std::tuple<const char*, const char*, SignatureFacts, const char*, std::string> rows[] = {
      {W, "", {0, 0, 0, "ra", MS}, "", "runs: signed by Microsoft Corporation, root ra"},
      {N, "", {0, 0, 0, "ra", "Microsoft"}, "", BY + "Microsoft)"},
      {N, "", {0, 0, 0, "ra", "Not Microsoft Corporation"}, "", BY + "Not " + MS + ")"},
      {I, "", {0, 0x20, 0, "ra", MS}, "", NOT + "chain status 0x00000020)"},
      {I, "", {0, 0, 0x800b0109, "ra", MS}, "", NOT + "policy error 0x800b0109)"},
      {I, "", {0x800b010a, 0, 0, "ra", MS}, "", NOT + "error 0x800b010a)"},
      {I, "", {1, 0, 0, "", ""}, "", "the signature cannot be read"},
      {"ImagingProbe.exe", "", {0x800b0100, 0, 0, "", ""}, "", "runs: nothing to check"},
      {"ImagingProbe.exe", "bad", {0, 0, 0, "", ""}, "", "SHA-256 cd, pinned ab"},
      {"SetupWizard.exe", "", {0, 0, 0, "ra", MS}, P, BY + MS + ")"},
      {C, "", {0, 0, 0, "rb", P}, P, "runs: signed by Kelvara, root rb"},
      {C, "ok", {0x800b0100, 0, 0, "", ""}, P, "no signature"},
      {C, "bad", {0, 0, 0, "ra", P}, P, "SHA-256 cd, pinned ab"},
      {C, "ok", {0, 0, 0, "ra", P}, P, "runs: SHA-256 as pinned, signed by Kelvara, root ra"},
      {N, "bad", {0, 0, 0, "ra", MS}, "", "SHA-256 cd, pinned ab"},  // after its size test
      {"setup.exe", "", {0x800b0100, 0, 0, "", ""}, P, "runs: nothing to check"}};
  for (const auto& [name, pin, facts, publisher, verdict] : rows) {
    Fake f;
    Sink log;
    const std::string path = WORK + "\\" + name;
    SetSignersForTest({{MS, {"ra"}}, {publisher, {}}});
    if (*pin) SetPinnedDigestsForTest({{name, "ab"}}), f.sha256[path] = *pin == 'o' ? "ab" : "cd";
    f.signatures[path] = facts.trustResult == 1 ? std::nullopt : std::optional(facts);
    f.sizes[path] = DOTNET4_PACKAGE_SIZE;
    SetLogSink(&log);
    const bool runs = Launch(f, name, PACKAGE_RULE).second;
    SetLogSink(nullptr);
    const std::string line = log.lines.substr(log.lines.find("check "));
    const bool refused = verdict.rfind("runs: ", 0) != 0;
    EXPECT_EQ(line.substr(0, line.find('|')),
              "check " + RUN + name + " -> " + (refused ? "REFUSED: " : "") + verdict);
    EXPECT_EQ(runs, !refused) << name << " " << verdict;
  }
  const std::string A = "A" + std::string(39, '0'), a = "a" + std::string(39, '0'), ra = "ra";
  EXPECT_EQ(RuleFrom(MS, A + ";" + std::string(40, 'f')).roots,
            std::vector<std::string>({a, std::string(40, 'f')}));
  // A root list that cannot be read accepts no root; an empty one, any.
  EXPECT_EQ(
      SignerFault(RuleFrom(MS, A + ";"), &a, MS) + "|" + SignerFault(RuleFrom(MS, ""), &ra, MS),
      "root not accepted (" + a + ")|");
}

TEST(Probes, InstallFlagsKeysVersionsAndTempDirectory) {
  const std::string v40 = "v4.0\\Client", v4c = "v4\\Client", v4f = "v4\\Full", v2 = "v2.0.50727";
  const std::string no = v40 + " " + v4c, all = no + " " + v4f, zero(4, '\0');
  const auto d4 = IsDotNet4Installed, d2 = IsDotNet2Installed;
  // Keys with "Install" data ("-": no full access; 01 00 reads as 01 00 00 00), the probe,
  // its verdict, the keys opened in turn (the routes show the plain 1 and the missing keys).
  const std::tuple<std::map<std::string, std::string>, bool (*)(), bool, std::string> rows[] = {
      {{{v40, std::string("\1\0", 2)}}, d4, 1, v40},
      {{{v40, zero}}, d4, 0, no},
      {{{v40, "1" + zero}}, d4, 0, no},
      {{{v40, std::string("\1\0\1\0", 4)}}, d4, 0, no},  // 0x00010001
      {{{v40, ""}, {v4c, ONE}, {v4f, ONE}}, d4, 1, all},
      {{{v4c, ONE}}, d4, 0, all},
      {{{v2, "-"}}, d2, 0, ""}};
  for (const auto& [keys, probe, installed, opened] : rows) {
    Fake f;
    f.keys = keys;
    EXPECT_EQ(probe(), installed) << opened;
    EXPECT_EQ(f.opened, opened);
    EXPECT_EQ(f.open, 0) << "keys left open: " << opened;
  }
  Fake f;
  std::string classes;  // 0.0: the query failed
  for (const char* v :
       {"6.0", "6.1", "6.2", "6.3", "10.0", "5.0", "5.1", "5.2", "5.3", "4.0", "0.0"})
    std::sscanf(v, "%u.%u", &f.major, &f.minor),
        classes += std::to_string(GetOsVersionClass()) + " ";
  EXPECT_EQ(classes, "60 61 62 62 0 50 51 52 0 0 0 ");
  const std::string path(260, 'x');
  EXPECT_EQ(TempDirectoryFromPath(0, "") + TempDirectoryFromPath(261, path) +
                TempDirectoryFromPath(260, path),
            "C:\\C:\\" + path);
}

TEST(CommandLine, SwitchesPositionsAndExitCodes) {
  // The command line; what it asks for.
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"a.exe", "private", "x"}, "private 0 bad=x"},
      {{"a.exe", "PRIVATE"}, "public 0 bad=PRIVATE"},
      {{"a.exe", "/quiet", "private"}, "public 2 bad=private"},
      {{"a.exe", "private", "-QUIET", "/NoRestart", "/passive"}, "private 2"},
      {{"a.exe", "-Passive", "/log", "C:\\a b\\x.log"}, "public 1 log=C:\\a b\\x.log"},
      {{"a.exe", "/log", "/quiet", "-"}, "public 2 bad=/log"},
      {{"a.exe", "/?", "/silent", "/"}, "public 0 help bad=/silent"}};
  for (const auto& [args, asked] : rows) {
    const CommandLine c = ParseCommandLine(args);
    EXPECT_EQ((c.privateMode ? "private " : "public ") + std::to_string(static_cast<int>(c.mode)) +
                  (c.help ? " help" : "") + (c.logPath.empty() ? "" : " log=" + c.logPath) +
                  (c.badArgument.empty() ? "" : " bad=" + c.badArgument),
              asked);
  }
  EXPECT_FALSE(ParseCommandLine({"private"}).privateMode);
  std::string client;  // how the client ended, by its exit code
  for (int code : {0, 3010, 1641, 1602, 1, 1603, 3011, LAUNCH_FAILED})
    client += std::to_string(ClientEnding(code));
  EXPECT_EQ(client, "11120000");
  EXPECT_EQ(DecideSecondCopy(UiMode::Passive, true), SecondCopy::ExitAlreadyRunning);
}

TEST(Log, ThreadMaskingAndNoSink) {
  Sink sink;
  RunHeader header;
  header.intranetBase = "http://u:p@i/", header.publicBase = "http://u:p@p/";
  header.dotNet4Url = "http://u:p@d/n.exe";
  Fake f;
  const std::string H = "http://u:p@h/f";
  f.locked = WORK + "f", f.replies[H + "?token=s"];
  for (LogSink* installed : {static_cast<LogSink*>(nullptr), static_cast<LogSink*>(&sink)}) {
    SetLogSink(installed);  // without a sink nothing is written and nothing breaks
    LogStep(30000, 101);
    LogFetch(H, "", "5", 5, 200, 7), FetchUrlToFile(H + "?token=s", f.locked);
    LogStatus("t\r\n1\x7f", true), LogMirrorList({"a", "u:p@b/c"}),
        LogMirrorDrawn("http://u:p@m/n.exe");
    for (const std::string& line : RunHeaderLines(header)) LogLine(line);
    LogBreak(H, 4, std::nullopt, "c"), LogResume(H, 4, "", "", "o");
  }
  SetLogSink(nullptr);
  // Credentials and secrets masked, whatever line they are in; control characters escaped; the
  // file that could not be written named; the thread told.
  EXPECT_FALSE(Has(sink.lines, "u:p") || Has(sink.lines, "token=s")) << sink.lines;
  for (const char* part : {"drawn http://***@m/n.exe|", "box \"t\\x0D\\x0A1\\x7F\"|",
                           "file C:\\T\\f cannot be written, error 32|"})
    EXPECT_TRUE(Has(sink.lines, part)) << part << "\n" << sink.lines;
  EXPECT_EQ(
      sink.lines.rfind("      42 ms  window  step (30000, 101)|      42 ms  worker  fetch", 0), 0u);
  // An "@" in a path or query after a bare host is no user; without a scheme, the last "@" ends
  // the credentials. (That every password and secret value is masked, the fuzz target checks.)
  const std::pair<std::string, std::string> masks[] = {
      {"http://h/a@b", "http://h/a@b"},
      {"http://h/?u=a@b&pass", "http://h/?u=a@b&pass"},
      {"u:p@h:80/x@y", "***@y"},
      {"http://h:80/f?to=a@b&sig=c#sig=d", "http://***@b&sig=***#sig=d"}};
  for (const auto& [url, masked] : masks) EXPECT_EQ(MaskCredentials(url), masked);
}

TEST(Layout, ManifestAndFolder) {
  const std::string a(64, 'a'), b(64, 'b');
  const DigestList list =
      ParseLayoutManifest(WriteLayoutManifest({{"NetFx40.exe", a}, {"unrar.dll", b}}));
  EXPECT_EQ(list.badLine, 0);
  EXPECT_EQ(WriteLayoutManifest(list.digests), a + "  NetFx40.exe\n" + b + "  unrar.dll\n");
  // Each malformed line, or one naming a file a layout does not hold, is refused by its number.
  for (const auto& [text, line] :
       std::vector<std::pair<std::string, int>>{{a + "  unrar.dll\r\n\n" + b + " unrar.dll", 3},
                                                {a + "  MirrorList.txt", 1},
                                                {"\n" + a + "  ..\\unrar.dll", 2},
                                                {a.substr(1) + "  unrar.dll", 1}})
    EXPECT_EQ(ParseLayoutManifest(text).badLine, line) << text;
  EXPECT_EQ(LayoutFolder("", "C:\\a b\\kelvara-setup.exe") + "|" + LayoutFolder("\\\\s\\l", "x"),
            "C:\\a b\\|\\\\s\\l\\");
}

// Every file fetched, checked and published (=NAME), the program, the manifest last; again: only
// what is missing or damaged; a file that fails its check: none kept under its name, no manifest.
TEST(Layout, MakeFetchesChecksPublishesAndResumes) {
  Fake f;
  g_strLayoutTarget = "D\\", g_strProgramPath = "P\\kelvara-setup.exe",
  f.files["P\\kelvara-setup.exe"];
  f.replies[g_strPublicFileBase + "MirrorList.txt"] = {"200", "http://m/n.exe"};
  for (const std::string& name : LayoutFileNames()) {
    const std::string remote = name == "SetupWizard.exe" ? "/" + name : name;
    f.replies[name == "NetFx40.exe" ? "http://m/n.exe" : g_strPublicFileBase + remote];
    f.sha256[WORK + "\\" + name] = std::string(64, static_cast<char>('a' + name.size() % 6));
  }
  f.sizes[WORK + "\\NetFx40.exe"] = 50449456;
  const std::string END = "=kelvara-setup.exe =kelvara-layout.txt";
  EXPECT_EQ(MakeLayout(WORK), 1);
  EXPECT_EQ(f.events,
            "ImagingProbe.exe =ImagingProbe.exe wic_x86_chs.exe =wic_x86_chs.exe "
            "InstallerProbe.exe =InstallerProbe.exe WindowsInstaller.exe "
            "=WindowsInstaller.exe MirrorList.txt http://m/n.exe =NetFx40.exe "
            "/SetupWizard.exe =SetupWizard.exe unrar.dll =unrar.dll ClientSetup.exe "
            "=ClientSetup.exe " +
                END);
  EXPECT_EQ(ParseLayoutManifest(f.files["D\\kelvara-layout.txt"]).digests.size(), 8u);
  f.events.clear(), f.sha256["D\\unrar.dll"] = "0", f.Remove("D\\ClientSetup.exe");
  EXPECT_EQ(MakeLayout(WORK), 1);
  EXPECT_EQ(f.events, "unrar.dll =unrar.dll ClientSetup.exe =ClientSetup.exe " + END);
  f.events.clear(), f.sha256["D\\wic_x86_chs.exe"] = "0";
  f.signatures[WORK + "\\wic_x86_chs.exe"] = std::nullopt;  // refused by its check
  EXPECT_EQ(MakeLayout(WORK), 0);
  EXPECT_EQ(f.events, "wic_x86_chs.exe =kelvara-setup.exe");
  EXPECT_FALSE(f.files.count("D\\wic_x86_chs.exe") || f.files.count("D\\kelvara-layout.txt"));
  g_strLayoutTarget.clear();
}

TEST(RunFolder, NamesLinksAndLeftovers) {
  const unsigned char r[] = {0x0f, 0xa0, 1, 2, 3, 4, 5, 0xff};
  EXPECT_EQ(RunFolderName(r, 8) + "|" + RunFolderName(r, 7) + "|" + SideLogName(r, 8),
            "KelvaraSetup-0fa00102030405ff||kelvara-setup-0fa00102030405ff.log");
  EXPECT_EQ(LinkFound(false, 1) + "|" + LinkFound(true, 1) + "|" + LinkFound(false, 2),
            "|a reparse point|a file with 2 hard links");
  using enum FolderOwner;  // a name, its owner, a reparse point: removed?
  const std::tuple<const char*, FolderOwner, bool, bool> leftovers[] = {
      {"KelvaraSetup-0fa00102030405ff", Administrators, false, true},
      {"kelvarasetup-0FA00102030405FF00", System, false, true},
      {"KelvaraSetup-0fa00102030405ff", Other, false, false},
      {"KelvaraSetup-0fa00102030405ff", System, true, false},
      {"KelvaraSetup-0fa00102030405f", Administrators, false, false},
      {"KelvaraSetup-0fa00102030405fg", Administrators, false, false},
      {"KelvaraSetupX0fa00102030405ff", Administrators, false, false}};
  for (const auto& [name, owner, reparse, removed] : leftovers)
    EXPECT_EQ(IsLeftoverRunFolder(name, owner, reparse), removed) << name << reparse;
}
}  // namespace
