#include "flow/layout_maker.h"

#include <memory>
#include <vector>

#include "app/digests.h"
#include "app/layout.h"
#include "app/log.h"
#include "app/platform.h"
#include "app/served_files.h"
#include "app/settings.h"
#include "fetch/downloaders.h"
#include "fetch/mirror_list.h"
#include "system/run_check.h"

namespace kelvara {
namespace {
std::string Fetch(const std::string& name, const std::string& workDir) {
  if (name == DOTNET4_PACKAGE_NAME) return DownloadDotNet4Package(workDir);
  for (const ServedFile& file : SERVED_FILES)
    if (name == file.localName) return DownloadServedFile(workDir, file);
  return std::string();
}

// The file's SHA-256 when it may go into the layout as it is: "" otherwise.
std::string Checked(const std::string& path, HeldFile& held) {
  const std::optional<std::string> digest = held.Sha256Hex();
  return digest && MayRunHeldFile(path, held) ? *digest : std::string();
}
}  // namespace

int MakeLayout(std::string workDir) {
  FileSystem& files = *GetPlatform().files;
  const std::string dir = g_strLayoutTarget, manifest = dir + LAYOUT_MANIFEST_NAME;
  unsigned long error = 0;
  if (!files.MakeFolder(dir, &error)) {
    LogLine("layout " + dir + " cannot be made, error " + std::to_string(error));
    return 0;
  }
  const DigestList old = ParseLayoutManifest(files.ReadAll(manifest).value_or(std::string()));
  files.Remove(manifest);  // unfinished again until the new one is written
  std::vector<PinnedDigest> made;
  bool complete = true;
  for (const std::string& name : LayoutFileNames()) {
    const std::string target = dir + name;
    std::string digest;
    if (auto there = files.OpenHeld(target, &error);
        there && LayoutFault(old, name, there->Sha256Hex()).empty()) {
      digest = Checked(target, *there);
      if (!digest.empty()) LogLine("layout: " + name + " is there as its manifest says");
    }
    if (digest.empty()) {
      const std::string path = Fetch(name, workDir);
      const auto held = path.empty() ? nullptr : HoldFile(path);
      digest = held ? Checked(path, *held) : std::string();
      if (!digest.empty() && !files.Publish(target, held.get(), "", &error)) {
        LogFileRefused(target, "cannot be written into the layout", error);
        digest.clear();
      }
    }
    if (digest.empty()) {
      LogLine("layout: " + name + " FAILED: not fetched, or refused by its checks");
      files.Remove(target);
      complete = false;
    }
    made.push_back({name, digest});
  }
  const auto program = HoldFile(g_strProgramPath);
  if (!program || !files.Publish(dir + LAYOUT_PROGRAM_NAME, program.get(), "", &error) ||
      !complete || !files.Publish(manifest, nullptr, WriteLayoutManifest(made), &error)) {
    LogLine("layout " + dir + " is not complete: no manifest written");
    return 0;
  }
  LogLine("layout " + dir + " complete: " + LAYOUT_MANIFEST_NAME + " written");
  return 1;
}

}  // namespace kelvara
