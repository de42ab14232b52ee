#include "app/digests.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "app/log.h"
#include "app/platform.h"
#include "app/served_files.h"

namespace kelvara {

bool IsPinnableName(const std::string& name) {
  if (name == DOTNET4_PACKAGE_NAME || name == UNRAR_DLL.localName) return true;
  for (const ServedFile& file : SERVED_FILES)
    if (file.program && name == file.localName) return true;
  return false;
}

DigestList ParseDigestList(const std::string& text, bool (*allowed)(const std::string&)) {
  DigestList list;
  std::size_t next = 0;
  for (int number = 1; next < text.size(); ++number) {
    const std::size_t end = std::min(text.find('\n', next), text.size());
    std::string line = text.substr(next, end - next);
    next = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    std::string hex = line.substr(0, 64);
    bool isHex = hex.size() == 64;
    for (char& c : hex) {
      isHex = isHex && std::isxdigit(static_cast<unsigned char>(c)) != 0;
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const bool separated =
        line.size() > 66 && line[64] == ' ' && (line[65] == ' ' || line[65] == '*');
    const std::string name = separated ? line.substr(66) : std::string();
    if (!isHex || !separated) {
      list.error = "expected \"<64 hex digits>  <file name>\"";
    } else if (!allowed(name)) {
      list.error = "\"" + name + "\" is not a file the wizard runs";
    } else {
      list.digests.push_back({name, hex});
      continue;
    }
    list.badLine = number;
    list.digests.clear();
    return list;
  }
  return list;
}

namespace {
std::vector<PinnedDigest>& Pinned() {
  static std::vector<PinnedDigest>* digests = new std::vector<PinnedDigest>{
#include "kelvara_digests.inc"
  };
  return *digests;
}
}  // namespace

const std::vector<PinnedDigest>& BuiltInDigests() { return Pinned(); }

void SetPinnedDigestsForTest(std::vector<PinnedDigest> digests) { Pinned() = std::move(digests); }

const PinnedDigest* PinnedDigestOf(const std::string& path) {
  const std::string name = path.substr(path.find_last_of("\\/") + 1);
  for (const PinnedDigest& pinned : BuiltInDigests())
    if (pinned.name == name) return &pinned;
  return nullptr;
}

bool HasPinnedDigest(const std::string& path) { return PinnedDigestOf(path) != nullptr; }

std::unique_ptr<HeldFile> HoldFile(const std::string& path) {
  unsigned long error = 0;
  std::unique_ptr<HeldFile> file = GetPlatform().files->OpenHeld(path, &error);
  if (!file) LogFileRefused(path, "cannot be held for its checks", error);
  return file;
}

bool IsFileAsPinned(const std::string& path, HeldFile& file) {
  const PinnedDigest* pinned = PinnedDigestOf(path);
  if (pinned == nullptr) return true;
  const auto actual = file.Sha256Hex();
  const bool match = actual && *actual == pinned->sha256;
  LogDigest(path, pinned->sha256, actual, match);
  return match;
}

}  // namespace kelvara
