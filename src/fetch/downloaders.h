#pragma once
#include <memory>
#include <string>

#include "app/platform.h"
#include "app/served_files.h"

namespace kelvara {

// The work directory + "\" + name; the work directory already ends with a
// backslash, and the files have always been saved under that path.
std::string LocalPath(const std::string& workDir, const char* localName);

// The local path when the fetch answered 200, else "".
std::string DownloadServedFile(const std::string& workDir, const ServedFile& file);

// Fetches the wizard and then "unrar.dll" beside it; the wizard's path.
std::string DownloadSetupWizard(std::string workDir);
// The connectivity test: true when "alive" could be fetched.
bool IsServerReachable(std::string workDir);

}  // namespace kelvara
