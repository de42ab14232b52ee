// The welcome and progress dialogs, driven through their real windows. No
// server answers here, so nothing gets past the connectivity test.
#include <gtest/gtest.h>

#include "ui_driver.h"

namespace {
using ui::FromUtf8;

const std::wstring CAPTION = FromUtf8("Kelvara自动安装向导");
const std::wstring WELCOME_TEXT = FromUtf8(
    "首先确保您的网络畅通。\r\n\r\n"
    "自动安装向导需要连接 \"Kelvara\" 服务器，下载软件所需的相关文件。\r\n\r\n"
    "其中，自动安装向导会根据您电脑的环境下载安装 \"Kelvara\" "
    "软件运行必备的系统软件，该过程耗时可能比较长。\r\n\r\n"
    "在安装过程中，向导需要与您交互，请按提示操作。\r\n\r\n"
    "点击开始安装 继续。");
const std::wstring FIRST_STATUS = FromUtf8("    欢迎使用...");

class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ui::Start(ui::Env(L"KELVARA_SETUP_EXE"), L"", &app)) << "cannot start the wizard";
    welcome = ui::FindDialog(app.pid, CAPTION, IDOK, 15000);
    ASSERT_NE(welcome, nullptr) << "no welcome dialog";
  }
  // Start, and the progress dialog while it still shows its first line.
  HWND StartProgress(bool byEnter) {
    if (byEnter)
      ui::PressKey(welcome, VK_RETURN);
    else
      ui::Click(welcome, IDOK);
    return ui::FindDialog(app.pid, CAPTION, 1001, 10000);
  }
  void Shot(HWND window, const wchar_t* name) {
    const std::wstring dir = ui::Env(L"KELVARA_SHOT_DIR");
    if (!dir.empty()) {
      EXPECT_TRUE(ui::SaveWindowBitmap(window, dir + L"\\" + name + L".bmp"));
    }
  }
  ui::Process app;
  HWND welcome = nullptr;
};

TEST_F(Shell, WelcomeDialogTextsAndCancel) {
  EXPECT_EQ(ui::Text(welcome), CAPTION);
  EXPECT_EQ(ui::ControlText(welcome, IDOK), FromUtf8("开始"));
  EXPECT_EQ(ui::ControlText(welcome, IDCANCEL), FromUtf8("取消"));
  HWND text = ui::FindChildByTextPrefix(welcome, FromUtf8("首先"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(ui::Text(text), WELCOME_TEXT);
  EXPECT_EQ(GetDlgCtrlID(text), 0xFFFF);  // id -1
  EXPECT_TRUE(GetWindowLongW(GetDlgItem(welcome, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
  Sleep(300);
  Shot(welcome, L"welcome");
  ui::Click(welcome, IDCANCEL);
  ASSERT_TRUE(app.WaitForExit(10000));
  EXPECT_EQ(app.exitCode, 0u);
  EXPECT_EQ(ui::FindDialog(app.pid, CAPTION, 1001, 0), nullptr);
}

TEST_F(Shell, EscapeAndCloseBoxEndTheWelcomeDialog) {
  ui::PressKey(welcome, VK_ESCAPE);
  ASSERT_TRUE(app.WaitForExit(10000));
  EXPECT_EQ(app.exitCode, 0u);

  ui::Process second;
  ASSERT_TRUE(ui::Start(ui::Env(L"KELVARA_SETUP_EXE"), L"", &second));
  HWND dialog = ui::FindDialog(second.pid, CAPTION, IDOK, 15000);
  ASSERT_NE(dialog, nullptr);
  PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(second.WaitForExit(10000));
  EXPECT_EQ(second.exitCode, 0u);
}

TEST_F(Shell, EnterRunsStartAndCancelEndsTheProcess) {
  HWND progress = StartProgress(true);
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(ui::ControlText(progress, 1000), FIRST_STATUS);
  EXPECT_FALSE(IsWindowVisible(welcome));
  EXPECT_EQ(ui::ControlText(progress, 1001), FromUtf8("取消"));
  EXPECT_TRUE(GetWindowLongW(progress, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  Sleep(200);  // the banner paints a little after the window appears
  Shot(progress, L"progress");
  ui::Click(progress, 1001);
  ASSERT_TRUE(app.WaitForExit(10000));
  EXPECT_EQ(app.exitCode, 0u);
}

TEST_F(Shell, UnreachableServerBoxThenCancel) {
  HWND progress = StartProgress(false);
  ASSERT_NE(progress, nullptr);
  HWND box = ui::FindMessageBox(app.pid, CAPTION, 20000);
  ASSERT_NE(box, nullptr);
  const std::wstring text = FromUtf8("网络连接失败，请联系客服获取技术支持！");
  EXPECT_EQ(ui::ControlText(box, 0xFFFF), text);
  EXPECT_EQ(ui::Text(box), L"kelvara-setup");  // the program's name as caption
  EXPECT_EQ(ui::ControlText(progress, 1000), L"    " + text);
  Shot(box, L"network-box");
  ui::Click(box, IDOK);
  Sleep(300);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(progress, 1001)));
  EXPECT_EQ(app.WaitForExit(500), false) << "the dialog stays until Cancel";
  ui::Click(progress, 1001);
  ASSERT_TRUE(app.WaitForExit(10000));
  EXPECT_EQ(app.exitCode, 0u);
}

TEST_F(Shell, EscapeOnTheProgressDialogEndsThroughTheFramework) {
  HWND progress = StartProgress(false);
  ASSERT_NE(progress, nullptr);
  ui::PressKey(progress, VK_ESCAPE);
  ASSERT_TRUE(app.WaitForExit(10000));
  EXPECT_EQ(app.exitCode, 0u);
}
}  // namespace
