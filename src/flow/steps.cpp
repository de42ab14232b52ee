#include "flow/steps.h"

#include "app/platform.h"
#include "app/settings.h"
#include "fetch/downloaders.h"
#include "flow/jobs.h"
#include "system/launcher.h"
#include "system/probes.h"

void PostStep(int stage, int step) { GetPlatform().poster->PostStep(stage, step); }

void StartDotNet4Stage() { PostStep(STAGE_DOTNET4, STEP_BEGIN); }
void StartWicStage() { PostStep(STAGE_WIC, STEP_BEGIN); }
void StartClientStage() { PostStep(STAGE_CLIENT, STEP_FETCH_PACKAGE); }

namespace {
void Line(FlowHost& host, const char* text) { host.SetStatus(text, false); }
void Box(FlowHost& host, const char* text) { host.SetStatus(text, true); }
void PostHalt() { PostStep(STAGE_CONTROL, CONTROL_HALT); }
void PostQuit() { PostStep(STAGE_CONTROL, CONTROL_QUIT); }

void StartJob(JobBlock& job, FlowHost& host, int code) {
  job.nJobCode = code;
  if (!host.CreateJobThread(job)) FailJob(job);
}

void ClientStage(JobBlock& job, FlowHost& host, int step) {
  if (step == STEP_FETCH_PACKAGE) {
    Line(host, "正在下载客户端安装程序，请稍候……");
    StartJob(job, host, STAGE_CLIENT + STEP_FETCH_PACKAGE);
  } else if (step == STEP_PACKAGE_FETCHED) {
    if (job.strFilePath.empty()) {
      Box(host, "未能正确下载软件安装程序包，请检查安装程序是否正在运行，或联系客服获取技术支持！");
      PostHalt();
    } else {
      host.ShellOpen(job.strFilePath);
      PostQuit();
    }
  }
}

void DotNet4Stage(JobBlock& job, FlowHost& host, int step) {
  switch (step) {
    case STEP_BEGIN:
      if (IsDotNet4Installed())
        StartClientStage();
      else
        PostStep(STAGE_DOTNET4, STEP_FETCH_PACKAGE);
      break;
    case STEP_FETCH_PACKAGE:
      Line(host, "系统缺少.NET FRAMEWORK 4.0，正在下载，可能需要较长时间...");
      StartJob(job, host, STAGE_DOTNET4 + STEP_FETCH_PACKAGE);
      break;
    case STEP_PACKAGE_FETCHED:
      if (job.strFilePath.empty()) {
        Box(host, "对不起，服务器繁忙，请稍后重试。也可自行安装.NET 4.0或更高版本后再运行程序。");
        PostHalt();
      } else {
        Line(host, "正在安装.NET 4.0软件包，请您按提示完成安装...");
        StartJob(job, host, STAGE_DOTNET4 + STEP_RUN_PACKAGE);
      }
      break;
    case STEP_PACKAGE_DONE:
      if (job.nJobResult == 0) {
        Box(host, "无法正常安装.NET 4.0软件包，请联系客服获取技术支持！");
        PostHalt();
      } else if (!IsDotNet4Installed()) {
        Box(host, "程序所需.NET 4.0软件包无法正常安装，请联系客服获取技术支持！");
        PostHalt();
      } else {
        StartClientStage();
      }
      break;
    default:
      break;
  }
}

struct ComponentTexts {
  const char* t1;
  const char* t2;
  const char* t3;
  const char* t4;
  const char* t5;
  const char* t6;
  const char* t7;
};

constexpr ComponentTexts WIC_TEXTS = {
    "正在下载Windows图像组件（WIC）校验程序，请稍候...",
    "对不起，服务器繁忙，无法下载Windows图像组件（WIC）校验程序，请稍后重试！",
    "您的系统缺少Windows图像组件（WIC）,正在下载安装，请稍候...",
    "对不起，服务器繁忙，无法下载Windows图像组件（WIC）安装程序，请稍后重试！",
    "正在安装Windows图像组件（WIC），请您按提示完成安装...",
    "无法正常安装Windows图像组件（WIC），请联系客服获取技术支持！",
    "程序所需Windows图像组件（WIC）无法正常安装，请联系客服获取技术支持！",
};

constexpr ComponentTexts MSI_TEXTS = {
    "正在下载Windows Installer校验程序，请稍候...",
    "对不起，服务器繁忙，无法下载Windows Installer校验程序，请稍后重试！",
    "您的系统缺少Windows Installer或版本低于3.1，正在下载安装包，请稍候...",
    "对不起，服务器繁忙，无法下载Windows Installer3.1安装程序，请稍后重试！",
    "正在安装Windows Installer3.1，请您按提示完成安装...",
    "无法正常安装Windows Installer3.1，请联系客服获取技术支持！",
    "程序所需Windows Installer3.1无法正常安装，请联系客服获取技术支持！",
};

// WIC and Windows Installer share one shape: probe program, package, probe again.
void ComponentStage(JobBlock& job, FlowHost& host, int stage, int step) {
  const ComponentTexts& t = stage == STAGE_WIC ? WIC_TEXTS : MSI_TEXTS;
  const int next = stage == STAGE_WIC ? STAGE_MSI : STAGE_DOTNET4;
  switch (step) {
    case STEP_BEGIN:
      PostStep(stage, STEP_FETCH_PROBE);
      break;
    case STEP_FETCH_PROBE:
      Line(host, t.t1);
      StartJob(job, host, stage + STEP_FETCH_PROBE);
      break;
    case STEP_PROBE_FETCHED:
      if (job.strFilePath.empty()) {
        Box(host, t.t2);
        PostHalt();
      } else {
        PostStep(stage, STEP_RUN_PROBE);
      }
      break;
    case STEP_RUN_PROBE:
      // By the re-run after the package, strFilePath names the package.
      g_strProbePath = job.strFilePath;
      StartJob(job, host, stage + STEP_RUN_PROBE);
      break;
    case STEP_PROBE_DONE:
      if (job.nJobResult == 0)
        PostStep(stage, STEP_FETCH_PACKAGE);
      else
        PostStep(next, STEP_BEGIN);
      break;
    case STEP_FETCH_PACKAGE:
      Line(host, t.t3);
      StartJob(job, host, stage + STEP_FETCH_PACKAGE);
      break;
    case STEP_PACKAGE_FETCHED:
      if (job.strFilePath.empty()) {
        Box(host, t.t4);
        PostHalt();
      } else {
        PostStep(stage, STEP_RUN_PACKAGE);
      }
      break;
    case STEP_RUN_PACKAGE:
      Line(host, t.t5);
      StartJob(job, host, stage + STEP_RUN_PACKAGE);
      break;
    case STEP_PACKAGE_DONE:
      if (job.nJobResult == 0) {
        Box(host, t.t6);
        PostHalt();
      } else if (!RunImagingProbe(g_strProbePath)) {
        Box(host, t.t7);
        PostHalt();
      } else {
        PostStep(next, STEP_BEGIN);
      }
      break;
    default:
      break;
  }
}

void WizardStage(JobBlock& job, FlowHost& host, int step) {
  switch (step) {
    case STEP_BEGIN:
      PostStep(STAGE_WIZARD, STEP_FETCH_PACKAGE);
      break;
    case STEP_FETCH_PACKAGE:
      Line(host, "正在下载安装向导，请稍候…");
      StartJob(job, host, STAGE_WIZARD + STEP_FETCH_PACKAGE);
      break;
    case STEP_PACKAGE_FETCHED:
      if (job.strFilePath.empty()) {
        Box(host, "未能成功下载安装向导，正在使用旧版安装程序重试");
        StartWicStage();
        PostHalt();
      } else {
        PostStep(STAGE_WIZARD, STEP_RUN_PACKAGE);
      }
      break;
    case STEP_RUN_PACKAGE:
      Line(host, "正在运行安装向导，请您按提示完成安装...");
      StartJob(job, host, STAGE_WIZARD + STEP_RUN_PACKAGE);
      break;
    case STEP_PACKAGE_DONE:
      if (job.nJobResult != 0) {
        PostQuit();
      } else {
        Box(host, "安装向导运行异常，正在使用旧版安装程序重试");
        StartWicStage();
        PostHalt();
      }
      break;
    default:
      break;
  }
}
}  // namespace

