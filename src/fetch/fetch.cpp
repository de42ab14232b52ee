#include "fetch/fetch.h"

#include <memory>
#include <vector>

#include "app/log.h"
#include "app/platform.h"
#include "fetch/transfer_progress.h"

namespace kelvara {

std::optional<std::uint64_t> ParseContentLength(const std::string& text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

namespace {
// Publishes the body's progress for the window, and its end on every way out.
class PublishedTransfer {
 public:
  explicit PublishedTransfer(std::optional<std::uint64_t> length) : progress_(CurrentTransfer()) {
    progress_.done.store(0);
    progress_.total.store(length ? static_cast<std::int64_t>(*length) : -1);
    progress_.serial.fetch_add(1);
    progress_.active.store(true);
  }
  PublishedTransfer(const PublishedTransfer&) = delete;
  PublishedTransfer& operator=(const PublishedTransfer&) = delete;
  ~PublishedTransfer() { progress_.active.store(false); }
  void Add(std::size_t bytes) { progress_.done.fetch_add(bytes, std::memory_order_relaxed); }

 private:
  TransferProgress& progress_;
};

struct FetchRecord {
  std::string url, status, length;
  std::uint64_t written = 0;
  std::uint64_t startMs = LogClockMs();
};

int Finish(const FetchRecord& record, int result) {
  LogFetch(record.url, record.status, record.length, record.written, result,
           LogClockMs() - record.startMs);
  return result;
}
}  // namespace

int FetchUrlToFile(std::string url, std::string localPath) {
  FetchRecord record{url, "", "", 0};
  // Declared in this order so that they end in reverse: file, response, session.
  std::unique_ptr<HttpSession> session;
  std::unique_ptr<HttpResponse> response;
  std::unique_ptr<LocalFile> file;
  // The guard the fetch requires: any failure after the status is a failed fetch.
  try {
    session = GetPlatform().http->OpenSession();
    if (session) response = session->OpenUrl(url);
    if (!response) return Finish(record, FETCH_FAILED);

    record.status = response->StatusText();
    record.length = response->ContentLengthText();
    if (record.status == "404") return Finish(record, FETCH_NOT_FOUND);
    if (record.status != "200" && record.status != "304") return Finish(record, FETCH_FAILED);

    unsigned long error = 0;
    file = GetPlatform().files->CreateExclusive(localPath, &error);
    if (!file) {
      LogFileRefused(localPath, "cannot be written", error);
      return Finish(record, FETCH_NO_LOCAL_FILE);
    }

    const auto announced = ParseContentLength(record.length);
    PublishedTransfer progress(record.status == "200" ? announced : std::nullopt);
    std::vector<char> buffer(FETCH_BUFFER_SIZE);
    // Short reads may come before the end; only a read of 0 bytes ends the body.
    for (;;) {
      std::size_t got = response->Read(buffer.data(), buffer.size());
      if (got == 0) break;
      if (got > buffer.size()) got = buffer.size();
      file->Write(buffer.data(), got);
      record.written += got;
      progress.Add(got);
    }
    file->Close();
    file.reset();

    // A connection closed early can read as a normal end of body; the
    // announced length is the only witness.
    if (record.status == "200" && announced && *announced != record.written)
      return Finish(record, FETCH_FAILED);
    return Finish(record, FETCH_OK);
  } catch (...) {
    // The partial file stays on disk; the destructors release the rest.
    return Finish(record, FETCH_FAILED);
  }
}

}  // namespace kelvara
