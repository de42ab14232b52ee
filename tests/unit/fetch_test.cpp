#include "fetch/fetch.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace {
const std::string URL = "http://host/qorv/file";
const std::string PATH = "C:\\temp\\\\file";

std::string Body(std::size_t n) {
  std::string body(n, '\0');
  for (std::size_t i = 0; i < n; ++i) body[i] = static_cast<char>((i * 7 + 3) % 251);
  return body;
}

class Fetch : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every path releases what it opened.
    EXPECT_EQ(fake.http.openSessions, 0);
    EXPECT_EQ(fake.http.openResponses, 0);
    EXPECT_EQ(fake.files.openFiles, 0);
  }
  FakePlatform fake;
};

TEST_F(Fetch, StatusRules) {
  struct Case {
    std::string status;
    int result;
  };
  for (const Case& c :
       {Case{"404", FETCH_NOT_FOUND}, Case{"500", FETCH_FAILED}, Case{"", FETCH_FAILED},
        Case{"200 ", FETCH_FAILED}, Case{"2000", FETCH_FAILED}}) {
    fake.files.files[PATH] = "old content";
    fake.http.replies[URL] = FakeReply{c.status, "new body"};
    EXPECT_EQ(FetchUrlToFile(URL, PATH), c.result) << "status '" << c.status << "'";
    EXPECT_EQ(fake.files.files[PATH], "old content") << "status '" << c.status << "'";
  }
}

TEST_F(Fetch, NotModifiedCountsAsOkAndWritesTheBody) {
  fake.http.replies[URL] = FakeReply{"304", "cached body"};
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_OK);
  EXPECT_EQ(fake.files.files[PATH], "cached body");
}

TEST_F(Fetch, BodiesAroundTheBufferSizeArriveWhole) {
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, FETCH_BUFFER_SIZE, FETCH_BUFFER_SIZE + 1,
                        3 * FETCH_BUFFER_SIZE + 17}) {
    fake.http.replies[URL] = FakeReply{"200", Body(n)};
    ASSERT_EQ(FetchUrlToFile(URL, PATH), FETCH_OK) << n;
    EXPECT_EQ(fake.files.files[PATH], Body(n)) << n;
  }
}

TEST_F(Fetch, ShortReadsBeforeTheEndDoNotCutTheBody) {
  FakeReply reply{"200", Body(300000)};
  reply.maxRead = 1000;
  fake.http.replies[URL] = reply;
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_OK);
  EXPECT_EQ(fake.files.files[PATH].size(), 300000u);
}

TEST_F(Fetch, ExistingLongerFileIsTruncated) {
  fake.files.files[PATH] = std::string(5000, 'x');
  fake.http.replies[URL] = FakeReply{"200", "short"};
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_OK);
  EXPECT_EQ(fake.files.files[PATH], "short");
}

TEST_F(Fetch, AddressThatCannotBeOpenedLeavesNoFile) {
  EXPECT_EQ(FetchUrlToFile("http://nothing.invalid/x", PATH), FETCH_FAILED);
  EXPECT_EQ(FetchUrlToFile("", PATH), FETCH_FAILED);
  EXPECT_EQ(fake.files.files.count(PATH), 0u);
  fake.http.sessionFails = true;
  fake.http.replies[URL] = FakeReply{"200", "x"};
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_FAILED);
  EXPECT_EQ(fake.files.files.count(PATH), 0u);
}

TEST_F(Fetch, LocalFileThatCannotBeCreated) {
  fake.files.notCreatable.insert(PATH);
  fake.http.replies[URL] = FakeReply{"200", "x"};
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_NO_LOCAL_FILE);
  // A 404 is told before the file is looked at.
  fake.http.replies[URL] = FakeReply{"404", "x"};
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_NOT_FOUND);
}

TEST_F(Fetch, FailureMidBodyLeavesThePartialFile) {
  FakeReply reply{"200", Body(3 * FETCH_BUFFER_SIZE)};
  reply.throwOnRead = 1;
  fake.http.replies[URL] = reply;
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_FAILED);
  EXPECT_EQ(fake.files.files[PATH], Body(FETCH_BUFFER_SIZE));

  fake.http.replies[URL] = FakeReply{"200", Body(1000)};
  fake.files.failWriteAfterBytes = 10;
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_FAILED);
}

TEST_F(Fetch, AnnouncedLengthMustMatch) {
  FakeReply cut{"200", Body(1000)};
  cut.contentLength = "5000";  // the connection closed early and read as an end
  fake.http.replies[URL] = cut;
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_FAILED);
  EXPECT_EQ(fake.files.files[PATH].size(), 1000u);

  FakeReply longer{"200", Body(1000)};
  longer.contentLength = "999";
  fake.http.replies[URL] = longer;
  EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_FAILED);

  for (const char* unusable : {"", "abc", "-1", "99999999999999999999999"}) {
    FakeReply none{"200", Body(1000)};
    none.contentLength = unusable;
    fake.http.replies[URL] = none;
    EXPECT_EQ(FetchUrlToFile(URL, PATH), FETCH_OK) << unusable;
  }
}

TEST(ContentLength, Parsing) {
  EXPECT_EQ(ParseContentLength("0"), 0u);
  EXPECT_EQ(ParseContentLength("50449456"), 50449456u);
  EXPECT_EQ(ParseContentLength("18446744073709551615"), std::nullopt);  // 20 digits
  EXPECT_EQ(ParseContentLength("1 2"), std::nullopt);
  EXPECT_EQ(ParseContentLength("+1"), std::nullopt);
}
}  // namespace
