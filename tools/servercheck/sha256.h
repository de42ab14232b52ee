#pragma once
// A streaming SHA-256 (FIPS 180-4), so that the server check needs no crypto
// library and hashes a body while it arrives.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace servercheck {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t size);
  // 64 lower-case hex digits; the object is spent afterwards.
  std::string FinishHex();

 private:
  void Block(const unsigned char* block);
  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
};

}  // namespace servercheck
