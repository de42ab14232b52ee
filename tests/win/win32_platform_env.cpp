// Linked into every adapter test program: the core reaches Windows only
// through the adapters that the product itself installs.
#include <gtest/gtest.h>

#include "app/win32/platform_win32.h"

namespace {
class Win32PlatformEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { InstallWin32Platform(); }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new Win32PlatformEnvironment);
}  // namespace
