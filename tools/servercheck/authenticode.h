#pragma once
// Reads a program's Authenticode signature while its body arrives: the PE
// certificate table's PKCS#7 SignedData, through libcrypto.

#include <cstdint>
#include <memory>
#include <string>

namespace servercheck {

struct Authenticode {
  enum class State { Missing, Unreadable, Mismatch, Signed };
  State state = State::Missing;
  std::string problem;     // why, for Unreadable and Mismatch
  std::string signerName;  // the signer certificate's subject CN
  // SHA-1 of the chain's top certificate, 40 lower-case hex, when the
  // signature carries it self-signed; otherwise "" and chainEnd names the
  // top certificate and its issuer.
  std::string rootThumbprint;
  std::string chainEnd;
};

class AuthenticodeReader {
 public:
  AuthenticodeReader();
  ~AuthenticodeReader();
  void Update(const char* data, std::size_t size);
  // The object is spent afterwards.
  Authenticode Finish();

 private:
  struct Pe;
  void Feed(const char* data, std::size_t size);
  std::unique_ptr<Pe> pe_;
};

}  // namespace servercheck
