// FetchUrlToFile and the downloaders through WinInet and the Win32 file
// system, against fault_server.py (started by run_win_test.sh).
#include "fetch/fetch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "app/settings.h"
#include "fetch/downloaders.h"
#include "test_support.h"

namespace {
using wintest::BodyPattern;
using wintest::Exists;
using wintest::ReadBytes;
using wintest::Utf8;
using wintest::WriteBytes;

std::string ServerPort() { return Utf8(wintest::EnvVar(L"KELVARA_TEST_PORT")); }

// WinInet keeps a cache in the prefix across runs; every address carries
// this run's id so no answer can come from an earlier run.
std::string RunId() {
  static const std::string id =
      std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
  return id;
}

// A file's content equals the first n bytes of the server's body pattern.
testing::AssertionResult HoldsPattern(const std::wstring& path, std::size_t n) {
  const auto content = ReadBytes(path);
  if (!content) return testing::AssertionFailure() << "cannot read " << Utf8(path);
  if (content->size() != n)
    return testing::AssertionFailure() << "size " << content->size() << ", expected " << n;
  const std::string expected = BodyPattern(0, n);
  const auto diff = std::mismatch(content->begin(), content->end(), expected.begin());
  if (diff.first != content->end())
    return testing::AssertionFailure() << "byte " << (diff.first - content->begin()) << " differs";
  return testing::AssertionSuccess();
}

// What arrived of a body that broke off: some prefix of it, at most n bytes.
testing::AssertionResult HoldsPatternPrefix(const std::wstring& path, std::size_t n) {
  const auto content = ReadBytes(path);
  if (!content) return testing::AssertionFailure() << "cannot read " << Utf8(path);
  if (content->size() > n)
    return testing::AssertionFailure() << "size " << content->size() << ", at most " << n;
  return HoldsPattern(path, content->size());
}

class FetchTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ServerPort().empty()) << "KELVARA_TEST_PORT is unset: run through run_win_test.sh";
  }

  // One address per case: the tag names the case in the server's log.
  static std::string Url(const std::string& tag, const std::string& query) {
    return "http://127.0.0.1:" + ServerPort() + "/" + tag + "-" + RunId() + "/file.bin?" + query;
  }

  // Requests the server saw whose path starts with this case's tag.
  static int RequestsFor(const std::string& tag) {
    const auto log = ReadBytes(wintest::EnvVar(L"KELVARA_TEST_SERVER_LOG"));
    if (!log) return -1;
    const std::string needle = "GET /" + tag + "-" + RunId() + "/";
    int count = 0;
    for (std::size_t at = log->find(needle); at != std::string::npos;
         at = log->find(needle, at + 1))
      ++count;
    return count;
  }

  std::wstring Local(const std::wstring& leaf) const { return dir_.Child(leaf); }
  std::string LocalUtf8(const std::wstring& leaf) const { return Utf8(Local(leaf)); }

  wintest::TempDir dir_{L"kelvara fetch"};
};

// ---- Complete bodies are copied byte for byte.

TEST_F(FetchTest, BodiesOfEverySizeArriveIntact) {
  // Empty, exactly one read buffer, one byte more, and many buffers.
  for (const std::size_t size : {std::size_t{0}, FETCH_BUFFER_SIZE, FETCH_BUFFER_SIZE + 1,
                                 std::size_t{3 * 1024 * 1024 + 5}}) {
    SCOPED_TRACE(size);
    const std::string tag = "size" + std::to_string(size);
    EXPECT_EQ(FetchUrlToFile(Url(tag, "size=" + std::to_string(size)), LocalUtf8(L"body.bin")),
              FETCH_OK);
    EXPECT_TRUE(HoldsPattern(Local(L"body.bin"), size));
    EXPECT_EQ(RequestsFor(tag), 1);
  }
}

TEST_F(FetchTest, BodyWithoutContentLengthEndsAtClose) {
  EXPECT_EQ(FetchUrlToFile(Url("nocl", "size=200000&cl=none"), LocalUtf8(L"f.bin")), FETCH_OK);
  EXPECT_TRUE(HoldsPattern(Local(L"f.bin"), 200000));
}

TEST_F(FetchTest, SlowHeadAndBodyStillComplete) {
  // Pauses make WinInet return short reads before the end of the body.
  EXPECT_EQ(FetchUrlToFile(Url("slow", "size=40000&chunk=4000&delay_ms=25&head_delay_ms=150"),
                           LocalUtf8(L"f.bin")),
            FETCH_OK);
  EXPECT_TRUE(HoldsPattern(Local(L"f.bin"), 40000));
}

