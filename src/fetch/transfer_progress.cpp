#include "fetch/transfer_progress.h"

#include <cstdio>

namespace kelvara {

TransferProgress& CurrentTransfer() {
  static TransferProgress* progress = new TransferProgress;  // read by both threads until exit
  return *progress;
}

std::string ProgressFigures(std::uint64_t done, std::int64_t total, double bytesPerSecond) {
  constexpr double MB = 1024.0 * 1024.0;
  char text[80];
  int n = std::snprintf(text, sizeof text, "%.1f", static_cast<double>(done) / MB);
  if (total >= 0)
    n += std::snprintf(text + n, sizeof text - n, " / %.1f", static_cast<double>(total) / MB);
  n += std::snprintf(text + n, sizeof text - n, " MB");
  if (bytesPerSecond >= 0)
    std::snprintf(text + n, sizeof text - n, "  %.1f MB/s", bytesPerSecond / MB);
  return text;
}

int ProgressPermille(std::uint64_t done, std::int64_t total) {
  if (total <= 0) return done > 0 ? 1000 : 0;
  if (done >= static_cast<std::uint64_t>(total)) return 1000;
  return static_cast<int>(done * 1000 / static_cast<std::uint64_t>(total));
}

}  // namespace kelvara
