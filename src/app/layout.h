#pragma once
// A layout: every file any route needs, fetched once into a folder (a share)
// with a manifest of their SHA-256 digests, from which many machines install
// without the servers. The rules only; the adapters read and write the files.

#include <optional>
#include <string>
#include <vector>

#include "app/digests.h"

namespace kelvara {

inline constexpr char LAYOUT_MANIFEST_NAME[] = "kelvara-layout.txt";
// The wizard's own copy in a layout, which a deployment starts.
inline constexpr char LAYOUT_PROGRAM_NAME[] = "kelvara-setup.exe";

// The files a layout holds, in the order a layout fetches them.
const std::vector<std::string>& LayoutFileNames();
bool IsLayoutName(const std::string& name);

// The folder, with its backslash, a layout is looked for in: the one given
// with /source, else the program's own (a deployment starts the layout's copy).
std::string LayoutFolder(const std::string& source, const std::string& programPath);

// The digests file's format; a malformed line, or one naming a file that is
// not a layout's, makes the whole manifest unusable (badLine says which).
DigestList ParseLayoutManifest(const std::string& text);
std::string WriteLayoutManifest(const std::vector<PinnedDigest>& files);

// Whether a layout's file may be used, or must be fetched from its server:
// "" when it may; otherwise why not, for the log. actual: the SHA-256 read
// through the held file; nullopt when it could not be read.
std::string LayoutFault(const DigestList& manifest, const std::string& name,
                        const std::optional<std::string>& actual);

}  // namespace kelvara
