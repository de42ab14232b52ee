#pragma once
// Fetches many addresses through libcurl, a few at a time, streaming each body
// through a counter, an optional SHA-256 and an optional Authenticode reader,
// so that no body is held whole.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <openssl/types.h>

#include "authenticode.h"

namespace servercheck {

struct FetchRequest {
  std::string url;
  bool hash = false;           // compute the body's SHA-256
  bool signature = false;      // read the body's Authenticode signature
  std::size_t keepBytes = 0;   // keep at most this many bytes of the body
  bool firstByteOnly = false;  // ask for "Range: bytes=0-0"; a whole body is cut off
};

struct FetchResult {
  std::string error;              // "" when the transfer completed
  bool timedOut = false;          // the server went silent for the time-out
  bool bodyCutShort = false;      // closed before the announced length
  long status = 0;                // the final response's status; 0 when none
  std::string contentLengthText;  // as sent; "" when there was none
  std::string contentRange;       // as sent; "" when there was none
  std::uint64_t bodyBytes = 0;
  std::string head;  // the body's first two bytes
  std::string kept;  // the body's first keepBytes bytes
  std::string sha256;
  std::optional<Authenticode> signature;  // when asked for and the transfer completed
};

// The digest a SHA-256 context has taken in, as 64 lower-case hex digits; the context is spent.
std::string Sha256Hex(EVP_MD_CTX* context);

struct FetchProgress {
  std::size_t done = 0, total = 0;
  std::uint64_t bytes = 0;  // body bytes received so far, all transfers
};

// timeoutSeconds bounds the connection and any silence while a response
// arrives, so a stalled server fails the request instead of holding the run.
// progress is called now and then from the calling thread.
std::vector<FetchResult> FetchAll(const std::vector<FetchRequest>& requests, long timeoutSeconds,
                                  int parallel,
                                  const std::function<void(const FetchProgress&)>& progress);

}  // namespace servercheck
