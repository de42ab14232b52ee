#pragma once
#include <cstdint>
#include <string>

#include "app/platform.h"

namespace kelvara {

// Windows version class: 50, 51, 52, 60, 61, 62 or 0.
int ClassifyWindowsVersion(std::uint32_t major, std::uint32_t minor);
int GetOsVersionClass();

// The "Install" flag: the data begins with the 16-bit units 0x0001, 0x0000.
bool IsInstallFlagSet(const unsigned char* data);

inline constexpr std::uint32_t INSTALL_VALUE_BUFFER = 520;
inline constexpr std::uint64_t DOTNET4_PACKAGE_SIZE = 50449456;

bool IsDotNet4Installed();
bool IsDotNet2Installed();

// The working directory from the temporary-path call's returned length and
// buffer: "C:\" when the call failed or the path does not fit in 260.
std::string TempDirectoryFromPath(unsigned length, const std::string& buffer);

}  // namespace kelvara
