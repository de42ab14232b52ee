#pragma once
// One stand-in for every platform seam and the window side, logging each call as an event.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "app/digests.h"
#include "app/platform.h"
#include "app/settings.h"
#include "flow/steps.h"
#include "system/launcher.h"
#include "system/run_check.h"

using namespace kelvara;

inline const std::string WORK = "C:\\T\\";    // the temporary directory, as the system gives it
inline const std::string RUN = "C:\\R\\";     // the run folder
inline const std::string ONE("\1\0\0\0", 4);  // "Install" = 1
inline const SignatureFacts MS_SIGNED = {0, 0, 0, "ra", "Microsoft Corporation"};

// What a person reads, by the short names the route rows use (the texts' one copy).
inline const std::map<std::string, std::string> TEXTS = [] {
  std::map<std::string, std::string> texts;
  std::ifstream file(KELVARA_TEXTS_FILE);
  for (std::string name, text; file >> name && std::getline(file >> std::ws, text);)
    texts[text] = name;
  return texts;
}();

template <class V>
std::optional<V> Find(std::map<std::string, V>& map, const std::string& key) {
  return map.count(key) ? std::optional(map[key]) : std::nullopt;
}

// One answer of the server; each request reads its own copy from the start.
struct Reply : HttpResponse {
  std::string status, body, len, head;  // len "auto": the body's size; head "Name: value\n"...
  std::size_t chunk, cut, at = 0;       // the most a read gives; reads throw from offset cut on
  Reply(std::string s = "200", std::string b = "", std::string l = "auto", size_t c = SIZE_MAX,
        size_t k = SIZE_MAX, std::string h = "")
      : status(s), body(b), len(l), head(h), chunk(c), cut(k) {}
  std::string StatusText() override { return status; }
  std::string HeaderText(const std::string& name) override {
    const auto at = ("\n" + head).find("\n" + name + ": "), from = at + name.size() + 2;
    if (name == "Content-Length") return len == "auto" ? std::to_string(body.size()) : len;
    return at == std::string::npos ? "" : head.substr(from, head.find('\n', at) - from);
  }
  std::size_t Read(char* out, std::size_t size) override {
    if (at >= cut) throw PlatformError("connection reset");
    const std::size_t n = body.copy(out, std::min(size, chunk), at);
    return at += n, n;
  }
};

struct File : LocalFile {
  std::string& data;
  explicit File(std::string& d) : data(d) {}
  void Write(const char* bytes, std::size_t size) override { data.append(bytes, size); }
  void Close() override {}
};

struct Session : HttpSession {
  HttpSession& fake;
  explicit Session(HttpSession& f) : fake(f) {}
  std::unique_ptr<HttpResponse> OpenUrl(const std::string& u, const std::string& h) override {
    return fake.OpenUrl(u, h);
  }
};

inline void Add(std::string& to, const std::string& s) { to += (to.empty() ? "" : " ") + s; }
inline bool Has(const std::string& s, const std::string& part) { return s.find(part) != s.npos; }
inline std::string Short(std::string path) {  // "C:\T\\NAME" and its copy "C:\R\NAME" show as NAME
  if (!path.rfind(RUN, 0)) return path.erase(0, RUN.size());
  return path.rfind(WORK + "\\", 0) ? path : path.erase(0, WORK.size() + 1);
}

struct Fake : HttpClient, HttpSession, FileSystem, SystemApi, JobRunner, RandomSource, FlowHost {
  std::string events, opened;             // opened: registry keys below NDP, in turn
  std::map<std::string, Reply> replies;   // an address not listed cannot be opened
  std::deque<std::optional<Reply>> rest;  // answers to requests with a Range, in turn
  std::map<std::string, std::string> files, sha256, keys;  // keys: "Install" data; "-": refused
  std::map<std::string, std::uint64_t> sizes;
  std::map<std::string, std::optional<SignatureFacts>> signatures;  // unless given: MS_SIGNED
  std::map<std::string, std::deque<int>> exits;  // program: exit codes in turn, the last stays
  std::deque<std::pair<int, int>> queue;
  std::string locked, holds;  // locked: cannot be created or held; holds: +held -released >run
  std::multiset<std::string> held;  // by name, now
  unsigned major = 6, minor = 1, stall = 0;
  int throws = 0, open = 0, threads = 1000, draw = 0;  // draw: what every rand() gives
  bool quit = false, net4Installs = true;              // by its package