long OnInstallStep(JobBlock& job, FlowHost& host, int stage, int step) {
  job.nJobCode = stage;
  switch (stage) {
    case STAGE_CONTROL:
      if (step == CONTROL_QUIT) host.Quit();
      break;
    case STAGE_CLIENT:
      ClientStage(job, host, step);
      break;
    case STAGE_DOTNET4:
      DotNet4Stage(job, host, step);
      break;
    case STAGE_WIC:
    case STAGE_MSI:
      ComponentStage(job, host, stage, step);
      break;
    case STAGE_WIZARD:
      WizardStage(job, host, step);
      break;
    default:
      break;
  }
  return 1;
}

std::string TempDirectoryFromPath(unsigned length, const std::string& buffer) {
  if (length == 0 || length > 260) return "C:\\";
  return buffer;
}

namespace {
enum class Branch { New, Recent, Other };

Branch BranchOf(int versionClass) {
  if (versionClass == 62) return Branch::New;
  if (versionClass == 60 || versionClass == 61) return Branch::Recent;
  return Branch::Other;
}

void ChooseRoute(FlowHost& host, Branch branch) {
  if (IsDotNet4Installed()) {
    StartClientStage();
  } else if (branch == Branch::New) {
    // New systems ship .NET 4.0 by default: repair it at once, no wizard.
    Line(host, "您的系统中缺少默认安装的.NET 4.0 Framework，正在进行修复…");
    StartDotNet4Stage();
  } else if (IsDotNet2Installed()) {
    PostStep(STAGE_WIZARD, STEP_BEGIN);
  } else {
    StartWicStage();
  }
}
}  // namespace

void OnTimer(JobBlock& job, FlowHost& host) {
  g_strFileBase = g_bPrivateMode != 0 ? g_strIntranetBase : g_strPublicFileBase;
  job.strWorkDir = host.GetTempDirectory();
  host.KillStartupTimer();
  host.DefaultTimerProcessing();
  Line(host, "正在检查软件安装环境...");
  if (!IsServerReachable(host.GetTempDirectory())) {
    Box(host, "网络连接失败，请联系客服获取技术支持！");
    return;
  }
  const Branch branch = BranchOf(GetOsVersionClass());
  try {
    ChooseRoute(host, branch);
  } catch (...) {
    if (branch == Branch::New) {
      Box(host, "未能成功启动安装程序，请联系客服获取技术支持！");
      StartClientStage();
    } else {
      Box(host, "未能成功运行安装向导，正在使用旧版安装程序重试");
      if (branch == Branch::Recent)
        StartDotNet4Stage();
      else
        StartWicStage();
    }
  }
}
