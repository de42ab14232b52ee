#pragma once
#include "app/platform.h"

namespace kelvara {

class Win32SystemApi final : public SystemApi {
 public:
  bool GetWindowsVersion(std::uint32_t* major, std::uint32_t* minor) override;
  bool OpenKey(const std::string& subkey, RegKey* key) override;
  bool OpenKeyFullAccess(const std::string& subkey, RegKey* key) override;
  bool QueryValue(RegKey key, const std::string& name, unsigned char* data,
                  std::uint32_t* size) override;
  void CloseKey(RegKey key) override;
  int Run(const std::string& commandLine, const std::string& directory, bool wait,
          unsigned long* error) override;
};

// GetTempPathW through the core's rule: the path with its backslash, or "C:\".
std::string Win32TempDirectory();

}  // namespace kelvara
