#include "system/run_check.h"

#include <cctype>
#include <cstdio>
#include <utility>

#include "app/log.h"
#include "app/digests.h"
#include "app/served_files.h"
#include "system/probes.h"

namespace kelvara {

namespace {
// WinVerifyTrust's answers that mean "nothing signed here" and "changed since signed".
constexpr std::uint32_t TRUST_E_PROVIDER_UNKNOWN = 0x800B0001;
constexpr std::uint32_t TRUST_E_SUBJECT_FORM_UNKNOWN = 0x800B0003;

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
  return text;
}

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

Signers& Current() {
  static Signers* signers = new Signers{
#include "kelvara_signers.inc"
  };
  return *signers;
}
}  // namespace

SignerRule RuleFrom(const std::string& signer, const std::string& roots) {
  // One entry no thumbprint equals: a list that cannot be read accepts no
  // root, never "any root the machine trusts".
  return {signer, ParseThumbprints(roots).value_or(std::vector<std::string>{""})};
}

std::optional<std::vector<std::string>> ParseThumbprints(const std::string& text) {
  std::vector<std::string> thumbprints;
  std::size_t from = 0;
  while (from <= text.size() && !text.empty()) {
    const std::size_t end = std::min(text.find(';', from), text.size());
    std::string item = text.substr(from, end - from);
    if (item.size() != 40) return std::nullopt;
    for (char& c : item) {
      if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    thumbprints.push_back(item);
    from = end + 1;
  }
  return thumbprints;
}

const Signers& BuiltInSigners() { return Current(); }

void SetSignersForTest(Signers signers) { Current() = std::move(signers); }

const SignerRule* SignerRuleFor(const std::string& path) {
  const std::string name = NameOf(path);
  for (const char* package : {WIC_PACKAGE.localName, MSI_PACKAGE.localName, DOTNET4_PACKAGE_NAME})
    if (name == package) return &Current().microsoft;
  for (const ServedFile& file :
       {IMAGING_PROBE, INSTALLER_PROBE, SETUP_WIZARD, UNRAR_DLL, CLIENT_SETUP})
    if (name == file.localName) return &Current().publisher;
  return nullptr;
}

const SignerRule* CheckedSignerRuleFor(const std::string& path) {
  const SignerRule* rule = SignerRuleFor(path);
  return rule != nullptr && !rule->signer.empty() ? rule : nullptr;
}

std::string SignatureFault(const std::optional<SignatureFacts>& facts, const SignerRule& rule) {
  if (!facts) return "the signature cannot be read";
  const std::uint32_t trust = facts->trustResult;
  if (trust == SIGNATURE_MISSING || trust == TRUST_E_SUBJECT_FORM_UNKNOWN ||
      trust == TRUST_E_PROVIDER_UNKNOWN)
    return "no signature";
  if (trust == SIGNATURE_MISMATCH) return "the file does not match its signature";
  // WinVerifyTrust alone is not enough: Wine passes partial chains and
  // roots nobody trusts, so the signer's own chain is judged too.
  if (trust != 0) return "chain not trusted (error " + Hex32(trust) + ")";
  if (facts->chainStatus != 0)
    return "chain not trusted (chain status " + Hex32(facts->chainStatus) + ")";
  if (facts->policyResult != 0)
    return "chain not trusted (policy error " + Hex32(facts->policyResult) + ")";
  return SignerFault(rule, &facts->rootThumbprint, facts->signerName);
}

std::string SignerFault(const SignerRule& rule, const std::string* root, const std::string& name) {
  bool accepted = rule.roots.empty() || root == nullptr;
  for (const std::string& listed : rule.roots) accepted = accepted || listed == *root;
  if (!accepted) return "root not accepted (" + *root + ")";
  if (name != rule.signer) return "signed by someone else (" + name + ")";
  return "";
}

bool MayRunHeldFile(const std::string& path, HeldFile& file) {
  std::string passed, fault;
  // The guard the size test requires: a file that cannot be examined does not run.
  try {
    if (NameOf(path) == DOTNET4_PACKAGE_NAME) {
      const auto size = file.Size();
      if (!size || *size != DOTNET4_PACKAGE_SIZE)
        fault = "incomplete, " + (size ? std::to_string(*size) : std::string("no")) + " bytes";
      passed += "size " + std::to_string(DOTNET4_PACKAGE_SIZE) + ", ";
    }
    if (const PinnedDigest* pinned = PinnedDigestOf(path); pinned != nullptr && fault.empty()) {
      const auto actual = file.Sha256Hex();
      if (actual != pinned->sha256)
        fault = "SHA-256 " + actual.value_or("unreadable") + ", pinned " + pinned->sha256;
      passed += "SHA-256 as pinned, ";
    }
    const SignerRule* rule = CheckedSignerRuleFor(path);
    if (rule != nullptr && fault.empty()) {
      const std::optional<SignatureFacts> facts = file.Signature();
      fault = SignatureFault(facts, *rule);
      if (facts)
        passed += "signed by " + facts->signerName + ", root " + facts->rootThumbprint + ", ";
    }
  } catch (...) {
    fault = "cannot be examined";
  }
  LogLine("check " + path +
          (fault.empty() ? " -> runs: " + (passed.empty() ? "nothing to check"
                                                          : passed.substr(0, passed.size() - 2))
                         : " -> REFUSED: " + fault));
  return fault.empty();
}

}  // namespace kelvara
