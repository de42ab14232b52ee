#pragma once
// Installs the Win32 adapters behind the core's seams.
void InstallWin32Platform();
