#include <gtest/gtest.h>

#include "flow_harness.h"

namespace {
struct JobCase {
  int code;
  std::string request;  // the download's first address, or "" for a run job
  std::string program;  // the run job's command line
  int replyStage, replyStep;
};

class Jobs : public ::testing::Test {
 protected:
  FakePlatform fake;
  Harness h;
};

TEST_F(Jobs, TableOperationsResultsAndReplies) {
  const std::string base = g_strPublicFileBase;
  const JobCase cases[] = {
      {10105, base + "ClientSetup.exe", "", 10000, 106},
      {20105, base + "MirrorList.txt", "", 20000, 106},
      {30101, base + "ImagingProbe.exe", "", 30000, 102},
      {30105, base + "wic_x86_chs.exe", "", 30000, 106},
      {40101, base + "InstallerProbe.exe", "", 40000, 102},
      {40105, base + "WindowsInstaller.exe", "", 40000, 106},
      {50105, base + "/SetupWizard.exe", "", 50000, 106},
      {20107, "", "\"C:\\p.exe\"", 20000, 108},
      {30103, "", "\"C:\\p.exe\"", 30000, 104},
      {30107, "", "\"C:\\p.exe\"", 30000, 108},
      {40103, "", "\"C:\\p.exe\"", 40000, 104},
      {40107, "", "\"C:\\p.exe\"", 40000, 108},
      {50107, "", "\"C:\\p.exe\"", 50000, 108},
  };
  fake.files.sizes["C:\\p.exe"] = 50449456;
  fake.system.exitCodeFor = [](const std::string&) { return 100; };
  for (const JobCase& c : cases) {
    fake.http.requests.clear();
    fake.system.launched.clear();
    h.queue.clear();
    h.job = JobBlock{c.code, 7, WORK, "C:\\p.exe"};
    EXPECT_EQ(JobThreadProc(&h.job), 0u);
    EXPECT_EQ(h.job.nJobCode, c.code);
    EXPECT_EQ(h.job.strWorkDir, WORK);
    if (!c.request.empty()) {
      // A failed download empties the path even when it held one.
      ASSERT_FALSE(fake.http.requests.empty()) << c.code;
      EXPECT_EQ(fake.http.requests.front(), c.request);
      EXPECT_EQ(h.job.strFilePath, "") << c.code;
      EXPECT_EQ(h.job.nJobResult, 7) << c.code;
      EXPECT_TRUE(fake.system.launched.empty());
    } else {
      EXPECT_EQ(fake.system.launched, Log{c.program}) << c.code;
      EXPECT_EQ(h.job.nJobResult, 1) << c.code;
      EXPECT_EQ(h.job.strFilePath, "C:\\p.exe");
      EXPECT_TRUE(fake.http.requests.empty());
    }
    EXPECT_EQ(h.queue, (std::deque<std::pair<int, int>>{{c.replyStage, c.replyStep}})) << c.code;
  }
}

TEST_F(Jobs, RunJobsLeaveZeroOrOne) {
  fake.system.exitCodeFor = [](const std::string&) { return 7; };
  for (int code : {30103, 40103}) {
    h.job = JobBlock{code, 5, WORK, "C:\\probe.exe"};
    JobThreadProc(&h.job);
    EXPECT_EQ(h.job.nJobResult, 0) << code;
  }
  // A wrong-size package: nothing runs, the reply still comes.
  h.queue.clear();
  h.job = JobBlock{20107, 5, WORK, "C:\\short.exe"};
  fake.files.sizes["C:\\short.exe"] = 50449455;
  fake.system.launched.clear();
  JobThreadProc(&h.job);
  EXPECT_EQ(h.job.nJobResult, 0);
  EXPECT_TRUE(fake.system.launched.empty());
  EXPECT_EQ(h.queue.size(), 1u);
}

TEST_F(Jobs, DownloadWritesThePathItGot) {
  fake.http.replies[g_strPublicFileBase + "ImagingProbe.exe"] = FakeReply{"200", "p"};
  h.job = JobBlock{30101, 0, WORK, ""};
  JobThreadProc(&h.job);
  EXPECT_EQ(h.job.strFilePath, WORK + "\\ImagingProbe.exe");
}

TEST_F(Jobs, CodesOutsideTheTableDoNothing) {
  for (int code : {0, 10000, 10106, 20101, 30100, 30108, 50101, 60105, -30101}) {
    h.job = JobBlock{code, 5, WORK, "C:\\x"};
    EXPECT_EQ(JobThreadProc(&h.job), 0u);
    EXPECT_EQ(h.job.nJobResult, 5);
    EXPECT_EQ(h.job.strFilePath, "C:\\x");
    EXPECT_FALSE(IsJobCode(code));
  }
  EXPECT_TRUE(h.queue.empty());
  EXPECT_TRUE(fake.http.requests.empty());
  EXPECT_TRUE(fake.system.launched.empty());
}

TEST_F(Jobs, PrivateModeWizardRun) {
  g_bPrivateMode = 1;
  h.job = JobBlock{50107, 0, WORK, "C:\\T\\\\SetupWizard.exe"};
  JobThreadProc(&h.job);
  EXPECT_EQ(fake.system.launched, Log{"\"C:\\T\\\\SetupWizard.exe\" private"});
}
}  // namespace
