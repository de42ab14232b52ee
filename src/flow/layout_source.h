#pragma once
// Installing from a layout: a file the route needs comes from the layout
// folder when the manifest names it and it passes every check a download
// passes; otherwise from its server, as without a layout. Nothing is ever
// written into the layout folder (shares are often read-only).

#include <string>

#include "app/served_files.h"

namespace kelvara {

// Reads the folder's manifest (the folder ends with a backslash): false when
// it holds none. A manifest that cannot be read makes every file come from
// its server; the log says which line is wrong.
bool UseLayout(const std::string& folder);
bool HasLayout();

// The layout's copy of the file, by its local name, when it may be used;
// "" (the log says why) when it must be fetched.
std::string FromLayout(const std::string& name);

// The downloaders with the layout first: its copy when it may be used, else
// the fetch. The wizard and its library come from one place, as it loads the
// library that lies beside it.
std::string ServedFileForStep(const std::string& workDir, const ServedFile& file);
std::string DotNet4PackageForStep(const std::string& workDir);
std::string SetupWizardForStep(std::string workDir);

// The connectivity test, which a route the layout serves skips: a file that
// must be fetched after all meets the server then, and its step's box if it fails.
bool IsServerReachableForStep(std::string workDir);

}  // namespace kelvara