  Fake() {
    SetPlatform({this, this, this, this, this}), g_strFileBase = g_strPublicFileBase;
    SetSignersForTest({{"Microsoft Corporation", {"ra"}}, {}});
  }
  ~Fake() override {
    SetPlatform({}), SetPinnedDigestsForTest({}), g_bPrivateMode = 0;
    g_uiMode = UiMode::Interactive, g_bRestartRequested = g_bLastRunAskedRestart = false;
  }

  std::unique_ptr<HttpSession> OpenSession(unsigned ms) override {
    return stall = ms, std::make_unique<Session>(*this);
  }
  void Pause(unsigned ms) override { Add(events, "wait" + std::to_string(ms)); }
  // A request for the rest shows as [FROM- VALIDATOR].
  std::unique_ptr<HttpResponse> OpenUrl(const std::string& url, const std::string& head) override {
    std::string shown = url == g_strDotNet4PackageUrl ? "default" : url;  // served files by name
    if (!shown.rfind(g_strIntranetBase, 0)) shown = "i:" + shown.substr(g_strIntranetBase.size());
    if (!shown.rfind(g_strPublicFileBase, 0)) shown.erase(0, g_strPublicFileBase.size());
    std::string range = std::regex_replace(head, std::regex("(If-)?Range: (bytes=)?|\r\n$"), "");
    range = std::regex_replace(range, std::regex("\r\n"), " ");
    Add(events, shown + (head.empty() ? "" : "[" + range + "]"));
    if (head.empty()) return replies.count(url) ? std::make_unique<Reply>(replies[url]) : nullptr;
    std::optional<Reply> next = rest.empty() ? std::nullopt : rest.front();
    if (!rest.empty()) rest.pop_front();
    return next ? std::make_unique<Reply>(*next) : nullptr;
  }

  std::unique_ptr<LocalFile> CreateExclusive(const std::string& path, unsigned long* e) override {
    EXPECT_NE(path.rfind("L\\", 0), 0u) << path << ": a layout is never written";
    if (path == locked || held.count(Short(path))) return *e = 32, nullptr;  // a sharing violation
    return std::make_unique<File>(files[path] = "");
  }
  std::unique_ptr<LocalFile> OpenExclusiveAtEnd(const std::string& path) override {
    return files.count(path) && path != locked ? std::make_unique<File>(files[path]) : nullptr;
  }
  std::optional<std::string> ReadAll(const std::string& p) override { return Find(files, p); }
  // Unless given, a file's size and digest ("#" + content) come from what it holds.
  struct Held : HeldFile {  // sizes and digests are read through it only
    Fake& f;
    std::string path;
    Held(Fake& fake, std::string p) : f(fake), path(p) { Add(f.holds, "+" + Short(p)); }
    ~Held() override { Add(f.holds, "-" + Short(path)), f.held.erase(f.held.find(Short(path))); }
    std::optional<std::uint64_t> Size() override {
      return f.sizes.count(path) || !f.files.count(path) ? Find(f.sizes, path)
                                                         : f.files[path].size();
    }
    std::optional<std::string> Sha256Hex() override {  // "?": cannot be computed
      const auto d =
          f.sha256.count(path) || !f.files.count(path) ? Find(f.sha256, path) : "#" + f.files[path];
      return d == "?" ? std::nullopt : d;
    }
    std::optional<SignatureFacts> Signature() override {
      return f.signatures.count(path) ? f.signatures[path] : MS_SIGNED;
    }
  };
  std::unique_ptr<HeldFile> OpenHeld(const std::string& p, unsigned long* e) override {
    if (p == locked) return *e = 5, nullptr;
    return held.insert(Short(p)), std::make_unique<Held>(*this, p);
  }
  std::string RunFolder() override { return RUN; }
  std::unique_ptr<HeldFile> CopyHeld(HeldFile& from, const std::string& p,
                                     unsigned long* e) override {
    const std::string source = static_cast<Held&>(from).path;
    if (p == locked) return *e = 80, nullptr;
    for (auto* map : {&files, &sha256})
      if (map->count(source)) (*map)[p] = (*map)[source];
    if (sizes.count(source)) sizes[p] = sizes[source];
    if (signatures.count(source)) signatures[p] = signatures[source];
    return OpenHeld(p, e);
  }

