#include "main/win32/platform_win32.h"

#include "app/platform.h"
#include "fetch/win32/win32_files.h"
#include "fetch/win32/wininet_client.h"
#include "flow/win32/job_thread.h"
#include "system/win32/win32_run_folder.h"
#include "system/win32/win32_system.h"

namespace kelvara {

void InstallWin32Platform() {
  // Never destroyed: a job thread may still use them while the process exits.
  Platform platform;
  platform.http = new WinInetClient;
  platform.files = new Win32FileSystem(ProcessRunFolder);
  platform.system = new Win32SystemApi;
  platform.jobs = new WindowJobRunner;
  platform.random = &StandardRandom();
  SetPlatform(platform);
  LoadSignatureLibraries();
}

}  // namespace kelvara