TEST_F(FetchTest, NotModifiedWithBodyCountsAsSuccess) {
  EXPECT_EQ(FetchUrlToFile(Url("notmod", "status=304&size=1000"), LocalUtf8(L"f.bin")), FETCH_OK);
  // Wine's WinInet gives a 304 no body, except for bytes that happened to
  // arrive together with the head; so only "a prefix of it" is certain here.
  EXPECT_TRUE(HoldsPatternPrefix(Local(L"f.bin"), 1000));
}

TEST_F(FetchTest, LongerExistingFileIsTruncated) {
  ASSERT_TRUE(WriteBytes(Local(L"f.bin"), std::string(5000, 'x')));
  EXPECT_EQ(FetchUrlToFile(Url("trunc", "size=100"), LocalUtf8(L"f.bin")), FETCH_OK);
  EXPECT_TRUE(HoldsPattern(Local(L"f.bin"), 100));
}

TEST_F(FetchTest, SameAddressTwiceIsFetchedTwice) {
  // A second try must reach the server, not a cached copy.
  const std::string url = Url("twice", "size=10");
  EXPECT_EQ(FetchUrlToFile(url, LocalUtf8(L"a.bin")), FETCH_OK);
  EXPECT_EQ(FetchUrlToFile(url, LocalUtf8(L"b.bin")), FETCH_OK);
  EXPECT_EQ(RequestsFor("twice"), 2);
}

// ---- Error statuses leave an existing file alone.

