#pragma once
// "May this held file run?": the one rule every downloaded program, and the
// wizard's library, passes before it runs: the .NET package's size, the
// pinned digest, the Authenticode signer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.h"

namespace kelvara {

// Who must have signed a file: the signer certificate's subject CN, and the
// roots (SHA-1 thumbprints) its chain may end in; no roots: any root the
// machine trusts.
struct SignerRule {
  std::string signer;  // "": the file is not signature-checked
  std::vector<std::string> roots;
};
struct Signers {
  SignerRule microsoft, publisher;
};

// "t1;t2": 40 hex digits each, returned in lower case; nullopt when malformed.
std::optional<std::vector<std::string>> ParseThumbprints(const std::string& text);

// The rule for a signer and its roots as the build gives them ("": any root).
SignerRule RuleFrom(const std::string& signer, const std::string& roots);

// The signers baked into this build.
const Signers& BuiltInSigners();
// For unit tests only.
void SetSignersForTest(Signers signers);

// WinVerifyTrust's answers for "nothing signed here" and "changed since
// signed", which the server check gives for what it reads the same way.
inline constexpr std::uint32_t SIGNATURE_MISSING = 0x800B0100;
inline constexpr std::uint32_t SIGNATURE_MISMATCH = 0x80096010;

// The signer a file needs by its name: Microsoft's for the three packages,
// the publisher's for the probes, the wizard, its library and the client;
// nullptr for any other file.
const SignerRule* SignerRuleFor(const std::string& path);

// The rule for a file whose signature this build checks; nullptr otherwise.
const SignerRule* CheckedSignerRuleFor(const std::string& path);

// "" when the signer is the one the rule asks for: the chain's root among
// its roots (root nullptr: not known, not judged) and the CN.
std::string SignerFault(const SignerRule& rule, const std::string* root, const std::string& name);

// "" when the facts show a signature as the rule asks; otherwise why not, in
// words support can act on.
std::string SignatureFault(const std::optional<SignatureFacts>& facts, const SignerRule& rule);

// Size (the .NET package), pin, signature, read through the held file that
// then runs; one log line gives the verdict and its reason.
bool MayRunHeldFile(const std::string& path, HeldFile& file);

}  // namespace kelvara
