#pragma once
// Where the wizard's libraries come from. It is usually started from a
// download folder, where anything may lie beside it.
#include <windows.h>

namespace kelvara {
// At start, before anything loads a library by name.
void RestrictLibrarySearch();
// A library of the system folder, loaded by its full path, with its own
// imports taken from the system folder too.
HMODULE LoadSystemLibrary(const wchar_t* name);
// The manifest's common controls 6, loaded once the search is restricted.
void InitCommonControlsLate();
}  // namespace kelvara