TEST_F(FetchTest, ErrorStatusesLeaveTheFileUntouched) {
  const struct {
    const char* tag;
    const char* query;
    int expected;
  } cases[] = {
      {"s404", "status=404&size=50", FETCH_NOT_FOUND},
      {"s500", "status=500&size=50", FETCH_FAILED},
      {"s201", "status=201&size=50", FETCH_FAILED},
      {"sabc", "status=abc&size=50", FETCH_FAILED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    ASSERT_TRUE(WriteBytes(Local(L"keep.bin"), "old content"));
    EXPECT_EQ(FetchUrlToFile(Url(c.tag, c.query), LocalUtf8(L"keep.bin")), c.expected);
    EXPECT_EQ(ReadBytes(Local(L"keep.bin")).value_or("<missing>"), "old content");
    EXPECT_EQ(RequestsFor(c.tag), 1);
  }
}

TEST_F(FetchTest, ErrorStatusCreatesNoFile) {
  EXPECT_EQ(FetchUrlToFile(Url("nofile404", "status=404"), LocalUtf8(L"none.bin")),
            FETCH_NOT_FOUND);
  EXPECT_FALSE(Exists(Local(L"none.bin")));
}

// ---- Broken transfers fail and leave what arrived.

TEST_F(FetchTest, DroppedConnectionFailsWithPartialFile) {
  EXPECT_EQ(FetchUrlToFile(Url("drop", "size=1000000&drop=300000"), LocalUtf8(L"f.bin")),
            FETCH_FAILED);
  EXPECT_TRUE(HoldsPatternPrefix(Local(L"f.bin"), 300000));
  // No silent retry behind the caller's back.
  EXPECT_EQ(RequestsFor("drop"), 1);
}

TEST_F(FetchTest, ContentLengthLieFails) {
  EXPECT_EQ(FetchUrlToFile(Url("lie", "size=1000&cl=5000"), LocalUtf8(L"f.bin")), FETCH_FAILED);
  EXPECT_TRUE(HoldsPatternPrefix(Local(L"f.bin"), 1000));
}

// ---- Addresses that cannot be opened.

TEST_F(FetchTest, UnopenableAddressesFailWithoutFile) {
  EXPECT_EQ(FetchUrlToFile("http://nothing.invalid/file.bin", LocalUtf8(L"dns.bin")), FETCH_FAILED);
  EXPECT_FALSE(Exists(Local(L"dns.bin")));
  EXPECT_EQ(FetchUrlToFile("", LocalUtf8(L"empty.bin")), FETCH_FAILED);
  EXPECT_FALSE(Exists(Local(L"empty.bin")));
}

// ---- Local files: exclusive while written, and ones that cannot be written.

TEST_F(FetchTest, FileIsSharedWithNobodyWhileDownloading) {
  // A slow body keeps the file open long enough to try a second opener.
  int result = 0;
  std::thread fetch([&] {
    result = FetchUrlToFile(Url("excl", "size=20000&chunk=1000&delay_ms=40"), LocalUtf8(L"f.bin"));
  });
  const ULONGLONG deadline = GetTickCount64() + 10000;
  while (!Exists(Local(L"f.bin")) && GetTickCount64() < deadline) Sleep(5);
  HANDLE other = CreateFileW(Local(L"f.bin").c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = GetLastError();
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  fetch.join();
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(result, FETCH_OK);
  EXPECT_TRUE(HoldsPattern(Local(L"f.bin"), 20000));
}

TEST_F(FetchTest, MissingFolderIsNoLocalFile) {
  EXPECT_EQ(FetchUrlToFile(Url("nodir", "size=10"), LocalUtf8(L"missing\\f.bin")),
            FETCH_NO_LOCAL_FILE);
  EXPECT_FALSE(Exists(Local(L"missing")));
}

TEST_F(FetchTest, FileHeldOpenByOthersIsNoLocalFile) {
  ASSERT_TRUE(WriteBytes(Local(L"held.bin"), "held"));
  HANDLE held = CreateFileW(Local(L"held.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FetchUrlToFile(Url("held", "size=10"), LocalUtf8(L"held.bin")), FETCH_NO_LOCAL_FILE);
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(Local(L"held.bin")).value_or("<missing>"), "held");
}

// ---- The downloaders: request paths on the wire and local names.

class DownloaderTest : public FetchTest {
 protected:
  void SetUp() override {
    FetchTest::SetUp();
    saved_ = g_strFileBase;
  }
  void TearDown() override { g_strFileBase = saved_; }

  // The folder as the wizard passes it: ending with a backslash.
  std::string WorkDir() const { return Utf8(dir_.path()) + "\\"; }

  void ServeFrom(const std::string& tag, const std::string& query = "") {
    g_strFileBase = "http://127.0.0.1:" + ServerPort() + "/" + tag + "-" + RunId() + "/" +
                    (query.empty() ? "" : "?" + query + "&name=");
  }

  std::string saved_;
};

// The log line of one request below the base set by ServeFrom.
std::string LogLine(const std::string& tag, const std::string& rest) {
  return "GET /" + tag + "-" + RunId() + "/" + rest + "\n";
}

TEST_F(DownloaderTest, EachDownloaderRequestsItsNameAndWritesItsFile) {
  const struct {
    std::string (*download)(std::string);
    const char* name;
  } cases[] = {
      {DownloadClientSetup, "ClientSetup.exe"},     {DownloadImagingProbe, "ImagingProbe.exe"},
      {DownloadWicPackage, "wic_x86_chs.exe"},      {DownloadInstallerProbe, "InstallerProbe.exe"},
      {DownloadMsiPackage, "WindowsInstaller.exe"},
  };
  ServeFrom("dl");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string got = c.download(WorkDir());
    // The doubled backslash is what the wizard really passes to CreateFileW.
    EXPECT_EQ(got, WorkDir() + "\\" + c.name);
    EXPECT_TRUE(Exists(Local(wintest::Wide(c.name))));
  }
  const auto log = ReadBytes(wintest::EnvVar(L"KELVARA_TEST_SERVER_LOG")).value_or("");
  for (const auto& c : cases)
    EXPECT_NE(log.find(LogLine("dl", c.name)), std::string::npos) << c.name;
}

TEST_F(DownloaderTest, SetupWizardKeepsTheDoubleSlashAndFetchesTheDll) {
  ServeFrom("wiz");
  EXPECT_EQ(DownloadSetupWizard(WorkDir()), WorkDir() + "\\SetupWizard.exe");
  EXPECT_TRUE(Exists(Local(L"SetupWizard.exe")));
  EXPECT_TRUE(Exists(Local(L"unrar.dll")));
  const auto log = ReadBytes(wintest::EnvVar(L"KELVARA_TEST_SERVER_LOG")).value_or("");
  const auto wizard = log.find(LogLine("wiz", "/SetupWizard.exe"));
  const auto dll = log.find(LogLine("wiz", "unrar.dll"));
  EXPECT_NE(wizard, std::string::npos) << log;
  EXPECT_NE(dll, std::string::npos) << log;
  EXPECT_LT(wizard, dll);
}

TEST_F(DownloaderTest, SetupWizardFailsWhenTheDllCannotBeWritten) {
  ServeFrom("wizdll");
  HANDLE held = CreateFileW(Local(L"unrar.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(DownloadSetupWizard(WorkDir()), "");
  CloseHandle(held);
  EXPECT_EQ(RequestsFor("wizdll"), 2);
}

TEST_F(DownloaderTest, SetupWizardMissingSkipsTheDll) {
  ServeFrom("wiz404", "status=404");
  EXPECT_EQ(DownloadSetupWizard(WorkDir()), "");
  EXPECT_EQ(RequestsFor("wiz404"), 1);
  EXPECT_FALSE(Exists(Local(L"unrar.dll")));
}

TEST_F(DownloaderTest, ReachabilityFollowsTheAliveFile) {
  ServeFrom("alive");
  EXPECT_TRUE(IsServerReachable(WorkDir()));
  EXPECT_TRUE(Exists(Local(L"alive_tmp")));
  ServeFrom("dead", "status=500");
  EXPECT_FALSE(IsServerReachable(WorkDir()));
  ServeFrom("gone", "status=404");
  EXPECT_FALSE(IsServerReachable(WorkDir()));
}

}  // namespace
