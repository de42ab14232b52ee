#include <gtest/gtest.h>

#include "app/settings.h"
#include "ui/status.h"

namespace {
using Args = std::vector<std::string>;

TEST(CommandLine, OnlyAnExactFirstArgumentSelectsPrivateMode) {
  EXPECT_FALSE(IsPrivateModeCommandLine(Args{}));
  EXPECT_FALSE(IsPrivateModeCommandLine(Args{"setup.exe"}));
  EXPECT_TRUE(IsPrivateModeCommandLine(Args{"setup.exe", "private"}));
  EXPECT_TRUE(IsPrivateModeCommandLine(Args{"setup.exe", "private", "more", "args"}));
  for (const char* other :
       {"PRIVATE", "Private", "-private", "/private", "privates", "private ", "\"private\"", ""})
    EXPECT_FALSE(IsPrivateModeCommandLine(Args{"setup.exe", other})) << other;
  EXPECT_FALSE(IsPrivateModeCommandLine(Args{"setup.exe", "x", "private"}));
}

TEST(Settings, BaseAddressesEndWithASlash) {
  EXPECT_EQ(g_strIntranetBase, "http://" KELVARA_INTRANET_HOST "/qorv/");
  EXPECT_EQ(g_strPublicFileBase, "http://" KELVARA_PUBLIC_FILE_HOST "/qorv/");
  EXPECT_EQ(g_strDotNet4PackageUrl,
            "http://" KELVARA_DOWNLOAD_HOST "/download/vumel/qorv/NetFx40.exe");
}

TEST(Status, LineIndentAndBoxTrim) {
  EXPECT_EQ(StatusLineText("正在检查软件安装环境..."), "    正在检查软件安装环境...");
  EXPECT_EQ(StatusLineText(""), "    ");
  EXPECT_EQ(StatusBoxText(""), "");
  EXPECT_EQ(StatusBoxText(" \t\r\n\v\f网络连接失败 "), "网络连接失败 ");
  EXPECT_EQ(StatusBoxText("  "), "");
  // Full-width blanks are text, not white space.
  EXPECT_EQ(StatusBoxText("\xE3\x80\x80x"), "\xE3\x80\x80x");
}

TEST(Status, MessageBoxCaptionIsTheProgramName) {
  EXPECT_EQ(AppNameFromModulePath("C:\\Program Files\\kelvara-setup.exe"), "kelvara-setup");
  EXPECT_EQ(AppNameFromModulePath("C:\\a.b\\setup"), "setup");
  EXPECT_EQ(AppNameFromModulePath("kelvara.setup.exe"), "kelvara.setup");
}

TEST(Status, MinimisedIconIsCentred) {
  EXPECT_EQ(CentredIconOffset(160, 32), 64);
  EXPECT_EQ(CentredIconOffset(161, 32), 65);
  EXPECT_EQ(CentredIconOffset(20, 32), -5);  // truncates towards zero
}
}  // namespace
