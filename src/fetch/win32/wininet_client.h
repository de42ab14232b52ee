#pragma once
#include "app/platform.h"

namespace kelvara {

// The system's HTTP client: preconfigured proxy, no cache.
class WinInetClient final : public HttpClient {
 public:
  std::unique_ptr<HttpSession> OpenSession(unsigned stallMs) override;
  void Pause(unsigned ms) override;
};

}  // namespace kelvara
