#include "flow/layout_source.h"

#include "app/layout.h"
#include "app/log.h"
#include "app/platform.h"
#include "app/served_files.h"
#include "fetch/downloaders.h"
#include "fetch/mirror_list.h"
#include "system/run_check.h"

namespace kelvara {
namespace {
struct Layout {
  std::string folder;  // "": no layout in use
  DigestList manifest;
};

Layout& Current() {
  static Layout* layout = new Layout;  // read by the background until exit
  return *layout;
}
}  // namespace

bool UseLayout(const std::string& folder) {
  Layout& layout = Current();
  layout = Layout{};
  const auto text = GetPlatform().files->ReadAll(folder + LAYOUT_MANIFEST_NAME);
  if (!text) return false;
  layout.manifest = ParseLayoutManifest(*text);
  if (layout.manifest.badLine != 0) {
    LogLine("layout " + folder + ": " + LAYOUT_MANIFEST_NAME + " line " +
            std::to_string(layout.manifest.badLine) + ": " + layout.manifest.error +
            "; every file comes from its server");
    return true;
  }
  layout.folder = folder;
  LogLine("layout " + folder + ": " + std::to_string(layout.manifest.digests.size()) +
          " files in its manifest; the server is asked only for a file it cannot give");
  return true;
}

bool HasLayout() { return !Current().folder.empty(); }

std::string FromLayout(const std::string& name) {
  const Layout& layout = Current();
  if (layout.folder.empty() || !IsLayoutName(name)) return std::string();
  const std::string path = layout.folder + name;
  std::string fault;
  // The guard a layout requires: a file, or a folder, that vanishes or breaks
  // midway is one more file to fetch.
  try {
    unsigned long error = 0;
    const auto held = GetPlatform().files->OpenHeld(path, &error);
    if (!held)
      fault = "cannot be held, error " + std::to_string(error);
    else if (fault = LayoutFault(layout.manifest, name, held->Sha256Hex()); fault.empty())
      fault = MayRunHeldFile(path, *held) ? "" : "refused by its checks";
  } catch (...) {
    fault = "cannot be examined";
  }
  LogLine("layout: " + name +
          (fault.empty() ? " taken from the layout"
                         : " not used (" + fault + "): fetched from its server"));
  return fault.empty() ? path : std::string();
}

std::string ServedFileForStep(const std::string& workDir, const ServedFile& file) {
  const std::string local = FromLayout(file.localName);
  return local.empty() ? DownloadServedFile(workDir, file) : local;
}

std::string DotNet4PackageForStep(const std::string& workDir) {
  const std::string local = FromLayout(DOTNET4_PACKAGE_NAME);
  return local.empty() ? DownloadDotNet4Package(workDir) : local;
}

std::string SetupWizardForStep(std::string workDir) {
  const std::string wizard = FromLayout(SETUP_WIZARD.localName);
  if (!wizard.empty() && !FromLayout(UNRAR_DLL.localName).empty()) return wizard;
  return DownloadSetupWizard(workDir);
}

bool IsServerReachableForStep(std::string workDir) {
  return HasLayout() || IsServerReachable(workDir);
}

}  // namespace kelvara
