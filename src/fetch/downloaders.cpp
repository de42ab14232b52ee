#include "fetch/downloaders.h"

#include "app/digests.h"
#include "app/settings.h"
#include "fetch/fetch.h"

namespace kelvara {

std::string LocalPath(const std::string& workDir, const char* localName) {
  return workDir + "\\" + localName;
}

std::string DownloadServedFile(const std::string& workDir, const ServedFile& file) {
  const std::string localPath = LocalPath(workDir, file.localName);
  return FetchUrlToFile(g_strFileBase + file.remoteName, localPath) == FETCH_OK ? localPath
                                                                                : std::string();
}

std::string DownloadSetupWizard(std::string workDir) {
  std::string wizard = DownloadServedFile(workDir, SETUP_WIZARD);
  if (wizard.empty() || DownloadServedFile(workDir, UNRAR_DLL).empty()) return std::string();
  return wizard;
}

bool IsServerReachable(std::string workDir) { return !DownloadServedFile(workDir, ALIVE).empty(); }

}  // namespace kelvara
