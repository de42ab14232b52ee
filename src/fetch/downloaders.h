#pragma once
#include <string>

// Each takes the work directory (ending with a backslash) and returns the
// local path of the fetched file, or "" when the download failed.
std::string DownloadClientSetup(std::string workDir);
std::string DownloadImagingProbe(std::string workDir);
std::string DownloadWicPackage(std::string workDir);
std::string DownloadInstallerProbe(std::string workDir);
std::string DownloadMsiPackage(std::string workDir);
// Fetches the wizard and then "unrar.dll" beside it; the wizard's path.
std::string DownloadSetupWizard(std::string workDir);

// The connectivity test: true when "alive" could be fetched.
bool IsServerReachable(std::string workDir);
