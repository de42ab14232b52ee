#pragma once
// "May this held file run?": the one rule every downloaded program, and the
// wizard's library, passes before it runs: the .NET package's size, the
// pinned digest, the Authenticode signer.

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

// The signers baked into this build.
const Signers& BuiltInSigners();
// For unit tests only.
void SetSignersForTest(Signers signers);

// The signer a file needs by its name: Microsoft's for the three packages,
// the publisher's for the probes, the wizard, its library and the client;
// nullptr for any other file.
const SignerRule* SignerRuleFor(const std::string& path);

// "" when the facts show a signature as the rule asks; otherwise why not, in
// words support can act on.
std::string SignatureFault(const std::optional<SignatureFacts>& facts, const SignerRule& rule);

// Size (the .NET package), pin, signature, read through the held file that
// then runs; one log line gives the verdict and its reason.
bool MayRunHeldFile(const std::string& path, HeldFile& file);

}  // namespace kelvara
