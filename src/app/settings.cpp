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

std::string MakeHttpAddress(const std::string& host, const std::string& path) {
  return "http://" + host + path;
}

namespace {
std::string& Forever(std::string value) { return *new std::string(std::move(value)); }
}  // namespace

int g_bPrivateMode = 0;
std::string& g_strIntranetBase = Forever(MakeHttpAddress(KELVARA_INTRANET_HOST, "/qorv/"));
std::string& g_strPublicFileBase = Forever(MakeHttpAddress(KELVARA_PUBLIC_FILE_HOST, "/qorv/"));
std::string& g_strDotNet4PackageUrl =
    Forever(MakeHttpAddress(KELVARA_DOWNLOAD_HOST, "/download/vumel/qorv/NetFx40.exe"));
std::string& g_strFileBase = Forever(g_strPublicFileBase);
std::string& g_strProbePath = Forever(std::string());

bool IsPrivateModeCommandLine(const std::vector<std::string>& args) {
  return args.size() >= 2 && args[1] == PRIVATE_KEYWORD;
}
