#include "fetch/fetch.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "app/digests.h"
#include "app/log.h"
#include "app/platform.h"
#include "fetch/fetch_lanes.h"
#include "fetch/resume.h"
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
// Internal: the server has no part from where the file ends.
constexpr int RANGE_REFUSED = 416;

// Publishes the body's progress for the window, and its end on every way out.
// A transfer fetched ahead publishes where the window does not look, until a
// step waits for it: then it moves to the window's record as it stands.
class PublishedTransfer {
 public:
  PublishedTransfer(std::optional<std::uint64_t> total, std::uint64_t done)
      : progress_(&Lanes().Progress()) {
    Restart(total, done);
  }
  PublishedTransfer(const PublishedTransfer&) = delete;
  PublishedTransfer& operator=(const PublishedTransfer&) = delete;
  ~PublishedTransfer() { progress_->active.store(false); }
  void Add(std::size_t bytes) {
    done_ += bytes;
    if (&Lanes().Progress() != progress_) return Restart(total_, done_);
    progress_->done.fetch_add(bytes, std::memory_order_relaxed);
  }
  void Restart(std::optional<std::uint64_t> total, std::uint64_t done) {
    progress_->active.store(false);
    progress_ = &Lanes().Progress();
    total_ = total, done_ = done;
    progress_->done.store(done);
    progress_->total.store(total ? static_cast<std::int64_t>(*total) : -1);
    progress_->serial.fetch_add(1);
    progress_->active.store(true);
  }

 private:
  TransferProgress* progress_;
  std::optional<std::uint64_t> total_;
  std::uint64_t done_ = 0;
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

// The file being written by one try at one address.
struct Body {
  std::unique_ptr<LocalFile> file;
  std::uint64_t at = 0, most = 0;      // what the file holds; the most it held in this try
  std::optional<std::uint64_t> total;  // the whole body's length, when known
  std::string validator;               // names the version the file holds
};

class Transfer {
 public:
  Transfer(FetchRecord& record, HttpSession& session, std::string path)
      : record_(record), session_(session), path_(std::move(path)), buffer_(FETCH_BUFFER_SIZE) {}

  // The body from `from` on (a file that already holds that many bytes is
  // completed), asking again for the rest while attempts bring bytes.
  int Run(std::uint64_t from) {
    restarted_ = from == 0;
    auto response = session_.OpenUrl(record_.url, from ? RestRequestHeaders(from, "") : "");
    if (!response) return FETCH_FAILED;
    record_.status = response->StatusText();
    record_.length = response->HeaderText("Content-Length");
    if (record_.status == "404") return FETCH_NOT_FOUND;
    std::uint64_t skip = 0;
    if (from > 0 && record_.status == "206") {
      const auto place = PlaceRest(*response, from, std::nullopt);
      if (!place) return FETCH_FAILED;
      body_.file = GetPlatform().files->OpenExclusiveAtEnd(path_);
      body_.at = body_.most = from;
      body_.total = place->total;
      skip = place->skip;
    } else if (from > 0 && record_.status == "416") {
      return RANGE_REFUSED;
    } else if (record_.status != "200" && record_.status != "304") {
      return FETCH_FAILED;
    } else {
      body_.file = Create();
      restarted_ = true;
      if (record_.status == "200") body_.total = ParseContentLength(record_.length);
    }
    if (!body_.file) return FETCH_NO_LOCAL_FILE;
    body_.validator = BodyValidator(*response);
    PublishedTransfer progress(body_.total, body_.at);
    std::string broke = Copy(*response, skip, progress);
    // The attempt that began the body counts when it brought none.
    int emptyInRow = body_.most > from ? 0 : 1, emptyResumes = 0;
    for (;;) {
      const bool ended = broke.empty();
      if (ended && (!body_.total || body_.at == *body_.total)) break;
      // Without a length there is no rest to ask for; a longer body is no rest.
      if (!body_.total || body_.at > *body_.total) return FETCH_FAILED;
      LogBreak(record_.url, body_.at, body_.total, ended ? "the body ended short" : broke);
      if (emptyResumes == RESUME_EMPTY_LIMIT) return FETCH_FAILED;
      GetPlatform().http->Pause(ResumePauseMs(emptyInRow));
      const std::uint64_t most = body_.most;
      if (!AskForRest(broke, progress)) return FETCH_FAILED;
      emptyInRow = body_.most > most ? 0 : emptyInRow + 1;
      emptyResumes = body_.most > most ? 0 : emptyResumes + 1;
    }
    body_.file->Close();
    body_.file.reset();
    return FETCH_OK;
  }

  // The file was written from its first byte by this fetch.
  bool Restarted() const { return restarted_; }

 private:
  // A new file, or an old one replaced; the log says why one cannot be.
  std::unique_ptr<LocalFile> Create() {
    unsigned long error = 0;
    auto file = GetPlatform().files->CreateExclusive(path_, &error);
    if (!file) LogFileRefused(path_, "cannot be written", error);
    return file;
  }

