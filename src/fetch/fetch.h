#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kelvara {

inline constexpr int FETCH_OK = 200;
inline constexpr int FETCH_NOT_FOUND = 404;
inline constexpr int FETCH_FAILED = -1;
inline constexpr int FETCH_NO_LOCAL_FILE = 0;

inline constexpr std::size_t FETCH_BUFFER_SIZE = 131072;

// Copies the body of one HTTP address into one local file. Never throws.
int FetchUrlToFile(std::string url, std::string localPath);

// A Content-Length header value: decimal digits only, no overflow.
std::optional<std::uint64_t> ParseContentLength(const std::string& text);

}  // namespace kelvara
