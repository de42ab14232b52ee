#include "fetch/mirror_list.h"

#include <vector>

#include "app/log.h"
#include "app/platform.h"
#include "app/settings.h"
#include "fetch/downloaders.h"
#include "fetch/fetch.h"

namespace kelvara {
namespace {
std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  const auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

void AddEntry(MirrorTable& table, const std::string& text) {
  if (table.n < MIRROR_SLOTS) table.entries[static_cast<std::size_t>(table.n++)] = Trimmed(text);
}
}  // namespace

MirrorTable ReadMirrorList(const std::string& raw) {
  MirrorTable table;
  std::string current;
  int bars = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\x1A') break;
    if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    if (c != '|') {
      current += c;
      continue;
    }
    if (++bars == 3) {
      AddEntry(table, current);
      current.clear();
      bars = 0;
    }
  }
  if (bars == 0) AddEntry(table, current);
  return table;
}

namespace {
std::string FetchDefaultPackage(const std::string& packagePath) {
  return FetchUrlToFile(g_strDotNet4PackageUrl, packagePath) == FETCH_OK ? packagePath
                                                                         : std::string();
}
}  // namespace

std::string DownloadDotNet4Package(std::string workDir) {
  MirrorTable table;
  // The guard the download requires: a list that cannot be read names no mirror.
  try {
    const std::string listPath = DownloadServedFile(workDir, MIRROR_LIST);
    if (!listPath.empty()) {
      // A list that cannot be read back reads as an empty file.
      table = ReadMirrorList(GetPlatform().files->ReadAll(listPath).value_or(std::string()));
      LogMirrorList(
          std::vector<std::string>(table.entries.begin(), table.entries.begin() + table.n));
    }
  } catch (...) {
    table.n = 0;
  }

  std::string packagePath = LocalPath(workDir, DOTNET4_PACKAGE_NAME);
  // The guard the download requires: whatever the draw raises falls back to
  // the default address.
  try {
    if (table.n == 0) return FetchDefaultPackage(packagePath);
    RandomSource& random = *GetPlatform().random;
    random.Seed();
    while (table.n > 0) {
      int k = random.Next() % table.n;
      if (k < 0) k += table.n;
      const std::string address = table.entries[static_cast<std::size_t>(k)];
      table.entries[static_cast<std::size_t>(k)] =
          table.entries[static_cast<std::size_t>(table.n - 1)];
      --table.n;
      LogMirrorDrawn(address);
      if (FetchUrlToFile(address, packagePath) == FETCH_OK) return packagePath;
    }
    // Once the list has named mirrors their failure is final.
    return std::string();
  } catch (...) {
    return FetchDefaultPackage(packagePath);
  }
}

}  // namespace kelvara
