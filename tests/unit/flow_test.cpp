#include <gtest/gtest.h>

#include "app/settings.h"
#include "flow_harness.h"

namespace {
class Flow : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.system.exitCodeFor = [this](const std::string& c) { return ExitFor(exitCodes, c); };
  }
  FakePlatform fake;
  Server server{fake};
  Harness h;
  std::map<std::string, std::vector<int>> exitCodes;
};

TEST_F(Flow, WholeOldInstallerRouteWithEveryComponentMissing) {
  fake.system.minor = 1;  // Windows 7
  // Probes answer "missing", then "present" when run again after the package.
  exitCodes["ImagingProbe.exe"] = {0, 100};
  exitCodes["InstallerProbe.exe"] = {0, 100};
  // The .NET package "installs" by writing its registry entry.
  exitCodes["NetFx40.exe"] = {0};
  fake.system.exitCodeFor = [this](const std::string& c) {
    if (c.find("NetFx40.exe") != std::string::npos)
      fake.system.keys[V40_CLIENT] = FakeKey{true, true, {1, 0, 0, 0}};
    return ExitFor(exitCodes, c);
  };
  OnTimer(h.job, h);
  h.Run();
  const Log expected = {
      "kill timer",
      "default",
      "line 正在检查软件安装环境...",
      Pair(30000, 100),
      Pair(30000, 101),
      "line 正在下载Windows图像组件（WIC）校验程序，请稍候...",
      "job 30101",
      Pair(30000, 102),
      Pair(30000, 103),
      "job 30103",
      Pair(30000, 104),
      Pair(30000, 105),
      "line 您的系统缺少Windows图像组件（WIC）,正在下载安装，请稍候...",
      "job 30105",
      Pair(30000, 106),
      Pair(30000, 107),
      "line 正在安装Windows图像组件（WIC），请您按提示完成安装...",
      "job 30107",
      Pair(30000, 108),
      Pair(40000, 100),
      Pair(40000, 101),
      "line 正在下载Windows Installer校验程序，请稍候...",
      "job 40101",
      Pair(40000, 102),
      Pair(40000, 103),
      "job 40103",
      Pair(40000, 104),
      Pair(40000, 105),
      "line 您的系统缺少Windows Installer或版本低于3.1，正在下载安装包，请稍候...",
      "job 40105",
      Pair(40000, 106),
      Pair(40000, 107),
      "line 正在安装Windows Installer3.1，请您按提示完成安装...",
      "job 40107",
      Pair(40000, 108),
      Pair(20000, 100),
      Pair(20000, 105),
      "line 系统缺少.NET FRAMEWORK 4.0，正在下载，可能需要较长时间...",
      "job 20105",
      Pair(20000, 106),
      "line 正在安装.NET 4.0软件包，请您按提示完成安装...",
      "job 20107",
      Pair(20000, 108),
      Pair(10000, 105),
      "line 正在下载客户端安装程序，请稍候……",
      "job 10105",
      Pair(10000, 106),
      "open " + WORK + "\\ClientSetup.exe",
      Pair(0, 1),
      "quit"};
  EXPECT_EQ(h.Take(), expected);
  EXPECT_EQ(fake.system.launched,
            (Log{Quoted("ImagingProbe.exe"), Quoted("wic_x86_chs.exe"), Quoted("ImagingProbe.exe"),
                 Quoted("InstallerProbe.exe"), Quoted("WindowsInstaller.exe"),
                 Quoted("InstallerProbe.exe"), Quoted("NetFx40.exe")}));
  EXPECT_EQ(h.job.strWorkDir, WORK);
  EXPECT_EQ(g_strFileBase, g_strPublicFileBase);
}

