#pragma once
#include "app/platform.h"

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<LocalFile> CreateExclusive(const std::string& path) override;
  std::optional<std::string> ReadAll(const std::string& path) override;
  std::optional<std::uint64_t> FileSize(const std::string& path) override;
};
