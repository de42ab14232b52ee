// Helper for version_test: exits with GetOsVersionClass() as seen through the
// real adapter. Wine picks the reported version per program name at start-up,
// so the class must be read in a fresh process. It carries the product's
// manifest (version_probe.rc): a supportedOS entry there would change what
// GetVersionExA reports on Windows 8.1 and 10.
#include <cstdio>

#include "app/win32/platform_win32.h"
#include "system/probes.h"

int main() {
  InstallWin32Platform();
  const int versionClass = GetOsVersionClass();
  std::printf("%d\n", versionClass);
  return versionClass;
}
