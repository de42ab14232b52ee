#pragma once
// Installing from a layout: a file the route needs comes from the layout
// folder when the manifest names it and it passes every check a download
// passes; otherwise from its server, as without a layout. Nothing is ever
// written into the layout folder (shares are often read-only).

#include <string>

namespace kelvara {

// Reads the folder's manifest (the folder ends with a backslash): false when
// it holds none. A manifest that cannot be read makes every file come from
// its server; the log says which line is wrong.
bool UseLayout(const std::string& folder);
bool HasLayout();

// The layout's copy of the file, by its local name, when it may be used;
// "" (the log says why) when it must be fetched.
std::string FromLayout(const std::string& name);

}  // namespace kelvara