  // One request for the rest and its body; false when its answer ends the try.
  bool AskForRest(std::string& broke, PublishedTransfer& progress) {
    const std::uint64_t from = body_.at;
    Lanes().WaitTurn();
    auto response = session_.OpenUrl(record_.url, RestRequestHeaders(from, body_.validator));
    if (!response) {
      LogResume(record_.url, from, "", "", "no answer");
      broke = "no answer";
      return true;
    }
    const std::string status = response->StatusText();
    const std::string range = response->HeaderText("Content-Range");
    std::uint64_t skip = 0;
    if (status == "206") {
      const auto place = PlaceRest(*response, from, body_.total);
      LogResume(record_.url, from, status, range, place ? "continue" : "refused");
      if (!place) return false;
      skip = place->skip;
    } else if (status == "200") {
      // The server ignores ranges, or the file changed: the body comes whole.
      LogResume(record_.url, from, status, range, "restart from 0");
      body_.file->Close();
      body_.file = Create();
      if (!body_.file) throw PlatformError("the file cannot be created again");
      body_.at = 0;
      restarted_ = true;
      body_.total = ParseContentLength(response->HeaderText("Content-Length"));
      body_.validator = BodyValidator(*response);
      progress.Restart(body_.total, 0);
    } else {
      LogResume(record_.url, from, status, range, "refused");
      return false;
    }
    broke = Copy(*response, skip, progress);
    return true;
  }

  // The body into the file, its first `skip` bytes left out; "" at its end,
  // else why it broke off. A failed write is no break: it ends the fetch.
  std::string Copy(HttpResponse& response, std::uint64_t skip, PublishedTransfer& progress) {
    for (;;) {
      std::size_t got = 0;
      Lanes().WaitTurn();
      try {
        got = std::min(response.Read(buffer_.data(), buffer_.size()), buffer_.size());
      } catch (const PlatformError& error) {
        return error.what();
      }
      // Short reads may come before the end; only a read of 0 bytes ends the body.
      if (got == 0) return std::string();
      const std::size_t repeated = static_cast<std::size_t>(std::min<std::uint64_t>(skip, got));
      skip -= repeated;
      body_.file->Write(buffer_.data() + repeated, got - repeated);
      body_.at += got - repeated;
      body_.most = std::max(body_.most, body_.at);
      record_.written += got - repeated;
      progress.Add(got - repeated);
    }
  }

  FetchRecord& record_;
  HttpSession& session_;
  std::string path_;
  std::vector<char> buffer_;
  Body body_;
  bool restarted_ = false;
};

// True when the file lies there whole, as pinned; *size: what it holds. Held
// only for the check: the fetch may then write it.
bool IsPinnedFileThere(const std::string& path, std::uint64_t* size) {
  unsigned long error = 0;
  const auto file = GetPlatform().files->OpenHeld(path, &error);
  *size = file ? file->Size().value_or(0) : 0;
  return *size > 0 && IsFileAsPinned(path, *file);
}

// *restarted: the file was written from its first byte.
int FetchOnce(const std::string& url, const std::string& localPath, std::uint64_t from,
              bool* restarted) {
  FetchRecord record{url, "", "", 0};
  // The guard the fetch requires: any failure after the status is a failed
  // fetch, and so is a background fetch stopped.
  try {
    Lanes().WaitTurn();
    auto session = GetPlatform().http->OpenSession(FETCH_STALL_MS);
    if (!session) return Finish(record, FETCH_FAILED);
    Transfer transfer(record, *session, localPath);
    const int result = transfer.Run(from);
    *restarted = transfer.Restarted();
    return Finish(record, result);
  } catch (...) {
    // The partial file stays on disk; the destructors release the rest.
    return Finish(record, FETCH_FAILED);
  }
}
}  // namespace

int FetchUrlToFile(std::string url, std::string localPath) {
  const FetchLanes::ForegroundScope lane;
  // Only a pin proves that a file lying there is the one served: then it is
  // used as it is, or completed from its end and checked again.
  std::uint64_t held = 0;
  try {
    if (HasPinnedDigest(localPath) && IsPinnedFileThere(localPath, &held)) {
      LogReuse(localPath);
      return FETCH_OK;
    }
  } catch (...) {
    held = 0;
  }
  bool restarted = false;
  if (held == 0) return FetchOnce(url, localPath, 0, &restarted);
  const int completed = FetchOnce(url, localPath, held, &restarted);
  if (completed != FETCH_OK && completed != RANGE_REFUSED) return completed;
  // A file written whole by this fetch is checked where it is used, not fetched twice.
  std::uint64_t size = 0;
  if (completed == FETCH_OK && (restarted || IsPinnedFileThere(localPath, &size))) return FETCH_OK;
  LogResume(url, held, "", "", "restart from 0");
  return FetchOnce(url, localPath, 0, &restarted);
}

}  // namespace kelvara
