#pragma once
// Every text the wizard shows, and how the status line and the box show it.

#include <string>

namespace kelvara {

inline constexpr const char* TEXT_WELCOME = "欢迎使用...";
inline constexpr const char* TEXT_CHECKING = "正在检查软件安装环境...";
inline constexpr const char* TEXT_NETWORK_FAILED = "网络连接失败，请联系客服获取技术支持！";
inline constexpr const char* TEXT_DOTNET4_REPAIR =
    "您的系统中缺少默认安装的.NET 4.0 Framework，正在进行修复…";
inline constexpr const char* TEXT_START_FAILED = "未能成功启动安装程序，请联系客服获取技术支持！";
inline constexpr const char* TEXT_WIZARD_GUARD = "未能成功运行安装向导，正在使用旧版安装程序重试";

inline constexpr const char* TEXT_CLIENT_FETCH = "正在下载客户端安装程序，请稍候……";
inline constexpr const char* TEXT_CLIENT_FAILED =
    "未能正确下载软件安装程序包，请检查安装程序是否正在运行，或联系客服获取技术支持！";

inline constexpr const char* TEXT_DOTNET4_FETCH =
    "系统缺少.NET FRAMEWORK 4.0，正在下载，可能需要较长时间...";
inline constexpr const char* TEXT_DOTNET4_FETCH_FAILED =
    "对不起，服务器繁忙，请稍后重试。也可自行安装.NET 4.0或更高版本后再运行程序。";
inline constexpr const char* TEXT_DOTNET4_RUN = "正在安装.NET 4.0软件包，请您按提示完成安装...";
inline constexpr const char* TEXT_DOTNET4_RUN_FAILED =
    "无法正常安装.NET 4.0软件包，请联系客服获取技术支持！";
inline constexpr const char* TEXT_DOTNET4_UNVERIFIED =
    "程序所需.NET 4.0软件包无法正常安装，请联系客服获取技术支持！";

inline constexpr const char* TEXT_WIZARD_FETCH = "正在下载安装向导，请稍候…";
inline constexpr const char* TEXT_WIZARD_FETCH_FAILED =
    "未能成功下载安装向导，正在使用旧版安装程序重试";
inline constexpr const char* TEXT_WIZARD_RUN = "正在运行安装向导，请您按提示完成安装...";
inline constexpr const char* TEXT_WIZARD_RUN_FAILED = "安装向导运行异常，正在使用旧版安装程序重试";

// The box of /? and /help: the switches and the exit codes of unattended runs.
inline constexpr const char* TEXT_HELP =
    "用法：kelvara-setup.exe [private] [/quiet | /passive] [/norestart] [/log 路径]\n\n"
    "private\t从内网服务器下载（须为第一个参数）\n"
    "/quiet\t无人值守安装，不显示任何窗口\n"
    "/passive\t只显示进度，无需操作，结束后自动关闭\n"
    "/norestart\t不重启计算机（本向导从不重启计算机）\n"
    "/log 路径\t将日志写入指定文件\n"
    "/?, /help\t显示本帮助\n\n"
    "无人值守时的退出代码：\n"
    "0\t安装完成\n"
    "3010\t安装完成，需要重启计算机\n"
    "1602\t安装已取消\n"
    "1603\t安装失败，详见日志\n"
    "1618\t另一个安装向导正在运行\n"
    "87\t命令行参数错误";

// WIC and Windows Installer share one shape: probe program, package, probe again.
struct ComponentTexts {
  const char* fetchProbe;
  const char* probeFetchFailed;
  const char* fetchPackage;
  const char* packageFetchFailed;
  const char* runPackage;
  const char* runFailed;
  const char* verifyFailed;
};

inline constexpr ComponentTexts WIC_TEXTS = {
    "正在下载Windows图像组件（WIC）校验程序，请稍候...",
    "对不起，服务器繁忙，无法下载Windows图像组件（WIC）校验程序，请稍后重试！",
    "您的系统缺少Windows图像组件（WIC）,正在下载安装，请稍候...",
    "对不起，服务器繁忙，无法下载Windows图像组件（WIC）安装程序，请稍后重试！",
    "正在安装Windows图像组件（WIC），请您按提示完成安装...",
    "无法正常安装Windows图像组件（WIC），请联系客服获取技术支持！",
    "程序所需Windows图像组件（WIC）无法正常安装，请联系客服获取技术支持！",
};

inline constexpr ComponentTexts MSI_TEXTS = {
    "正在下载Windows Installer校验程序，请稍候...",
    "对不起，服务器繁忙，无法下载Windows Installer校验程序，请稍后重试！",
    "您的系统缺少Windows Installer或版本低于3.1，正在下载安装包，请稍候...",
    "对不起，服务器繁忙，无法下载Windows Installer3.1安装程序，请稍后重试！",
    "正在安装Windows Installer3.1，请您按提示完成安装...",
    "无法正常安装Windows Installer3.1，请联系客服获取技术支持！",
    "程序所需Windows Installer3.1无法正常安装，请联系客服获取技术支持！",
};

// The status line: the text behind a four-space indent.
std::string StatusLineText(const std::string& text);
// The box shows the text without leading white space.
std::string StatusBoxText(const std::string& text);

}  // namespace kelvara
