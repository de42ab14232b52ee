#pragma once
namespace kelvara {
// Installs the Win32 adapters behind the core's seams, and the support log.
void InstallWin32Platform();
}  // namespace kelvara
