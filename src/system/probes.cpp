#include "system/probes.h"

#include <array>

#include "app/platform.h"

int ClassifyWindowsVersion(std::uint32_t major, std::uint32_t minor) {
  if (major == 6) {
    if (minor == 0) return 60;
    if (minor == 1) return 61;
    return 62;
  }
  if (major == 5 && minor <= 2) return static_cast<int>(50 + minor);
  return 0;
}

int GetOsVersionClass() {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  if (!GetPlatform().system->GetWindowsVersion(&major, &minor)) return 0;
  return ClassifyWindowsVersion(major, minor);
}

bool IsInstallFlagSet(const unsigned char* data) {
  return data[0] == 0x01 && data[1] == 0x00 && data[2] == 0x00 && data[3] == 0x00;
}

namespace {
bool InstallFlagTest(const char* key) {
  SystemApi& system = *GetPlatform().system;
  RegKey handle = 0;
  if (!system.OpenKey(key, &handle)) return false;
  // Zeroed, so a value shorter than four bytes is judged on defined bytes.
  std::array<unsigned char, INSTALL_VALUE_BUFFER> data{};
  std::uint32_t size = INSTALL_VALUE_BUFFER;
  bool set = false;
  try {
    set = system.QueryValue(handle, "Install", data.data(), &size) && IsInstallFlagSet(data.data());
  } catch (...) {
    system.CloseKey(handle);
    throw;
  }
  system.CloseKey(handle);
  return set;
}
}  // namespace

bool IsDotNet4Installed() {
  if (InstallFlagTest("SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4.0\\Client")) return true;
  if (!InstallFlagTest("SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client")) return false;
  return InstallFlagTest("SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full");
}

bool IsDotNet2Installed() {
  SystemApi& system = *GetPlatform().system;
  RegKey handle = 0;
  if (!system.OpenKeyFullAccess("SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727",
                                &handle))
    return false;
  system.CloseKey(handle);
  return true;
}

bool IsDotNet4PackageComplete(std::string path) {
  try {
    const auto size = GetPlatform().files->FileSize(path);
    return size && *size == DOTNET4_PACKAGE_SIZE;
  } catch (...) {
    return false;
  }
}
