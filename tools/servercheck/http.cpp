#include "http.h"

#include <curl/curl.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

namespace servercheck {

std::string Sha256Hex(EVP_MD_CTX* context) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(context, digest, &size);
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) hex += {digits[digest[i] >> 4], digits[digest[i] & 15]};
  return hex;
}

namespace {
using MdContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

struct Transfer {
  const FetchRequest* request = nullptr;
  FetchResult* result = nullptr;
  MdContext hash{nullptr, EVP_MD_CTX_free};
  std::optional<AuthenticodeReader> signature;
  std::uint64_t* totalBytes = nullptr;
  char errorBuffer[CURL_ERROR_SIZE] = {};
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  FetchResult& r = *t.result;
  // A server that ignores the range sends the whole package: its head says enough.
  if (t.request->firstByteOnly && r.bodyBytes + n > 1) return 0;
  if (r.head.size() < 2) r.head.append(data, std::min<std::size_t>(n, 2 - r.head.size()));
  if (r.kept.size() < t.request->keepBytes)
    r.kept.append(data, std::min(n, t.request->keepBytes - r.kept.size()));
  if (t.hash) EVP_DigestUpdate(t.hash.get(), data, n);
  if (t.signature) t.signature->Update(data, n);
  r.bodyBytes += n;
  *t.totalBytes += n;
  return n;
}

// Only the final response's head counts when redirects are followed, as the
// wizard's WinInet follows them.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& r = *static_cast<Transfer*>(user)->result;
  const std::size_t n = size * count;
  std::string line(data, n);
  if (line.rfind("HTTP/", 0) == 0) r.contentLengthText.clear(), r.contentRange.clear();
  for (auto [name, value] :
       {std::pair<std::string, std::string*>{"content-length:", &r.contentLengthText},
        {"content-range:", &r.contentRange}}) {
    if (line.size() <= name.size()) continue;
    std::string lower = line.substr(0, name.size());
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower != name) continue;
    const auto first = line.find_first_not_of(" \t", name.size());
    const auto last = line.find_last_not_of(" \t\r\n");
    *value = first == std::string::npos ? "" : line.substr(first, last - first + 1);
  }
  return n;
}

CURL* NewHandle(Transfer& t, long timeoutSeconds) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return nullptr;
  curl_easy_setopt(curl, CURLOPT_URL, t.request->url.c_str());
  curl_easy_setopt(curl, CURLOPT_PRIVATE, &t);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, t.errorBuffer);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "kelvara-servercheck");
  if (t.request->firstByteOnly) curl_easy_setopt(curl, CURLOPT_RANGE, "0-0");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeoutSeconds);
  // A total limit would fail a slow but healthy 50 MB download; silence is
  // what a stalled server shows.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeoutSeconds);
  return curl;
}

void Finish(CURL* curl, CURLcode code, long timeoutSeconds) {
  Transfer* t = nullptr;
  curl_easy_getinfo(curl, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
  FetchResult& r = *t->result;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r.status);
  if (code == CURLE_OK) {
    if (t->hash) r.sha256 = Sha256Hex(t->hash.get());
    if (t->signature) r.signature = t->signature->Finish();
  } else if (code == CURLE_OPERATION_TIMEDOUT) {
    r.timedOut = true;
    r.error = "no answer within " + std::to_string(timeoutSeconds) + " s";
  } else {
    r.bodyCutShort = code == CURLE_PARTIAL_FILE;
    r.error = t->errorBuffer[0] != '\0' ? t->errorBuffer : curl_easy_strerror(code);
  }
}

}  // namespace

std::vector<FetchResult> FetchAll(const std::vector<FetchRequest>& requests, long timeoutSeconds,
                                  int parallel,
                                  const std::function<void(const FetchProgress&)>& progress) {
  std::vector<FetchResult> results(requests.size());
  std::vector<std::unique_ptr<Transfer>> transfers;
  FetchProgress state;
  state.total = requests.size();
  CURLM* multi = curl_multi_init();
  std::size_t next = 0;
  int running = 0;
  auto lastReport = std::chrono::steady_clock::now();
  while (state.done < requests.size()) {
    while (running < parallel && next < requests.size()) {
      auto t = std::make_unique<Transfer>();
      t->request = &requests[next];
      t->result = &results[next];
      t->totalBytes = &state.bytes;
      if (requests[next].hash) {
        t->hash.reset(EVP_MD_CTX_new());
        EVP_DigestInit_ex(t->hash.get(), EVP_sha256(), nullptr);
      }
      if (requests[next].signature) t->signature.emplace();
      ++next;
      CURL* curl = NewHandle(*t, timeoutSeconds);
      if (curl == nullptr || curl_multi_add_handle(multi, curl) != CURLM_OK) {
        t->result->error = "libcurl could not start the request";
        if (curl != nullptr) curl_easy_cleanup(curl);
        ++state.done;
        continue;
      }
      transfers.push_back(std::move(t));
      ++running;
    }
    int stillRunning = 0;
    curl_multi_perform(multi, &stillRunning);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      Finish(message->easy_handle, message->data.result, timeoutSeconds);
      curl_multi_remove_handle(multi, message->easy_handle);
      curl_easy_cleanup(message->easy_handle);
      --running;
      ++state.done;
    }
    const auto now = std::chrono::steady_clock::now();
    if (progress && now - lastReport > std::chrono::milliseconds(250)) {
      progress(state);
      lastReport = now;
    }
    if (running > 0) curl_multi_poll(multi, nullptr, 0, 250, nullptr);
  }
  curl_multi_cleanup(multi);
  if (progress) progress(state);
  return results;
}

}  // namespace servercheck
