#pragma once
#include "app/platform.h"

namespace kelvara {

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<LocalFile> CreateExclusive(const std::string& path) override;
  std::unique_ptr<LocalFile> OpenExclusiveAtEnd(const std::string& path) override;
  std::optional<std::string> ReadAll(const std::string& path) override;
  std::optional<std::uint64_t> FileSize(const std::string& path) override;
  std::optional<std::string> Sha256Hex(const std::string& path) override;
};

}  // namespace kelvara
