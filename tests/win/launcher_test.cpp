// The launcher and its wrappers through Win32SystemApi::RunAndWait, with a
// helper program in a folder whose path has blanks and Chinese characters.
#include "system/launcher.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "app/settings.h"
#include "system/probes.h"
#include "test_support.h"

namespace {
using wintest::Utf8;

using Report = std::map<std::string, std::string>;

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "\"" + s + "\"".
std::string Quoted(const std::string& text) {
  std::string quoted(1, '"');
  quoted += text;
  quoted += '"';
  return quoted;
}

class LauncherTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = std::make_unique<wintest::TempDir>(L"kelvara launch");
    const std::wstring programDir = root_->path() + L"\\kelvara launcher test\\sub dir 启动";
    CreateDirectoryW((root_->path() + L"\\kelvara launcher test").c_str(), nullptr);
    CreateDirectoryW(programDir.c_str(), nullptr);
    CreateDirectoryW(root_->Child(L"work dir").c_str(), nullptr);
    helper_ = programDir + L"\\launch helper.exe";
    ASSERT_TRUE(CopyFileW(HelperSource().c_str(), helper_.c_str(), FALSE));
    // Without the quotes CreateProcessW would try this one first.
    ASSERT_TRUE(CopyFileW(HelperSource().c_str(), root_->Child(L"kelvara.exe").c_str(), FALSE));
  }
  static void TearDownTestSuite() { root_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(root_ && wintest::Exists(helper_));
    DeleteFileW(ReportPath().c_str());
    SetEnvironmentVariableW(L"KELVARA_HELPER_REPORT", ReportPath().c_str());
    SetEnvironmentVariableW(L"KELVARA_HELPER_PROBE", L"inherited 值 42");
    SetEnvironmentVariableW(L"KELVARA_HELPER_EXIT", nullptr);
  }

  static std::wstring HelperSource() {
    return wintest::ModuleDir() + L"\\kelvara_launch_helper.exe";
  }
  static std::wstring ReportPath() { return root_->Child(L"report.txt"); }
  static std::string Helper() { return Utf8(helper_); }

  // The exit code the helper returns when started without arguments.
  static void NextExitCode(const wchar_t* code) {
    SetEnvironmentVariableW(L"KELVARA_HELPER_EXIT", code);
  }

  // What the helper received; empty when it did not run.
  static Report TakeReport() {
    Report report;
    const auto text = wintest::ReadBytes(ReportPath());
    DeleteFileW(ReportPath().c_str());
    if (!text) return report;
    std::size_t start = 0;
    for (std::size_t end; (end = text->find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = text->substr(start, end - start);
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos) report[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return report;
  }

  // The helper ran as itself with exactly the quoted path as its command line.
  static void ExpectStartedAlone(const Report& report) {
    ASSERT_FALSE(report.empty()) << "the helper did not run";
    EXPECT_EQ(report.at("line"), Quoted(Helper()));
    EXPECT_EQ(report.at("argc"), "1");
    EXPECT_EQ(report.at("arg0"), Helper());
    EXPECT_EQ(report.at("module"), Helper());
  }

  static std::unique_ptr<wintest::TempDir> root_;
  static std::wstring helper_;
};

std::unique_ptr<wintest::TempDir> LauncherTest::root_;
std::wstring LauncherTest::helper_;

// ---- RunProgramAndWait

TEST_F(LauncherTest, ExitCodeComesBackSigned) {
  const struct {
    const char* argument;
    int expected;
  } cases[] = {
      {"0", 0},
      {"1", 1},
      {"100", 100},
      {"101", 101},
      {"0xFFFFFFFF", -1},
      // The one code that cannot be told from a failed start.
      {"0xFFFFD8F0", LAUNCH_FAILED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument);
    EXPECT_EQ(RunProgramAndWait(ProgramCommandLine(Helper()) + " " + c.argument), c.expected);
    const Report report = TakeReport();
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report.at("arg0"), Helper());
    EXPECT_EQ(report.at("arg1"), c.argument);
  }
}

TEST_F(LauncherTest, MissingProgramIsNotStarted) {
  const std::string missing = Utf8(root_->Child(L"kelvara launcher test\\no such program.exe"));
  EXPECT_EQ(RunProgramAndWait(ProgramCommandLine(missing)), LAUNCH_FAILED);
  EXPECT_FALSE(RunImagingProbe(missing));
  EXPECT_FALSE(RunInstallerProbe(missing));
  EXPECT_FALSE(RunWicPackage(missing));
  EXPECT_FALSE(RunMsiPackage(missing));
  EXPECT_FALSE(RunSetupWizard(missing));
  // Nothing else (such as the decoy beside the folder) ran instead.
  EXPECT_TRUE(TakeReport().empty());
}

