#pragma once
#include "app/platform.h"

namespace kelvara {

// The system's HTTP client: preconfigured proxy, cache allowed.
class WinInetClient final : public HttpClient {
 public:
  std::unique_ptr<HttpSession> OpenSession() override;
};

}  // namespace kelvara
