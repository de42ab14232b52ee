#include "fetch/downloaders.h"

#include <gtest/gtest.h>

#include "app/settings.h"
#include "fakes.h"

namespace {
const std::string WORK = "C:\\Temp\\";

struct Single {
  std::string (*download)(std::string);
  std::string remote;
  std::string local;
};

TEST(Downloaders, SingleFileAddressesPathsAndResults) {
  const Single all[] = {
      {DownloadClientSetup, "ClientSetup.exe", "ClientSetup.exe"},
      {DownloadImagingProbe, "ImagingProbe.exe", "ImagingProbe.exe"},
      {DownloadWicPackage, "wic_x86_chs.exe", "wic_x86_chs.exe"},
      {DownloadInstallerProbe, "InstallerProbe.exe", "InstallerProbe.exe"},
      {DownloadMsiPackage, "WindowsInstaller.exe", "WindowsInstaller.exe"},
  };
  for (const Single& d : all) {
    FakePlatform fake;
    g_strFileBase = "http://files.test/qorv/";
    const std::string url = "http://files.test/qorv/" + d.remote;
    const std::string path = "C:\\Temp\\\\" + d.local;
    fake.http.replies[url] = FakeReply{"200", "exe"};
    EXPECT_EQ(d.download(WORK), path);
    EXPECT_EQ(fake.http.requests, std::vector<std::string>{url});
    EXPECT_EQ(fake.files.files[path], "exe");

    for (const char* status : {"404", "500"}) {
      fake.http.replies[url] = FakeReply{status, ""};
      EXPECT_EQ(d.download(WORK), "") << d.remote << " " << status;
    }
    fake.http.replies[url] = FakeReply{"200", "exe"};
    fake.files.notCreatable.insert(path);
    EXPECT_EQ(d.download(WORK), "") << d.remote;
  }
}

TEST(Downloaders, SetupWizardFetchesTheLibraryAfterTheWizard) {
  FakePlatform fake;
  g_strFileBase = "http://files.test/qorv/";
  const std::string wizardUrl = "http://files.test/qorv//SetupWizard.exe";
  const std::string dllUrl = "http://files.test/qorv/unrar.dll";

  // Missing wizard: one request, the library is not asked for.
  fake.http.replies[wizardUrl] = FakeReply{"404", ""};
  EXPECT_EQ(DownloadSetupWizard(WORK), "");
  EXPECT_EQ(fake.http.requests, std::vector<std::string>{wizardUrl});

  // Wizard present, library missing: "" though the wizard stays complete.
  fake.http.requests.clear();
  fake.http.replies[wizardUrl] = FakeReply{"200", "wizard"};
  fake.http.replies[dllUrl] = FakeReply{"404", ""};
  EXPECT_EQ(DownloadSetupWizard(WORK), "");
  EXPECT_EQ(fake.http.requests, (std::vector<std::string>{wizardUrl, dllUrl}));
  EXPECT_EQ(fake.files.files["C:\\Temp\\\\SetupWizard.exe"], "wizard");

  fake.http.replies[dllUrl] = FakeReply{"200", "dll"};
  EXPECT_EQ(DownloadSetupWizard(WORK), "C:\\Temp\\\\SetupWizard.exe");
  EXPECT_EQ(fake.files.files["C:\\Temp\\\\unrar.dll"], "dll");
}

TEST(Downloaders, ConnectivityTestFetchesAlive) {
  FakePlatform fake;
  g_strFileBase = "http://files.test/qorv/";
  EXPECT_FALSE(IsServerReachable(WORK));
  fake.http.replies["http://files.test/qorv/alive"] = FakeReply{"404", ""};
  EXPECT_FALSE(IsServerReachable(WORK));
  fake.http.replies["http://files.test/qorv/alive"] = FakeReply{"200", "yes"};
  EXPECT_TRUE(IsServerReachable(WORK));
  EXPECT_EQ(fake.files.files["C:\\Temp\\\\alive_tmp"], "yes");
}
}  // namespace
