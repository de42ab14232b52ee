#include "fetch/resume.h"

#include "app/platform.h"
#include "fetch/fetch.h"

namespace kelvara {

std::optional<ContentRange> ParseContentRange(const std::string& text) {
  const std::string unit = "bytes ";
  const auto dash = text.find('-'), slash = text.find('/');
  if (text.rfind(unit, 0) != 0 || dash == std::string::npos || slash == std::string::npos ||
      slash < dash)
    return std::nullopt;
  const auto first = ParseContentLength(text.substr(unit.size(), dash - unit.size()));
  const auto last = ParseContentLength(text.substr(dash + 1, slash - dash - 1));
  const auto total = ParseContentLength(text.substr(slash + 1));
  if (!first || !last || !total || *first > *last || *last >= *total) return std::nullopt;
  return ContentRange{*first, *last, *total};
}

std::string RestRequestHeaders(std::uint64_t from, const std::string& validator) {
  std::string headers = "Range: bytes=" + std::to_string(from) + "-\r\n";
  if (!validator.empty()) headers += "If-Range: " + validator + "\r\n";
  return headers;
}

std::string BodyValidator(HttpResponse& response) {
  const std::string etag = response.HeaderText("ETag");
  return etag.empty() ? response.HeaderText("Last-Modified") : etag;
}

std::optional<RestPlacement> PlaceRest(HttpResponse& response, std::uint64_t at,
                                       std::optional<std::uint64_t> expectedTotal) {
  const auto range = ParseContentRange(response.HeaderText("Content-Range"));
  // Appending a part that starts elsewhere would corrupt the file silently; one
  // that ends before the file does brings nothing to go on with.
  if (!range || range->first > at || range->last + 1 < at ||
      (expectedTotal && range->total != *expectedTotal))
    return std::nullopt;
  return RestPlacement{at - range->first, range->total};
}

unsigned ResumePauseMs(int emptyInRow) { return emptyInRow <= 0 ? 500 : 1000u << emptyInRow; }

}  // namespace kelvara
