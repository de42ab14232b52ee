#pragma once
#include "app/platform.h"

namespace kelvara {

class Win32FileSystem final : public FileSystem {
 public:
  // The run folder is made and owned by the system room above: the start-up hands it in.
  explicit Win32FileSystem(std::string (*runFolder)() = nullptr) : runFolder_(runFolder) {}
  std::unique_ptr<LocalFile> CreateExclusive(const std::string& path,
                                             unsigned long* error) override;
  std::unique_ptr<LocalFile> OpenExclusiveAtEnd(const std::string& path) override;
  std::optional<std::string> ReadAll(const std::string& path) override;
  std::unique_ptr<HeldFile> OpenHeld(const std::string& path, unsigned long* error) override;
  std::string RunFolder() override;
  std::unique_ptr<HeldFile> CopyHeld(HeldFile& from, const std::string& path,
                                     unsigned long* error) override;
  bool MakeFolder(const std::string& path, unsigned long* error) override;
  bool Publish(const std::string& path, HeldFile* from, const std::string& text,
               unsigned long* error) override;
  void Remove(const std::string& path) override;

 private:
  std::string (*runFolder_)();
};

// The SHA-256 of an open file (a HANDLE) from its start, through CryptoAPI.
std::optional<std::string> Sha256OfFile(void* file);
// What WinVerifyTrust and the signer's chain say of an open file (a HANDLE).
std::optional<SignatureFacts> SignatureOfFile(void* file, const std::wstring& path);
// Loads what reading a signature needs, at start-up: a load on the worker thread later would
// hold the loader lock while the window thread waits for it.
void LoadSignatureLibraries();

}  // namespace kelvara
