#include <gtest/gtest.h>

#include "app/settings.h"
#include "fakes.h"
#include "system/launcher.h"
#include "system/probes.h"

namespace {
const std::string V40_CLIENT = std::string(NDP) + "v4.0\\Client";
const std::string V4_CLIENT = std::string(NDP) + "v4\\Client";
const std::string V4_FULL = std::string(NDP) + "v4\\Full";
const std::string V2 = std::string(NDP) + "v2.0.50727";

const std::vector<unsigned char> DWORD_1 = {1, 0, 0, 0};
const std::vector<unsigned char> DWORD_0 = {0, 0, 0, 0};
const std::vector<unsigned char> TEXT_1 = {'1', 0};

FakeKey Install(std::vector<unsigned char> data) { return FakeKey{true, true, std::move(data)}; }

TEST(VersionClass, Table) {
  struct Case {
    std::uint32_t major, minor;
    int cls;
  };
  for (const Case& c : {Case{5, 0, 50}, Case{5, 1, 51}, Case{5, 2, 52}, Case{5, 3, 0},
                        Case{6, 0, 60}, Case{6, 1, 61}, Case{6, 2, 62}, Case{6, 3, 62},
                        Case{6, 4, 62}, Case{10, 0, 0}, Case{4, 0, 0}, Case{7, 0, 0}}) {
    FakePlatform fake;
    fake.system.major = c.major;
    fake.system.minor = c.minor;
    EXPECT_EQ(GetOsVersionClass(), c.cls) << c.major << "." << c.minor;
  }
  FakePlatform fake;
  fake.system.versionOk = false;
  EXPECT_EQ(GetOsVersionClass(), 0);
}

TEST(DotNet4Probe, KeyCombinations) {
  struct Case {
    const char* what;
    std::map<std::string, FakeKey> keys;
    bool installed;
  };
  const Case cases[] = {
      {"v4.0 client alone", {{V40_CLIENT, Install(DWORD_1)}}, true},
      {"v4.0 client wins over v4 zero",
       {{V40_CLIENT, Install(DWORD_1)}, {V4_CLIENT, Install(DWORD_0)}},
       true},
      {"v4 client without full", {{V4_CLIENT, Install(DWORD_1)}}, false},
      {"v4 full without client", {{V4_FULL, Install(DWORD_1)}}, false},
      {"v4 client and full", {{V4_CLIENT, Install(DWORD_1)}, {V4_FULL, Install(DWORD_1)}}, true},
      {"v4 full zero", {{V4_CLIENT, Install(DWORD_1)}, {V4_FULL, Install(DWORD_0)}}, false},
      {"install 0", {{V40_CLIENT, Install(DWORD_0)}}, false},
      {"install as text 1", {{V40_CLIENT, Install(TEXT_1)}}, false},
      {"install as binary 01 00 00 00", {{V40_CLIENT, Install({1, 0, 0, 0})}}, true},
      {"longer binary beginning 01 00 00 00", {{V40_CLIENT, Install({1, 0, 0, 0, 9, 9})}}, true},
      {"01 00 then non-zero", {{V40_CLIENT, Install({1, 0, 2, 0})}}, false},
      {"a single byte 01 on a zeroed buffer", {{V40_CLIENT, Install({1})}}, true},
      {"key without the value", {{V40_CLIENT, FakeKey{}}}, false},
      {"value too big for 520 bytes",
       {{V40_CLIENT, Install(std::vector<unsigned char>(521, 1))}},
       false},
      {"no keys", {}, false},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.system.keys = c.keys;
    EXPECT_EQ(IsDotNet4Installed(), c.installed) << c.what;
    EXPECT_LE(fake.system.maxOpenKeys, 1) << c.what;
    EXPECT_EQ(fake.system.openKeys, 0) << c.what;
  }
}

TEST(DotNet4Probe, KeysAreTriedInOrderAndStopEarly) {
  FakePlatform fake;
  fake.system.keys = {{V4_FULL, Install(DWORD_1)}};
  EXPECT_FALSE(IsDotNet4Installed());
  EXPECT_EQ(fake.system.opened, (std::vector<std::string>{V40_CLIENT, V4_CLIENT}));
}

TEST(DotNet2Probe, PresenceWithFullAccess) {
  FakePlatform fake;
  EXPECT_FALSE(IsDotNet2Installed());
  fake.system.keys[V2] = FakeKey{false, false, {}};
  EXPECT_FALSE(IsDotNet2Installed());
  fake.system.keys[V2] = FakeKey{true, false, {}};
  EXPECT_TRUE(IsDotNet2Installed());
  EXPECT_EQ(fake.system.openKeys, 0);
}

TEST(PackageSize, ExactlyTheExpectedSize) {
  FakePlatform fake;
  fake.files.sizes = {
      {"a", 50449455}, {"b", 50449456}, {"c", 50449457}, {"d", 50449456ull + (1ull << 32)}};
  EXPECT_FALSE(IsDotNet4PackageComplete("a"));
  EXPECT_TRUE(IsDotNet4PackageComplete("b"));
  EXPECT_FALSE(IsDotNet4PackageComplete("c"));
  EXPECT_FALSE(IsDotNet4PackageComplete("d"));  // would wrap into the right size in 32 bits
  EXPECT_FALSE(IsDotNet4PackageComplete("missing"));
}

TEST(LaunchRules, ProbeAndStartRules) {
  for (int code : {0, 1, 99, 101, -1, LAUNCH_FAILED}) EXPECT_FALSE(IsProbeFound(code)) << code;
  EXPECT_TRUE(IsProbeFound(100));
  for (int code : {0, 1, 100, -1, 0x7fffffff}) EXPECT_TRUE(HasStarted(code)) << code;
  EXPECT_FALSE(HasStarted(LAUNCH_FAILED));
}

TEST(LaunchRules, WrappersQuoteThePathAndApplyTheirRule) {
  const std::string path = "C:\\Documents and Settings\\u\\Local Settings\\Temp\\\\x.exe";
  const std::string quoted = "\"" + path + "\"";
  struct Wrapper {
    bool (*run)(std::string);
    bool probe;
  };
  for (const Wrapper& w : {Wrapper{RunImagingProbe, true}, Wrapper{RunInstallerProbe, true},
                           Wrapper{RunWicPackage, false}, Wrapper{RunMsiPackage, false},
                           Wrapper{RunSetupWizard, false}}) {
    for (int code : {0, 1, 100, 101, LAUNCH_FAILED}) {
      FakePlatform fake;
      fake.system.exitCodeFor = [code](const std::string&) { return code; };
      const bool expected = w.probe ? code == 100 : code != LAUNCH_FAILED;
      EXPECT_EQ(w.run(path), expected) << code;
      EXPECT_EQ(fake.system.launched, std::vector<std::string>{quoted});
    }
  }
}

TEST(LaunchRules, SetupWizardGetsPrivateOnlyInPrivateMode) {
  FakePlatform fake;
  g_bPrivateMode = 1;
  EXPECT_TRUE(RunSetupWizard("C:\\a b\\\\SetupWizard.exe"));
  g_bPrivateMode = 0;
  EXPECT_TRUE(RunSetupWizard("C:\\a b\\\\SetupWizard.exe"));
  EXPECT_EQ(fake.system.launched,
            (std::vector<std::string>{"\"C:\\a b\\\\SetupWizard.exe\" private",
                                      "\"C:\\a b\\\\SetupWizard.exe\""}));
}

TEST(LaunchRules, DotNetPackageRunsOnlyWhenComplete) {
  FakePlatform fake;
  fake.system.exitCodeFor = [](const std::string&) { return 1603; };
  fake.files.sizes = {{"short", 50449455}, {"whole", 50449456}};
  EXPECT_FALSE(RunDotNet4Package("short"));
  EXPECT_FALSE(RunDotNet4Package("missing"));
  EXPECT_TRUE(fake.system.launched.empty());
  EXPECT_TRUE(RunDotNet4Package("whole"));  // any exit code counts as run
  EXPECT_EQ(fake.system.launched, std::vector<std::string>{"\"whole\""});
}
}  // namespace
