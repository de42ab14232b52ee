#include "fetch/downloaders.h"

#include "app/settings.h"
#include "fetch/fetch.h"

namespace {
std::string DownloadOne(const std::string& workDir, const char* remoteName, const char* localName) {
  const std::string address = g_strFileBase + remoteName;
  const std::string localPath = workDir + localName;
  return FetchUrlToFile(address, localPath) == FETCH_OK ? localPath : std::string();
}
}  // namespace

std::string DownloadClientSetup(std::string workDir) {
  return DownloadOne(workDir, "ClientSetup.exe", "\\ClientSetup.exe");
}

std::string DownloadImagingProbe(std::string workDir) {
  return DownloadOne(workDir, "ImagingProbe.exe", "\\ImagingProbe.exe");
}

std::string DownloadWicPackage(std::string workDir) {
  return DownloadOne(workDir, "wic_x86_chs.exe", "\\wic_x86_chs.exe");
}

std::string DownloadInstallerProbe(std::string workDir) {
  return DownloadOne(workDir, "InstallerProbe.exe", "\\InstallerProbe.exe");
}

std::string DownloadMsiPackage(std::string workDir) {
  return DownloadOne(workDir, "WindowsInstaller.exe", "\\WindowsInstaller.exe");
}

std::string DownloadSetupWizard(std::string workDir) {
  // The servers publish the wizard under a name with a leading slash, so its
  // address has "//"; they rely on that request path.
  std::string wizard = DownloadOne(workDir, "/SetupWizard.exe", "\\SetupWizard.exe");
  if (wizard.empty()) return std::string();
  if (DownloadOne(workDir, "unrar.dll", "\\unrar.dll").empty()) return std::string();
  return wizard;
}

bool IsServerReachable(std::string workDir) {
  return FetchUrlToFile(g_strFileBase + "alive", workDir + "\\alive_tmp") == FETCH_OK;
}
