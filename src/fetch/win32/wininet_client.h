#pragma once
#include "app/platform.h"

// The system's HTTP client: preconfigured proxy, cache allowed.
class WinInetClient final : public HttpClient {
 public:
  std::unique_ptr<HttpSession> OpenSession() override;
};
