#include "system/run_folder.h"

#include <cctype>
#include <cstring>

namespace kelvara {

std::string RandomHex(const unsigned char* bytes, std::size_t count) {
  if (bytes == nullptr || count < NAME_RANDOM_BYTES) return std::string();
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < count; ++i) {
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 15];
  }
  return hex;
}

std::string RunFolderName(const unsigned char* bytes, std::size_t count) {
  const std::string hex = RandomHex(bytes, count);
  return hex.empty() ? hex : RUN_FOLDER_PREFIX + hex;
}

bool IsRunFolderName(const std::string& name) {
  const std::size_t prefix = std::strlen(RUN_FOLDER_PREFIX);
  // Windows compares names without case: so does the rule.
  if (name.size() < prefix + 2 * NAME_RANDOM_BYTES) return false;
  for (std::size_t i = 0; i < prefix; ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) !=
        std::tolower(static_cast<unsigned char>(RUN_FOLDER_PREFIX[i])))
      return false;
  for (std::size_t i = prefix; i < name.size(); ++i)
    if (std::isxdigit(static_cast<unsigned char>(name[i])) == 0) return false;
  return true;
}

std::string LinkFound(bool reparsePoint, unsigned long links) {
  if (reparsePoint) return "a reparse point";
  if (links > 1) return "a file with " + std::to_string(links) + " hard links";
  return std::string();
}

std::string SideLogName(const unsigned char* bytes, std::size_t count) {
  const std::string hex = RandomHex(bytes, count);
  return hex.empty() ? hex : "kelvara-setup-" + hex + ".log";
}

std::string SideLogFirstLine(const std::string& path, const std::string& found) {
  return "the log " + path + " is " + found + ": left untouched, this run logs here";
}

bool IsLeftoverRunFolder(const std::string& name, FolderOwner owner, bool reparsePoint) {
  return IsRunFolderName(name) && owner != FolderOwner::Other && !reparsePoint;
}

}  // namespace kelvara
