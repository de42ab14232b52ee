#include "app/settings.h"

#ifndef KELVARA_INTRANET_HOST
#error "KELVARA_INTRANET_HOST must be defined by the build"
#endif
#ifndef KELVARA_PUBLIC_FILE_HOST
#error "KELVARA_PUBLIC_FILE_HOST must be defined by the build"
#endif
#ifndef KELVARA_DOWNLOAD_HOST
#error "KELVARA_DOWNLOAD_HOST must be defined by the build"
#endif

namespace kelvara {

std::string FileBaseAddress(const std::string& host) { return "http://" + host + "/qorv/"; }

std::string DotNet4PackageAddress(const std::string& host) {
  return "http://" + host + "/download/vumel/qorv/NetFx40.exe";
}

namespace {
std::string& Forever(std::string value) { return *new std::string(std::move(value)); }
}  // namespace

int g_bPrivateMode = 0;
std::string& g_strIntranetBase = Forever(FileBaseAddress(KELVARA_INTRANET_HOST));
std::string& g_strPublicFileBase = Forever(FileBaseAddress(KELVARA_PUBLIC_FILE_HOST));
std::string& g_strDotNet4PackageUrl = Forever(DotNet4PackageAddress(KELVARA_DOWNLOAD_HOST));
std::string& g_strFileBase = Forever(g_strPublicFileBase);
std::string& g_strProbePath = Forever(std::string());
UiMode g_uiMode = UiMode::Interactive;
std::string& g_strLayoutTarget = Forever(std::string());
std::string& g_strProgramPath = Forever(std::string());
std::string& g_strClientQuietArgs = Forever(
#include "kelvara_client_args.inc"
);

std::string AppNameFromModulePath(const std::string& modulePath) {
  const auto slash = modulePath.find_last_of("\\/");
  std::string name = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace kelvara
