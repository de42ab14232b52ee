#include "fetch/downloaders.h"

#include "app/digests.h"
#include "app/settings.h"
#include "fetch/fetch.h"
#include "fetch/layout_source.h"

namespace kelvara {

std::string LocalPath(const std::string& workDir, const char* localName) {
  return workDir + "\\" + localName;
}

namespace {
std::string FetchServedFile(const std::string& workDir, const ServedFile& file) {
  const std::string localPath = LocalPath(workDir, file.localName);
  return FetchUrlToFile(g_strFileBase + file.remoteName, localPath) == FETCH_OK ? localPath
                                                                                : std::string();
}
}  // namespace

std::string DownloadServedFile(const std::string& workDir, const ServedFile& file) {
  const std::string local = FromLayout(file.localName);
  return local.empty() ? FetchServedFile(workDir, file) : local;
}

std::string DownloadSetupWizard(std::string workDir) {
  // Both from one place: the wizard loads the library that lies beside it.
  std::string wizard = FromLayout(SETUP_WIZARD.localName);
  if (!wizard.empty() && !FromLayout(UNRAR_DLL.localName).empty()) return wizard;
  wizard = FetchServedFile(workDir, SETUP_WIZARD);
  if (wizard.empty() || FetchServedFile(workDir, UNRAR_DLL).empty()) return std::string();
  return wizard;
}

bool IsServerReachable(std::string workDir) {
  // A route the layout serves whole asks no server: a file that must be
  // fetched after all meets the server then, and its step's box if it fails.
  return HasLayout() || !FetchServedFile(workDir, ALIVE).empty();
}

}  // namespace kelvara