TEST_F(LauncherTest, ChildInheritsEnvironmentAndCurrentDirectory) {
  wchar_t saved[MAX_PATH * 4] = {};
  GetCurrentDirectoryW(MAX_PATH * 4, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(root_->Child(L"work dir").c_str()));
  const int result = RunProgramAndWait(ProgramCommandLine(Helper()));
  SetCurrentDirectoryW(saved);
  EXPECT_EQ(result, 0);
  const Report report = TakeReport();
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.at("env"), "inherited 值 42");
  EXPECT_EQ(report.at("cwd"), Utf8(root_->Child(L"work dir")));
}

// ---- The wrappers: which exit codes count, and what the program receives.

TEST_F(LauncherTest, ProbesAreFoundOnlyWithExitCode100) {
  const struct {
    const wchar_t* code;
    bool expected;
  } cases[] = {
      {L"100", true}, {L"0", false}, {L"1", false}, {L"101", false}, {L"0xFFFFD8F0", false}};
  for (bool (*probe)(std::string) : {RunImagingProbe, RunInstallerProbe}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(Utf8(c.code));
      NextExitCode(c.code);
      EXPECT_EQ(probe(Helper()), c.expected);
      ExpectStartedAlone(TakeReport());
    }
  }
}

TEST_F(LauncherTest, InstallersCountAsStartedUnlessLaunchFailed) {
  const struct {
    const wchar_t* code;
    bool expected;
  } cases[] = {{L"0", true},    {L"1", true},          {L"100", true},
               {L"3010", true}, {L"0xFFFFFFFF", true}, {L"0xFFFFD8F0", false}};
  g_bPrivateMode = 0;
  for (bool (*run)(std::string) : {RunWicPackage, RunMsiPackage, RunSetupWizard}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(Utf8(c.code));
      NextExitCode(c.code);
      EXPECT_EQ(run(Helper()), c.expected);
      ExpectStartedAlone(TakeReport());
    }
  }
}

TEST_F(LauncherTest, PrivateModeAddsExactlyOneArgument) {
  struct Restore {
    ~Restore() { g_bPrivateMode = 0; }
  } restore;
  g_bPrivateMode = 1;
  EXPECT_TRUE(RunSetupWizard(Helper()));
  const Report report = TakeReport();
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.at("line"), Quoted(Helper()) + " private");
  EXPECT_EQ(report.at("argc"), "2");
  EXPECT_EQ(report.at("arg0"), Helper());
  EXPECT_EQ(report.at("arg1"), "private");
  EXPECT_EQ(report.at("module"), Helper());
}

// ---- The .NET 4 package is judged by its size before it is started.

class DotNet4Package : public LauncherTest {
 protected:
  // A runnable copy of the helper padded with zeros to the given size.
  std::string PaddedHelper(unsigned long long size) {
    const std::wstring path = root_->Child(L"NetFx40 " + std::to_wstring(size) + L".exe");
    EXPECT_TRUE(CopyFileW(HelperSource().c_str(), path.c_str(), FALSE));
    EXPECT_TRUE(wintest::SetFileLength(path, size));
    return Utf8(path);
  }
};

TEST_F(DotNet4Package, SizeMustMatchExactly) {
  const struct {
    const wchar_t* name;
    unsigned long long size;
    bool expected;
  } cases[] = {
      {L"short.exe", DOTNET4_PACKAGE_SIZE - 1, false},
      {L"exact.exe", DOTNET4_PACKAGE_SIZE, true},
      {L"long.exe", DOTNET4_PACKAGE_SIZE + 1, false},
      // Matches in its low 32 bits only.
      {L"huge.exe", (1ull << 32) + DOTNET4_PACKAGE_SIZE, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const std::wstring path = root_->Child(c.name);
    ASSERT_TRUE(wintest::SetFileLength(path, c.size));
    EXPECT_EQ(IsDotNet4PackageComplete(Utf8(path)), c.expected);
    DeleteFileW(path.c_str());
  }
  EXPECT_FALSE(IsDotNet4PackageComplete(Utf8(root_->Child(L"missing.exe"))));
}

TEST_F(DotNet4Package, WrongSizeIsNeverStarted) {
  for (const unsigned long long size : {DOTNET4_PACKAGE_SIZE - 1, DOTNET4_PACKAGE_SIZE + 1}) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(RunDotNet4Package(PaddedHelper(size)));
    EXPECT_TRUE(TakeReport().empty());
  }
}

TEST_F(DotNet4Package, CompletePackageIsStarted) {
  const std::string package = PaddedHelper(DOTNET4_PACKAGE_SIZE);
  NextExitCode(L"1");
  EXPECT_TRUE(RunDotNet4Package(package));
  const Report report = TakeReport();
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.at("line"), Quoted(package));
  EXPECT_EQ(report.at("argc"), "1");
  NextExitCode(L"0xFFFFD8F0");
  EXPECT_FALSE(RunDotNet4Package(package));
}

}  // namespace
