#pragma once
// The progress of the download under way, published by the worker without
// ever waiting for the window; the window thread reads it on its own timer.

#include <atomic>
#include <cstdint>
#include <string>

namespace kelvara {

struct TransferProgress {
  std::atomic<unsigned> serial{0};      // counts transfers, so a new one is seen
  std::atomic<bool> active{false};      // a body is being written
  std::atomic<std::int64_t> total{-1};  // Content-Length, -1 when none was sent
  std::atomic<std::uint64_t> done{0};   // bytes written so far
};

TransferProgress& CurrentTransfer();

// "12.3 / 48.1 MB  1.2 MB/s"; without a length "12.3 MB  1.2 MB/s"; a
// negative rate (too early to tell) is left out.
std::string ProgressFigures(std::uint64_t done, std::int64_t total, double bytesPerSecond);

// The bar's position on a 0..1000 scale.
int ProgressPermille(std::uint64_t done, std::int64_t total);

}  // namespace kelvara
