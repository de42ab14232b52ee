#include "fetch/fetch.h"

#include <memory>
#include <vector>

#include "app/platform.h"

std::optional<std::uint64_t> ParseContentLength(const std::string& text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

int FetchUrlToFile(std::string url, std::string localPath) {
  // Declared in this order so that they end in reverse: file, response, session.
  std::unique_ptr<HttpSession> session;
  std::unique_ptr<HttpResponse> response;
  std::unique_ptr<LocalFile> file;
  try {
    session = GetPlatform().http->OpenSession();
    if (!session) return FETCH_FAILED;
    try {
      response = session->OpenUrl(url);
    } catch (...) {
      return FETCH_FAILED;
    }
    if (!response) return FETCH_FAILED;

    const std::string status = response->StatusText();
    if (status == "404") return FETCH_NOT_FOUND;
    if (status != "200" && status != "304") return FETCH_FAILED;

    file = GetPlatform().files->CreateExclusive(localPath);
    if (!file) return FETCH_NO_LOCAL_FILE;

    std::vector<char> buffer(FETCH_BUFFER_SIZE);
    std::uint64_t written = 0;
    // Short reads may come before the end; only a read of 0 bytes ends the body.
    for (;;) {
      std::size_t got = response->Read(buffer.data(), buffer.size());
      if (got == 0) break;
      if (got > buffer.size()) got = buffer.size();
      file->Write(buffer.data(), got);
      written += got;
    }
    file->Close();
    file.reset();

    // A connection closed early can read as a normal end of body; the
    // announced length is the only witness.
    if (status == "200") {
      const auto announced = ParseContentLength(response->ContentLengthText());
      if (announced && *announced != written) return FETCH_FAILED;
    }
    return FETCH_OK;
  } catch (...) {
    // The partial file stays on disk; the destructors release the rest.
    return FETCH_FAILED;
  }
}
