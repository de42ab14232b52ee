#include "system/probes.h"

#include <array>
#include <cstdio>

#include "app/log.h"
#include "app/platform.h"

namespace kelvara {

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
std::string FirstBytes(const unsigned char* data) {
  char text[24];
  std::snprintf(text, sizeof text, "Install=%02x %02x %02x %02x", data[0], data[1], data[2],
                data[3]);
  return text;
}

bool InstallFlagTest(const char* key) {
  SystemApi& system = *GetPlatform().system;
  RegKey handle = 0;
  if (!system.OpenKey(key, &handle)) {
    LogRegistryProbe(key, "key missing", false);
    return false;
  }
  // Zeroed, so a value shorter than four bytes is judged on defined bytes.
  std::array<unsigned char, INSTALL_VALUE_BUFFER> data{};
  std::uint32_t size = INSTALL_VALUE_BUFFER;
  bool read = false;
  // The guard the probe requires: the key is closed on every way out.
  try {
    read = system.QueryValue(handle, "Install", data.data(), &size);
  } catch (...) {
    system.CloseKey(handle);
    throw;
  }
  system.CloseKey(handle);
  const bool set = read && IsInstallFlagSet(data.data());
  LogRegistryProbe(key, read ? FirstBytes(data.data()) : "no Install value", set);
  return set;
}
}  // namespace

bool IsDotNet4Installed() {
  if (InstallFlagTest("SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4.0\\Client")) return true;
  if (!InstallFlagTest("SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client")) return false;
  return InstallFlagTest("SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full");
}

bool IsDotNet2Installed() {
  const char* key = "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727";
  SystemApi& system = *GetPlatform().system;
  RegKey handle = 0;
  const bool opened = system.OpenKeyFullAccess(key, &handle);
  if (opened) system.CloseKey(handle);
  LogRegistryProbe(key, opened ? "opened with full access" : "not opened with full access", opened);
  return opened;
}

std::string TempDirectoryFromPath(unsigned length, const std::string& buffer) {
  if (length == 0 || length > 260) return "C:\\";
  return buffer;
}

}  // namespace kelvara
