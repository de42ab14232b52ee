// SHA-256 of a downloaded file through CryptoAPI: PROV_RSA_AES with
// CALG_SHA_256 is the oldest provider that has it (Windows XP SP3).
#include "fetch/win32/win32_files.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

// mingw's header shows it only when NTDDI_VERSION names XP SP3 or later; the
// XP build names plain XP (0x0501), and SP3 has it.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)  // 12: ALG_SID_SHA_256
#endif

namespace kelvara {

namespace {
// Releases whatever was acquired, in reverse order, on every return path.
struct HashHandles {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  HashHandles() = default;
  HashHandles(const HashHandles&) = delete;
  HashHandles& operator=(const HashHandles&) = delete;
  ~HashHandles() {
    if (hash != 0) CryptDestroyHash(hash);
    if (provider != 0) CryptReleaseContext(provider, 0);
  }
};

constexpr DWORD HASH_BUFFER_SIZE = 65536;
constexpr DWORD SHA256_SIZE = 32;
}  // namespace

std::optional<std::string> Sha256OfFile(void* file) {
  HashHandles h;
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return std::nullopt;
  // No provider name: on XP SP3 the AES provider has a different name than
  // later, and the type's default finds it on both.
  if (!CryptAcquireContextW(&h.provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
      !CryptCreateHash(h.provider, CALG_SHA_256, 0, 0, &h.hash))
    return std::nullopt;
  // On the heap: the worker thread's stack is the place for nothing large.
  std::vector<BYTE> buffer(HASH_BUFFER_SIZE);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), HASH_BUFFER_SIZE, &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    if (!CryptHashData(h.hash, buffer.data(), got, 0)) return std::nullopt;
  }
  BYTE digest[SHA256_SIZE];
  DWORD size = SHA256_SIZE;
  if (!CryptGetHashParam(h.hash, HP_HASHVAL, digest, &size, 0) || size != SHA256_SIZE)
    return std::nullopt;
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (BYTE b : digest) {
    hex += digits[b >> 4];
    hex += digits[b & 0xF];
  }
  return hex;
}

}  // namespace kelvara
