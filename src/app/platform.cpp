#include "app/platform.h"

#include <cstdlib>
#include <ctime>

namespace kelvara {
namespace {
Platform& Current() {
  static Platform platform;
  return platform;
}

class CrtRandom final : public RandomSource {
 public:
  void Seed() override { std::srand(static_cast<unsigned>(std::time(nullptr))); }
  int Next() override { return std::rand(); }
};
}  // namespace

Platform& GetPlatform() { return Current(); }

void SetPlatform(const Platform& platform) { Current() = platform; }

RandomSource& StandardRandom() {
  static CrtRandom* random = new CrtRandom;  // outlives static destruction
  return *random;
}
}  // namespace kelvara
