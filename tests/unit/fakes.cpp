#include "fakes.h"

#include <algorithm>
#include <cstring>

#include "app/settings.h"

namespace {
class FakeResponse final : public HttpResponse {
 public:
  FakeResponse(FakeReply reply, int& open) : reply_(std::move(reply)), open_(open) { ++open_; }
  ~FakeResponse() override { --open_; }
  std::string StatusText() override { return reply_.status; }
  std::string ContentLengthText() override {
    return reply_.contentLength == "auto" ? std::to_string(reply_.body.size())
                                          : reply_.contentLength;
  }
  std::size_t Read(char* buffer, std::size_t size) override {
    if (reads_++ == reply_.throwOnRead) throw PlatformError("connection reset");
    const std::size_t n = std::min({size, reply_.maxRead, reply_.body.size() - offset_});
    std::memcpy(buffer, reply_.body.data() + offset_, n);
    offset_ += n;
    return n;
  }

 private:
  FakeReply reply_;
  int& open_;
  std::size_t offset_ = 0;
  int reads_ = 0;
};

class FakeSession final : public HttpSession {
 public:
  explicit FakeSession(FakeHttp& http) : http_(http) { ++http_.openSessions; }
  ~FakeSession() override { --http_.openSessions; }
  std::unique_ptr<HttpResponse> OpenUrl(const std::string& url) override {
    http_.requests.push_back(url);
    const auto it = http_.replies.find(url);
    if (it == http_.replies.end() || it->second.openThrows) throw PlatformError("cannot open");
    return std::make_unique<FakeResponse>(it->second, http_.openResponses);
  }

 private:
  FakeHttp& http_;
};

class FakeFile final : public LocalFile {
 public:
  FakeFile(FakeFiles& fs, std::string path) : fs_(fs), path_(std::move(path)) {
    ++fs_.openFiles;
    fs_.files[path_].clear();
  }
  ~FakeFile() override {
    if (open_) --fs_.openFiles;
  }
  void Write(const char* data, std::size_t size) override {
    std::string& content = fs_.files[path_];
    if (fs_.failWriteAfterBytes >= 0 &&
        content.size() + size > static_cast<std::size_t>(fs_.failWriteAfterBytes))
      throw PlatformError("disk full");
    content.append(data, size);
  }
  void Close() override {
    open_ = false;
    --fs_.openFiles;
  }

 private:
  FakeFiles& fs_;
  std::string path_;
  bool open_ = true;
};
}  // namespace

std::unique_ptr<HttpSession> FakeHttp::OpenSession() {
  if (sessionFails) return nullptr;
  return std::make_unique<FakeSession>(*this);
}

std::unique_ptr<LocalFile> FakeFiles::CreateExclusive(const std::string& path) {
  if (notCreatable.count(path) != 0) return nullptr;
  return std::make_unique<FakeFile>(*this, path);
}

std::optional<std::string> FakeFiles::ReadAll(const std::string& path) {
  const auto it = files.find(path);
  if (it == files.end() || unreadable.count(path) != 0) return std::nullopt;
  return it->second;
}

std::optional<std::uint64_t> FakeFiles::FileSize(const std::string& path) {
  if (const auto it = sizes.find(path); it != sizes.end()) return it->second;
  if (const auto it = files.find(path); it != files.end()) return it->second.size();
  return std::nullopt;
}

bool FakeSystem::GetWindowsVersion(std::uint32_t* outMajor, std::uint32_t* outMinor) {
  if (!versionOk) return false;
  *outMajor = major;
  *outMinor = minor;
  return true;
}

bool FakeSystem::OpenKey(const std::string& subkey, RegKey* key) {
  if (registryThrows) throw PlatformError("registry");
  opened.push_back(subkey);
  if (keys.count(subkey) == 0) return false;
  *key = next_++;
  handles_[*key] = subkey;
  maxOpenKeys = std::max(maxOpenKeys, ++openKeys);
  return true;
}

bool FakeSystem::OpenKeyFullAccess(const std::string& subkey, RegKey* key) {
  if (registryThrows) throw PlatformError("registry");
  opened.push_back(subkey);
  const auto it = keys.find(subkey);
  if (it == keys.end() || !it->second.fullAccessAllowed) return false;
  *key = next_++;
  handles_[*key] = subkey;
  maxOpenKeys = std::max(maxOpenKeys, ++openKeys);
  return true;
}

bool FakeSystem::QueryValue(RegKey key, const std::string& name, unsigned char* data,
                            std::uint32_t* size) {
  const FakeKey& k = keys.at(handles_.at(key));
  if (name != "Install" || !k.hasInstall) return false;
  if (k.install.size() > *size) return false;
  std::copy(k.install.begin(), k.install.end(), data);
  *size = static_cast<std::uint32_t>(k.install.size());
  return true;
}

void FakeSystem::CloseKey(RegKey key) {
  handles_.erase(key);
  --openKeys;
}

int FakeSystem::RunAndWait(const std::string& commandLine) {
  launched.push_back(commandLine);
  return exitCodeFor(commandLine);
}

FakePlatform::FakePlatform() {
  Platform p;
  p.http = &http;
  p.files = &files;
  p.system = &system;
  p.poster = &poster;
  p.random = &random;
  SetPlatform(p);
  g_bPrivateMode = 0;
  g_strFileBase = g_strPublicFileBase;
  g_strProbePath.clear();
}

FakePlatform::~FakePlatform() { SetPlatform(Platform{}); }