TEST_F(Flow, RouteTable) {
  struct Case {
    int major, minor;
    bool net4, net2;
    std::string first;
    bool repairText;
    bool net2Probed;
  };
  const Case cases[] = {
      {6, 2, true, true, Pair(10000, 105), false, false},
      {6, 2, false, true, Pair(20000, 100), true, false},
      {6, 3, false, false, Pair(20000, 100), true, false},
      {6, 1, true, true, Pair(10000, 105), false, false},
      {6, 1, false, true, Pair(50000, 100), false, true},
      {6, 0, false, false, Pair(30000, 100), false, true},
      {5, 1, false, true, Pair(50000, 100), false, true},
      {5, 2, false, false, Pair(30000, 100), false, true},
      {5, 0, true, false, Pair(10000, 105), false, false},
      {10, 0, false, true, Pair(50000, 100), false, true},
      {10, 0, false, false, Pair(30000, 100), false, true},
  };
  for (const Case& c : cases) {
    FakePlatform fake2;
    Server server2(fake2);
    Harness h2;
    fake2.system.major = static_cast<std::uint32_t>(c.major);
    fake2.system.minor = static_cast<std::uint32_t>(c.minor);
    if (c.net4) fake2.system.keys[V40_CLIENT] = FakeKey{true, true, {1, 0, 0, 0}};
    if (c.net2) fake2.system.keys[V2] = FakeKey{true, false, {}};
    OnTimer(h2.job, h2);
    Log expected = {"kill timer", "default", "line 正在检查软件安装环境..."};
    if (c.repairText)
      expected.push_back("line 您的系统中缺少默认安装的.NET 4.0 Framework，正在进行修复…");
    expected.push_back(c.first);
    EXPECT_EQ(h2.Take(), expected) << c.major << "." << c.minor << " " << c.net4 << c.net2;
    const auto& opened = fake2.system.opened;
    EXPECT_EQ(std::count(opened.begin(), opened.end(), V2) == 1, c.net2Probed)
        << c.major << "." << c.minor;
  }
}

TEST_F(Flow, UnreachableServerShowsTheBoxAndGoesNoFurther) {
  fake.http.replies.erase(g_strPublicFileBase + "alive");
  OnTimer(h.job, h);
  EXPECT_EQ(h.Take(), (Log{"kill timer", "default", "line 正在检查软件安装环境...",
                           "box 网络连接失败，请联系客服获取技术支持！"}));
  EXPECT_TRUE(fake.system.opened.empty());
  EXPECT_EQ(fake.http.requests, Log{g_strPublicFileBase + "alive"});
}

TEST_F(Flow, PrivateModeChoosesTheIntranetBase) {
  g_bPrivateMode = 1;
  fake.http.replies[g_strIntranetBase + "alive"] = FakeReply{"200", ""};
  OnTimer(h.job, h);
  EXPECT_EQ(g_strFileBase, g_strIntranetBase);
  EXPECT_EQ(fake.http.requests.front(), g_strIntranetBase + "alive");
}

TEST_F(Flow, GuardsFallBackWhenAProbeRaises) {
  struct Case {
    std::uint32_t major, minor;
    std::string box, pair;
  };
  const Case cases[] = {
      {6, 2, "box 未能成功启动安装程序，请联系客服获取技术支持！", Pair(10000, 105)},
      {6, 1, "box 未能成功运行安装向导，正在使用旧版安装程序重试", Pair(20000, 100)},
      {6, 0, "box 未能成功运行安装向导，正在使用旧版安装程序重试", Pair(20000, 100)},
      {5, 1, "box 未能成功运行安装向导，正在使用旧版安装程序重试", Pair(30000, 100)},
      {10, 0, "box 未能成功运行安装向导，正在使用旧版安装程序重试", Pair(30000, 100)},
  };
  for (const Case& c : cases) {
    FakePlatform fake2;
    Server server2(fake2);
    Harness h2;
    fake2.system.major = c.major;
    fake2.system.minor = c.minor;
    fake2.system.registryThrows = true;
    OnTimer(h2.job, h2);
    EXPECT_EQ(h2.Take(),
              (Log{"kill timer", "default", "line 正在检查软件安装环境...", c.box, c.pair}))
        << c.major << "." << c.minor;
  }
}

TEST(TempDirectory, FallsBackToDriveC) {
  EXPECT_EQ(TempDirectoryFromPath(0, ""), "C:\\");
  EXPECT_EQ(TempDirectoryFromPath(261, "ignored"), "C:\\");
  EXPECT_EQ(TempDirectoryFromPath(9, "C:\\TEMP\\"), "C:\\TEMP\\");
  EXPECT_EQ(TempDirectoryFromPath(260, std::string(259, 'x') + "\\"), std::string(259, 'x') + "\\");
}
}  // namespace
