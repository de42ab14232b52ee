#include <gtest/gtest.h>

#include "flow_harness.h"

namespace {
// One pair handled with the job block as given; jobs are recorded, not run.
class Step : public ::testing::Test {
 protected:
  Log Handle(int stage, int step) {
    EXPECT_EQ(OnInstallStep(h.job, h, stage, step), 1);
    h.pendingJob = false;
    return h.Take();
  }
  FakePlatform fake;
  Harness h;
};

TEST_F(Step, ControlAndUnlistedPairs) {
  EXPECT_EQ(Handle(0, 0), Log{});
  EXPECT_EQ(h.job.nJobCode, 0);
  EXPECT_EQ(Handle(0, 7), Log{});
  EXPECT_EQ(Handle(0, 1), Log{"quit"});
  for (auto [stage, step] : {std::pair{20000, 101},
                             {20000, 107},
                             {50000, 103},
                             {10000, 100},
                             {10000, 108},
                             {12345, 100},
                             {30000, 99},
                             {30000, 109},
                             {-1, 1}}) {
    h.job.nJobCode = 777;
    EXPECT_EQ(Handle(stage, step), Log{}) << stage << "," << step;
    EXPECT_EQ(h.job.nJobCode, stage) << stage << "," << step;
  }
  EXPECT_TRUE(fake.system.launched.empty());
}

TEST_F(Step, ClientStage) {
  EXPECT_EQ(Handle(10000, 105), (Log{"line 正在下载客户端安装程序，请稍候……", "job 10105"}));
  EXPECT_EQ(h.job.nJobCode, 10105);
  h.job.strFilePath = "";
  EXPECT_EQ(
      Handle(10000, 106),
      (Log{"box 未能正确下载软件安装程序包，请检查安装程序是否正在运行，或联系客服获取技术支持！",
           Pair(0, 0)}));
  h.job.strFilePath = "Z:\\does not exist.exe";
  EXPECT_EQ(Handle(10000, 106), (Log{"open Z:\\does not exist.exe", Pair(0, 1)}));
}

TEST_F(Step, DotNetStage) {
  EXPECT_EQ(Handle(20000, 100), Log{Pair(20000, 105)});
  EXPECT_EQ(Handle(20000, 105),
            (Log{"line 系统缺少.NET FRAMEWORK 4.0，正在下载，可能需要较长时间...", "job 20105"}));
  h.job.strFilePath = "";
  EXPECT_EQ(Handle(20000, 106),
            (Log{"box 对不起，服务器繁忙，请稍后重试。也可自行安装.NET 4.0或更高版本后再运行程序。",
                 Pair(0, 0)}));
  h.job.strFilePath = "C:\\p";
  EXPECT_EQ(Handle(20000, 106),
            (Log{"line 正在安装.NET 4.0软件包，请您按提示完成安装...", "job 20107"}));
  EXPECT_EQ(h.job.nJobCode, 20107);
  h.job.nJobResult = 0;
  EXPECT_EQ(Handle(20000, 108),
            (Log{"box 无法正常安装.NET 4.0软件包，请联系客服获取技术支持！", Pair(0, 0)}));
  h.job.nJobResult = 1;
  EXPECT_EQ(Handle(20000, 108),
            (Log{"box 程序所需.NET 4.0软件包无法正常安装，请联系客服获取技术支持！", Pair(0, 0)}));
  fake.system.keys[V40_CLIENT] = FakeKey{true, true, {1, 0, 0, 0}};
  EXPECT_EQ(Handle(20000, 108), Log{Pair(10000, 105)});
  EXPECT_EQ(Handle(20000, 100), Log{Pair(10000, 105)});
}

struct ComponentCase {
  int stage, next;
  const char *t1, *t2, *t3, *t4, *t5, *t6, *t7;
};

const ComponentCase COMPONENTS[] = {
    {30000, 40000, "正在下载Windows图像组件（WIC）校验程序，请稍候...",
     "对不起，服务器繁忙，无法下载Windows图像组件（WIC）校验程序，请稍后重试！",
     "您的系统缺少Windows图像组件（WIC）,正在下载安装，请稍候...",
     "对不起，服务器繁忙，无法下载Windows图像组件（WIC）安装程序，请稍后重试！",
     "正在安装Windows图像组件（WIC），请您按提示完成安装...",
     "无法正常安装Windows图像组件（WIC），请联系客服获取技术支持！",
     "程序所需Windows图像组件（WIC）无法正常安装，请联系客服获取技术支持！"},
    {40000, 20000, "正在下载Windows Installer校验程序，请稍候...",
     "对不起，服务器繁忙，无法下载Windows Installer校验程序，请稍后重试！",
     "您的系统缺少Windows Installer或版本低于3.1，正在下载安装包，请稍候...",
     "对不起，服务器繁忙，无法下载Windows Installer3.1安装程序，请稍后重试！",
     "正在安装Windows Installer3.1，请您按提示完成安装...",
     "无法正常安装Windows Installer3.1，请联系客服获取技术支持！",
     "程序所需Windows Installer3.1无法正常安装，请联系客服获取技术支持！"},
};

TEST_F(Step, ComponentStages) {
  using std::string;
  for (const ComponentCase& c : COMPONENTS) {
    const int s = c.stage;
    EXPECT_EQ(Handle(s, 100), Log{Pair(s, 101)});
    EXPECT_EQ(Handle(s, 101), (Log{"line " + string(c.t1), "job " + std::to_string(s + 101)}));
    h.job.strFilePath = "";
    EXPECT_EQ(Handle(s, 102), (Log{"box " + string(c.t2), Pair(0, 0)}));
    h.job.strFilePath = "C:\\probe " + std::to_string(s) + ".exe";
    EXPECT_EQ(Handle(s, 102), Log{Pair(s, 103)});
    EXPECT_EQ(Handle(s, 103), Log{"job " + std::to_string(s + 103)});
    EXPECT_EQ(g_strProbePath, h.job.strFilePath);
    h.job.nJobResult = 0;
    EXPECT_EQ(Handle(s, 104), Log{Pair(s, 105)});
    h.job.nJobResult = 1;
    EXPECT_EQ(Handle(s, 104), Log{Pair(c.next, 100)});
    EXPECT_EQ(Handle(s, 105), (Log{"line " + string(c.t3), "job " + std::to_string(s + 105)}));
    h.job.strFilePath = "";
    EXPECT_EQ(Handle(s, 106), (Log{"box " + string(c.t4), Pair(0, 0)}));
    h.job.strFilePath = "C:\\package.exe";
    EXPECT_EQ(Handle(s, 106), Log{Pair(s, 107)});
    EXPECT_EQ(Handle(s, 107), (Log{"line " + string(c.t5), "job " + std::to_string(s + 107)}));
    h.job.nJobResult = 0;
    EXPECT_EQ(Handle(s, 108), (Log{"box " + string(c.t6), Pair(0, 0)}));

    // The re-run takes the saved probe, not the package in strFilePath.
    const string probe = "\"C:\\probe " + std::to_string(s) + ".exe\"";
    h.job.nJobResult = 1;
    fake.system.launched.clear();
    for (int code : {0, 101, LAUNCH_FAILED}) {
      fake.system.exitCodeFor = [code](const string&) { return code; };
      EXPECT_EQ(Handle(s, 108), (Log{"box " + string(c.t7), Pair(0, 0)})) << code;
    }
    fake.system.exitCodeFor = [](const string&) { return 100; };
    EXPECT_EQ(Handle(s, 108), Log{Pair(c.next, 100)});
    EXPECT_EQ(fake.system.launched, (Log{probe, probe, probe, probe}));
  }
}

TEST_F(Step, WizardStage) {
  EXPECT_EQ(Handle(50000, 100), Log{Pair(50000, 105)});
  EXPECT_EQ(Handle(50000, 105), (Log{"line 正在下载安装向导，请稍候…", "job 50105"}));
  h.job.strFilePath = "";
  // The halt comes after the fallback's first pair, so it does not stop it.
  EXPECT_EQ(Handle(50000, 106), (Log{"box 未能成功下载安装向导，正在使用旧版安装程序重试",
                                     Pair(30000, 100), Pair(0, 0)}));
  h.job.strFilePath = "C:\\w.exe";
  EXPECT_EQ(Handle(50000, 106), Log{Pair(50000, 107)});
  EXPECT_EQ(Handle(50000, 107), (Log{"line 正在运行安装向导，请您按提示完成安装...", "job 50107"}));
  h.job.nJobResult = 1;
  EXPECT_EQ(Handle(50000, 108), Log{Pair(0, 1)});
  h.job.nJobResult = 0;
  EXPECT_EQ(Handle(50000, 108),
            (Log{"box 安装向导运行异常，正在使用旧版安装程序重试", Pair(30000, 100), Pair(0, 0)}));
}

TEST_F(Step, WizardFallbackRunsTheOldRouteDespiteTheHalt) {
  Server server(fake);
  fake.http.replies.erase(g_strPublicFileBase + "/SetupWizard.exe");
  fake.system.exitCodeFor = [](const std::string&) { return PROBE_FOUND; };
  fake.system.keys[V40_CLIENT] = FakeKey{true, true, {1, 0, 0, 0}};
  h.queue.emplace_back(50000, 100);
  h.Run();
  const Log log = h.Take();
  const auto box =
      std::find(log.begin(), log.end(), "box 未能成功下载安装向导，正在使用旧版安装程序重试");
  ASSERT_NE(box, log.end());
  EXPECT_EQ(*(box + 1), Pair(30000, 100));
  EXPECT_EQ(*(box + 2), Pair(0, 0));
  EXPECT_EQ(*(box + 3), Pair(30000, 101));
  EXPECT_EQ(log.back(), "quit");
}

TEST_F(Step, ThreadThatCannotStartFailsTheJobVisibly) {
  h.threadsFail = true;
  h.job.strFilePath = "C:\\old.exe";
  h.queue.emplace_back(10000, 105);
  h.Run();
  EXPECT_EQ(
      h.Take(),
      (Log{"line 正在下载客户端安装程序，请稍候……", "job 10105", Pair(10000, 106),
           "box 未能正确下载软件安装程序包，请检查安装程序是否正在运行，或联系客服获取技术支持！",
           Pair(0, 0)}));
}
}  // namespace
