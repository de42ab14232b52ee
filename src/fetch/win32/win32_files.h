#pragma once
#include "app/platform.h"

namespace kelvara {

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<LocalFile> CreateExclusive(const std::string& path,
                                             unsigned long* error) override;
  std::unique_ptr<LocalFile> OpenExclusiveAtEnd(const std::string& path) override;
  std::optional<std::string> ReadAll(const std::string& path) override;
  std::unique_ptr<HeldFile> OpenHeld(const std::string& path, unsigned long* error) override;
};

// The SHA-256 of an open file (a HANDLE) from its start, through CryptoAPI.
std::optional<std::string> Sha256OfFile(void* file);
// What WinVerifyTrust and the signer's chain say of an open file (a HANDLE).
std::optional<SignatureFacts> SignatureOfFile(void* file, const std::string& path);

}  // namespace kelvara
