#include "app/layout.h"

#include <algorithm>

#include "app/served_files.h"

namespace kelvara {

const std::vector<std::string>& LayoutFileNames() {
  static const auto* names = new std::vector<std::string>{
      IMAGING_PROBE.localName, WIC_PACKAGE.localName, INSTALLER_PROBE.localName,
      MSI_PACKAGE.localName,   DOTNET4_PACKAGE_NAME,  SETUP_WIZARD.localName,
      UNRAR_DLL.localName,     CLIENT_SETUP.localName};
  return *names;
}

bool IsLayoutName(const std::string& name) {
  const auto& names = LayoutFileNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string LayoutFolder(const std::string& source, const std::string& programPath) {
  if (source.empty()) return programPath.substr(0, programPath.find_last_of("\\/") + 1);
  return source.back() == '\\' || source.back() == '/' ? source : source + "\\";
}

DigestList ParseLayoutManifest(const std::string& text) {
  return ParseDigestList(text, IsLayoutName);
}

std::string WriteLayoutManifest(const std::vector<PinnedDigest>& files) {
  std::string text;
  for (const PinnedDigest& file : files) text += file.sha256 + "  " + file.name + "\n";
  return text;
}

std::string LayoutFault(const DigestList& manifest, const std::string& name,
                        const std::optional<std::string>& actual) {
  const auto listed = std::find_if(manifest.digests.begin(), manifest.digests.end(),
                                   [&](const PinnedDigest& file) { return file.name == name; });
  if (listed == manifest.digests.end()) return "not in the layout's manifest";
  if (!actual) return "its SHA-256 cannot be read";
  if (*actual != listed->sha256)
    return "SHA-256 " + *actual + ", the manifest says " + listed->sha256;
  return "";
}

}  // namespace kelvara
