#pragma once
// The rules for asking an address again for the rest of a body that broke off.

#include <cstdint>
#include <optional>
#include <string>

namespace kelvara {

class HttpResponse;

// A body that brings no byte for this long counts as broken off.
inline constexpr unsigned FETCH_STALL_MS = 30000;
// Requests for the rest in a row that bring no byte before the try ends.
inline constexpr int RESUME_EMPTY_LIMIT = 3;

// "bytes FIRST-LAST/TOTAL"; a total of "*" or a malformed text gives nothing.
struct ContentRange {
  std::uint64_t first = 0, last = 0, total = 0;
};
std::optional<ContentRange> ParseContentRange(const std::string& text);

// The header lines asking for the bytes from `from` on: If-Range names the
// version the file holds, so a changed file comes whole (200) instead.
std::string RestRequestHeaders(std::uint64_t from, const std::string& validator);

// What names the version of an answer's body: its ETag, else its Last-Modified.
std::string BodyValidator(HttpResponse& response);

// A 206 that goes on with a file holding `at` bytes: where its body starts
// (it may repeat bytes the file holds) and the whole length. Nothing when it
// starts past `at` or ends before it, or its total is not the one expected (when one is).
struct RestPlacement {
  std::uint64_t skip = 0, total = 0;
};
std::optional<RestPlacement> PlaceRest(HttpResponse& response, std::uint64_t at,
                                       std::optional<std::uint64_t> expectedTotal);

// The wait before the next request for the rest: short after an attempt
// that brought bytes, then 2, 4 and 8 s after attempts in a row that did not.
unsigned ResumePauseMs(int emptyInRow);

}  // namespace kelvara
