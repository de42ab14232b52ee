#include "fetch/mirror_list.h"

#include <gtest/gtest.h>

#include "app/settings.h"
#include "fakes.h"

namespace {
std::vector<std::string> Entries(const std::string& raw) {
  const MirrorTable table = ReadMirrorList(raw);
  return {table.entries.begin(), table.entries.begin() + table.n};
}
using V = std::vector<std::string>;

TEST(MirrorListReader, CountsBarsRatherThanMatchingTriples) {
  EXPECT_EQ(Entries("A|||B|||C"), (V{"A", "B", "C"}));
  EXPECT_EQ(Entries("A|B|C|D"), (V{"ABC", "D"}));
  EXPECT_EQ(Entries("A|B|||C"), (V{"AB"}));
  EXPECT_EQ(Entries("A|||B|||"), (V{"A", "B", ""}));
  EXPECT_EQ(Entries("A|||B|"), (V{"A"}));
  EXPECT_EQ(Entries("A|||B||"), (V{"A"}));
  EXPECT_EQ(Entries(""), (V{""}));
  EXPECT_EQ(Entries("|||"), (V{"", ""}));
  EXPECT_EQ(Entries("A|"), V{});
}

TEST(MirrorListReader, TextModeAndTrimming) {
  EXPECT_EQ(Entries("http://a/x|||\r\nhttp://b/x\r\n"), (V{"http://a/x", "http://b/x"}));
  EXPECT_EQ(Entries("A|||B\x1A|||C"), (V{"A", "B"}));
  EXPECT_EQ(Entries("\x1A"), (V{""}));
  EXPECT_EQ(Entries(" \t A \t|||\n\n"), (V{"A", ""}));
  // One address per line without bars stays one entry, lines joined.
  EXPECT_EQ(Entries("http://a/x\nhttp://b/x\n"), (V{"http://a/x\nhttp://b/x"}));
  // A lone CR is an ordinary character in text mode; inside an entry it stays.
  EXPECT_EQ(Entries("A\rB"), (V{"A\rB"}));
}

TEST(MirrorListReader, TwentySlots) {
  std::string twenty;
  std::string twentyOne;
  for (int i = 0; i < 21; ++i) {
    std::string entry = "http://m" + std::to_string(i) + "/x";
    if (i < 20) twenty += (i ? "|||" : "") + entry;
    twentyOne += (i ? "|||" : "") + entry;
  }
  const V all = Entries(twenty);
  ASSERT_EQ(all.size(), 20u);
  EXPECT_EQ(all.back(), "http://m19/x");
  EXPECT_EQ(Entries(twentyOne), all);
  EXPECT_EQ(Entries(twentyOne + "|||" + twentyOne).size(), 20u);
}

class DotNetDownload : public ::testing::Test {
 protected:
  void SetUp() override { g_strFileBase = "http://files.test/qorv/"; }
  void List(const std::string& body, const std::string& status = "200") {
    fake.http.replies[LIST] = FakeReply{status, body};
  }
  std::vector<std::string> PackageRequests() const {
    V out;
    for (const auto& r : fake.http.requests)
      if (r != LIST) out.push_back(r);
    return out;
  }
  FakePlatform fake;
  const std::string LIST = "http://files.test/qorv/MirrorList.txt";
  const std::string WORK = "C:\\T\\";
  const std::string PACKAGE = "C:\\T\\\\NetFx40.exe";
};

TEST_F(DotNetDownload, DefaultAddressOnlyWhenTheListGivesNothing) {
  for (const char* status : {"404", "500", ""}) {
    fake.http.requests.clear();
    List("http://m/a", status);
    fake.http.replies[g_strDotNet4PackageUrl] = FakeReply{"200", "pkg"};
    EXPECT_EQ(DownloadDotNet4Package(WORK), PACKAGE) << status;
    EXPECT_EQ(PackageRequests(), V{g_strDotNet4PackageUrl}) << status;
  }
  fake.http.replies[g_strDotNet4PackageUrl] = FakeReply{"404", ""};
  EXPECT_EQ(DownloadDotNet4Package(WORK), "");
}

TEST_F(DotNetDownload, ListWithoutACompleteEntryFallsBackToTheDefault) {
  List("http://m/a|");
  fake.http.replies[g_strDotNet4PackageUrl] = FakeReply{"200", "pkg"};
  EXPECT_EQ(DownloadDotNet4Package(WORK), PACKAGE);
  EXPECT_EQ(PackageRequests(), V{g_strDotNet4PackageUrl});
}

TEST_F(DotNetDownload, EveryEntryTriedOnceInDrawOrderThenGiveUp) {
  List("http://m/a|||http://m/b|||http://m/c|||http://m/a");
  fake.random.values = {1, 7, 0, 5};
  EXPECT_EQ(DownloadDotNet4Package(WORK), "");
  // Table a b c a: 1%4 takes b and the last moves in (a a c); 7%3 takes a
  // (a c); 0%2 takes a (c); 5%1 takes c.
  EXPECT_EQ(PackageRequests(), (V{"http://m/b", "http://m/a", "http://m/a", "http://m/c"}));
  EXPECT_EQ(fake.random.seeds, 1);
}

TEST_F(DotNetDownload, StopsAtTheFirstMirrorThatDelivers) {
  List("http://m/a|||http://m/b");
  fake.http.replies["http://m/b"] = FakeReply{"200", "pkg"};
  for (int first : {0, 1}) {
    fake.http.requests.clear();
    fake.random.values = {first};
    fake.random.next = 0;
    EXPECT_EQ(DownloadDotNet4Package(WORK), PACKAGE);
    EXPECT_EQ(PackageRequests().size(), first == 0 ? 2u : 1u);
    EXPECT_EQ(PackageRequests().back(), "http://m/b");
  }
}

TEST_F(DotNetDownload, EmptyListBodyIsOneEmptyEntryAndNoDefault) {
  List("");
  fake.http.replies[g_strDotNet4PackageUrl] = FakeReply{"200", "pkg"};
  EXPECT_EQ(DownloadDotNet4Package(WORK), "");
  EXPECT_EQ(PackageRequests(), V{""});
}

TEST_F(DotNetDownload, UnreadableListReadsAsEmpty) {
  List("http://m/a");
  fake.files.unreadable.insert("C:\\T\\\\MirrorList.txt");
  fake.http.replies[g_strDotNet4PackageUrl] = FakeReply{"200", "pkg"};
  EXPECT_EQ(DownloadDotNet4Package(WORK), "");
  EXPECT_EQ(PackageRequests(), V{""});
}

// Raises on the first draw, as a broken generator or allocator might.
class ThrowingRandom final : public RandomSource {
 public:
  void Seed() override {}
  int Next() override { throw std::runtime_error("draw"); }
};

TEST_F(DotNetDownload, SomethingRaisedFallsBackToTheDefaultOnce) {
  List("http://m/a|||http://m/b");
  ThrowingRandom random;
  Platform p = GetPlatform();
  p.random = &random;
  SetPlatform(p);
  fake.http.replies[g_strDotNet4PackageUrl] = FakeReply{"200", "pkg"};
  EXPECT_EQ(DownloadDotNet4Package(WORK), PACKAGE);
  EXPECT_EQ(PackageRequests(), V{g_strDotNet4PackageUrl});
}

TEST_F(DotNetDownload, TheDefaultIgnoresThePrivateBase) {
  g_bPrivateMode = 1;
  g_strFileBase = g_strIntranetBase;
  fake.http.replies[g_strDotNet4PackageUrl] = FakeReply{"200", "pkg"};
  EXPECT_EQ(DownloadDotNet4Package(WORK), PACKAGE);
  EXPECT_EQ(fake.http.requests.front(), g_strIntranetBase + "MirrorList.txt");
  EXPECT_EQ(fake.http.requests.back().rfind(MakeHttpAddress(KELVARA_DOWNLOAD_HOST, "/"), 0), 0u);
}
}  // namespace