  bool MakeFolder(const std::string& p, unsigned long* e) override { return *e = 3, p != locked; }
  bool Publish(const std::string& p, HeldFile* from, const std::string& text,
               unsigned long* e) override {  // shows as =NAME
    Add(events, "=" + p.substr(p.find_last_of('\\') + 1));
    if (!from) return files[p] = text, true;
    return CopyHeld(*from, p, e) != nullptr;
  }
  void Remove(const std::string& p) override { files.erase(p), sha256.erase(p); }

  bool GetWindowsVersion(unsigned* a, unsigned* b) override { return *a = major, *b = minor, *a; }
  bool OpenKey(const std::string& subkey, RegKey* key) override {
    const std::string name = subkey.substr(subkey.find("NDP\\") + 4);
    Add(opened, name);
    if (name == "v4.0\\Client") Add(events, "?4");
    if (throws-- > 0) throw PlatformError("registry");
    return (*key = keys.count(name) ? ++open : 0) != 0;
  }
  bool OpenKeyFullAccess(const std::string& subkey, RegKey* key) override {
    const auto it = keys.find(subkey.substr(subkey.find("NDP\\") + 4));
    return Add(events, "?2"), (*key = it != keys.end() && it->second != "-" ? ++open : 0) != 0;
  }
  bool QueryValue(RegKey, const std::string& name, unsigned char* data, uint32_t* size) override {
    const std::string& value = keys[opened.substr(opened.rfind(' ') + 1)];  // the one open key
    if (name != "Install" || value.empty() || value.size() > *size) return false;
    *size = static_cast<uint32_t>(value.copy(reinterpret_cast<char*>(data), *size));
    return true;
  }
  void CloseKey(RegKey) override { --open; }
  int Run(const std::string& line, const std::string& dir, bool wait, unsigned long* e) override {
    std::string shown =
        line;  // "C:\R\NAME" ARGS, run in C:\R\, shows as 'NAME' ARGS (start: no wait)
    if (shown.rfind("\"" + RUN, 0) == 0) shown.erase(1, RUN.size());
    if (dir != RUN) Add(events, "in " + dir);
    std::replace(shown.begin(), shown.end(), '"', '\'');
    Add(events, (wait ? ">" : "start ") + shown);
    const std::string name = shown.substr(1, shown.find('\'', 1) - 1);
    EXPECT_TRUE(held.count(name)) << name << " started while not held";
    Add(holds, ">" + name);
    std::deque<int>& codes = exits[name];
    const int code = codes.empty() ? 0 : codes.front();
    if (codes.size() > 1) codes.pop_front();
    if (!shown.rfind("'NetFx40.exe'", 0) && net4Installs) keys["v4.0\\Client"] = ONE;
    return *e = code == -10000 ? 2 : 0, wait || code == -10000 ? code : 0;
  }

  // Stage starts and the halt pair show by name; a job runs at once (a handler starts it last).
  void PostStep(int stage, int step) override {
    static const char* const names[] = {"HALT", "CLIENT", "NET4", "WIC", "MSI", "WIZARD"};
    if (step == (stage == 0 ? 0 : stage == 10000 ? 105 : 100)) Add(events, names[stage / 10000]);
    queue.emplace_back(stage, step);
  }
  bool StartThread(unsigned (*w)(void*), void* p) override { return threads-- > 0 && (w(p), 1); }
  void Seed() override {}
  int Next() override { return draw; }

  void SetStatus(const std::string& text, bool box) override {  // a box shows as !name
    Add(events, (box ? "!" : "") + (TEXTS.count(text) ? TEXTS.at(text) : text));
  }
  void Quit(int code) override {
    Add(events, code ? "EXIT" + std::to_string(code) : "QUIT"), quit = true;
  }
  std::string GetTempDirectory() override { return WORK; }
  void KillStartupTimer() override {}
  void DefaultTimerProcessing() override {}
};
