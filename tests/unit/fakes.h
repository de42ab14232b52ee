#pragma once
// In-memory stand-ins for the platform seams, installed per test.

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/platform.h"

struct FakeReply {
  std::string status = "200";
  std::string body;
  std::string contentLength = "auto";  // "auto": the body's length; "": none
  std::size_t maxRead = FETCH_CHUNK;   // a read returns at most this much
  int throwOnRead = -1;                // the read with this index raises
  bool openThrows = false;
  static constexpr std::size_t FETCH_CHUNK = 131072;
};

class FakeHttp final : public HttpClient {
 public:
  std::map<std::string, FakeReply> replies;  // unlisted addresses cannot be opened
  std::vector<std::string> requests;
  bool sessionFails = false;
  int openSessions = 0;
  int openResponses = 0;

  std::unique_ptr<HttpSession> OpenSession() override;
};

class FakeFiles final : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> notCreatable;
  std::set<std::string> unreadable;
  int failWriteAfterBytes = -1;  // a write beyond this many bytes raises
  int openFiles = 0;

  std::unique_ptr<LocalFile> CreateExclusive(const std::string& path) override;
  std::optional<std::string> ReadAll(const std::string& path) override;
  std::optional<std::uint64_t> FileSize(const std::string& path) override;
  std::map<std::string, std::uint64_t> sizes;  // sizes of files too big to hold
};

struct FakeKey {
  bool fullAccessAllowed = true;
  bool hasInstall = false;
  std::vector<unsigned char> install;  // raw data of "Install"
};

class FakeSystem final : public SystemApi {
 public:
  bool versionOk = true;
  std::uint32_t major = 6;
  std::uint32_t minor = 1;
  std::map<std::string, FakeKey> keys;
  bool registryThrows = false;
  std::vector<std::string> opened;  // keys opened, in order
  int openKeys = 0;
  int maxOpenKeys = 0;
  std::function<int(const std::string&)> exitCodeFor = [](const std::string&) { return 0; };
  std::vector<std::string> launched;

  bool GetWindowsVersion(std::uint32_t* outMajor, std::uint32_t* outMinor) override;
  bool OpenKey(const std::string& subkey, RegKey* key) override;
  bool OpenKeyFullAccess(const std::string& subkey, RegKey* key) override;
  bool QueryValue(RegKey key, const std::string& name, unsigned char* data,
                  std::uint32_t* size) override;
  void CloseKey(RegKey key) override;
  int RunAndWait(const std::string& commandLine) override;

 private:
  std::map<RegKey, std::string> handles_;
  RegKey next_ = 1;
};

class FakePoster final : public StepPoster {
 public:
  std::deque<std::pair<int, int>> queue;
  std::vector<std::pair<int, int>> posted;
  void PostStep(int stage, int step) override {
    queue.emplace_back(stage, step);
    posted.emplace_back(stage, step);
  }
};

class FakeRandom final : public RandomSource {
 public:
  std::vector<int> values;  // cycled
  int seeds = 0;
  std::size_t next = 0;
  void Seed() override { ++seeds; }
  int Next() override { return values.empty() ? 0 : values[next++ % values.size()]; }
};

// Installs a fresh set of fakes for the lifetime of one test.
struct FakePlatform {
  FakeHttp http;
  FakeFiles files;
  FakeSystem system;
  FakePoster poster;
  FakeRandom random;
  FakePlatform();
  ~FakePlatform();
};

inline const char* const NDP = "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\";
