#pragma once
// Drives the state machine on the host: the window side is a log, the
// message queue a deque, and a started job runs to its end right after the
// handler returns, as its thread would.

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/settings.h"
#include "fakes.h"
#include "flow/jobs.h"
#include "flow/steps.h"
#include "system/launcher.h"

using Log = std::vector<std::string>;

inline const std::string WORK = "C:\\Temp\\";
inline const std::string V40_CLIENT = std::string(NDP) + "v4.0\\Client";
inline const std::string V2 = std::string(NDP) + "v2.0.50727";

inline std::string Pair(int stage, int step) {
  return "post " + std::to_string(stage) + "," + std::to_string(step);
}

// The window side: one ordered log of what a person and the queue would see.
class Harness final : public FlowHost, public StepPoster {
 public:
  Harness() {
    Platform p = GetPlatform();
    p.poster = this;
    SetPlatform(p);
    job.strWorkDir = WORK;
  }

  void SetStatus(const std::string& text, bool showBox) override {
    log.push_back((showBox ? "box " : "line ") + text);
  }
  bool CreateJobThread(JobBlock& block) override {
    log.push_back("job " + std::to_string(block.nJobCode));
    if (threadsFail) return false;
    pendingJob = true;
    return true;
  }
  void ShellOpen(const std::string& path) override { log.push_back("open " + path); }
  void Quit() override {
    log.push_back("quit");
    quit = true;
  }
  std::string GetTempDirectory() override { return WORK; }
  void KillStartupTimer() override { log.push_back("kill timer"); }
  void DefaultTimerProcessing() override { log.push_back("default"); }
  void PostStep(int stage, int step) override {
    log.push_back(Pair(stage, step));
    queue.emplace_back(stage, step);
  }

  // Handles one pair; a started job then runs to its end, as its thread would.
  void Handle(int stage, int step) {
    EXPECT_EQ(OnInstallStep(job, *this, stage, step), 1);
    if (pendingJob) {
      pendingJob = false;
      JobThreadProc(&job);
    }
  }
  // Drains the queue as the window thread would, until quit or nothing is left.
  void Run() {
    for (int guard = 0; !queue.empty() && !quit && guard < 500; ++guard) {
      const auto [stage, step] = queue.front();
      queue.pop_front();
      Handle(stage, step);
    }
  }
  Log Take() {
    Log out;
    out.swap(log);
    return out;
  }

  JobBlock job;
  Log log;
  std::deque<std::pair<int, int>> queue;
  bool pendingJob = false;
  bool threadsFail = false;
  bool quit = false;
};

// Serves every file of the public base and records runs by program name.
struct Server {
  explicit Server(FakePlatform& fake) : fake(fake) {
    for (const char* name : {"alive", "ClientSetup.exe", "ImagingProbe.exe", "wic_x86_chs.exe",
                             "InstallerProbe.exe", "WindowsInstaller.exe", "unrar.dll"})
      fake.http.replies[g_strPublicFileBase + name] = FakeReply{"200", name};
    fake.http.replies[g_strPublicFileBase + "/SetupWizard.exe"] = FakeReply{"200", "wizard"};
    fake.http.replies[g_strPublicFileBase + "MirrorList.txt"] =
        FakeReply{"200", "http://m/NetFx40.exe"};
    fake.http.replies["http://m/NetFx40.exe"] = FakeReply{"200", "net"};
    fake.files.sizes[WORK + "\\NetFx40.exe"] = 50449456;
  }
  FakePlatform& fake;
};

inline std::string Quoted(const std::string& name) { return "\"" + WORK + "\\" + name + "\""; }

inline int ExitFor(std::map<std::string, std::vector<int>>& codes, const std::string& commandLine) {
  for (auto& [name, list] : codes)
    if (commandLine.find(name) != std::string::npos && !list.empty()) {
      const int code = list.front();
      if (list.size() > 1) list.erase(list.begin());
      return code;
    }
  return 0;
}
