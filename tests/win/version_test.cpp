// GetOsVersionClass under the Windows versions Wine can pretend to be.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {
const wchar_t kProbeExe[] = L"kelvara_version_probe.exe";
const wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\kelvara_version_probe.exe";

// Runs the probe and returns its exit code; -1 when it cannot be run.
long RunProbe() {
  std::wstring line = L"\"" + wintest::ModuleDir() + L"\\" + kProbeExe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return -1;
  WaitForSingleObject(process.hProcess, 30000);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.hProcess, &code) || code == STILL_ACTIVE) code = DWORD(-1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(static_cast<int>(code));
}

class OsVersionClass : public testing::Test {
 protected:
  // The key is this test's own (named after its helper), so it can go whole.
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kAppDefaults); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kAppDefaults); }

  static void PretendToBe(const std::wstring& version) {
    const DWORD bytes = static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kAppDefaults, L"Version", REG_SZ, version.c_str(),
                              bytes),
              ERROR_SUCCESS);
  }
};

TEST_F(OsVersionClass, FollowsTheReportedWindowsVersion) {
  const struct {
    const wchar_t* version;
    long expected;
  } cases[] = {
      {L"win2k", 50},
      {L"winxp", 51},
      {L"winxp64", 52},
      {L"win2003", 52},
      {L"vista", 60},
      {L"win2008", 60},
      {L"win7", 61},
      {L"win8", 62},
      // Without supportedOS in the manifest, Windows 8.1 and 10 report 6.2.
      {L"win81", 62},
      {L"win10", 62},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wintest::Utf8(c.version));
    PretendToBe(c.version);
    EXPECT_EQ(RunProbe(), c.expected);
  }
}

}  // namespace
