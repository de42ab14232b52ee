#pragma once
#include <array>
#include <string>

namespace kelvara {

inline constexpr int MIRROR_SLOTS = 20;

struct MirrorTable {
  std::array<std::string, MIRROR_SLOTS> entries;
  int n = 0;
};

// Reads the list as the C runtime's text mode would (CR LF is LF, 0x1A ends
// the file). Entries end at every third "|"; a "|" is never stored. Entries
// are trimmed of blanks, tabs, CR and LF; entries past the twentieth are
// ignored.
MirrorTable ReadMirrorList(const std::string& raw);

// Fetches the mirror list, then the package from a random mirror; the default
// address only when the list gave no entry. The package path or "".
std::string DownloadDotNet4Package(std::string workDir);

}  // namespace kelvara
