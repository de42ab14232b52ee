// A held file's Authenticode signature, read through its handle with the
// calls Windows XP SP3 has: WinVerifyTrust, offline, then the signer's own
// chain. Only reads; the core judges what was read.
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include "app/win32/library_search.h"
#include "app/win32/text.h"
#include "fetch/win32/win32_files.h"

namespace kelvara {

namespace {
// Neither library is a KnownDLL: as static imports they would be looked for
// beside the program, in a download folder, before the search is restricted.
struct TrustCalls {
  decltype(&WinVerifyTrust) verify;
  decltype(&WTHelperProvDataFromStateData) providerData;
  decltype(&WTHelperGetProvSignerFromChain) signer;
  decltype(&CertVerifyCertificateChainPolicy) policy;
  decltype(&CertGetCertificateContextProperty) property;
  decltype(&CertGetNameStringW) name;
};

template <typename Call>
Call Find(HMODULE module, const char* name) {
  return module == nullptr
             ? nullptr
             : reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const TrustCalls* Trust() {
  static const TrustCalls* calls = []() -> const TrustCalls* {
    HMODULE wintrust = LoadSystemLibrary(L"wintrust.dll");
    HMODULE crypt32 = LoadSystemLibrary(L"crypt32.dll");
    const TrustCalls found = {
        Find<decltype(&WinVerifyTrust)>(wintrust, "WinVerifyTrust"),
        Find<decltype(&WTHelperProvDataFromStateData)>(wintrust, "WTHelperProvDataFromStateData"),
        Find<decltype(&WTHelperGetProvSignerFromChain)>(wintrust, "WTHelperGetProvSignerFromChain"),
        Find<decltype(&CertVerifyCertificateChainPolicy)>(crypt32,
                                                          "CertVerifyCertificateChainPolicy"),
        Find<decltype(&CertGetCertificateContextProperty)>(crypt32,
                                                           "CertGetCertificateContextProperty"),
        Find<decltype(&CertGetNameStringW)>(crypt32, "CertGetNameStringW")};
    if (!found.verify || !found.providerData || !found.signer || !found.policy || !found.property ||
        !found.name)
      return nullptr;
    return new TrustCalls(found);  // loaded for the process's life
  }();
  return calls;
}
std::string Thumbprint(const CERT_CONTEXT* cert) {
  BYTE hash[20];
  DWORD size = sizeof hash;
  if (!Trust()->property(cert, CERT_SHA1_HASH_PROP_ID, hash, &size)) return "";
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (DWORD i = 0; i < size; ++i) hex += std::string{digits[hash[i] >> 4], digits[hash[i] & 0xF]};
  return hex;
}

std::string CommonName(const CERT_CONTEXT* cert) {
  wchar_t name[256] = {};
  Trust()->name(cert, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, 256);
  return Narrow(name);
}

// The chain WinVerifyTrust built for the first signer; false when it has none.
bool ReadSignerChain(HANDLE state, SignatureFacts* facts) {
  CRYPT_PROVIDER_DATA* provider = Trust()->providerData(state);
  CRYPT_PROVIDER_SGNR* signer =
      provider != nullptr ? Trust()->signer(provider, 0, FALSE, 0) : nullptr;
  const CERT_CHAIN_CONTEXT* chain = signer != nullptr ? signer->pChainContext : nullptr;
  if (chain == nullptr || chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) return false;
  facts->chainStatus = chain->TrustStatus.dwErrorStatus;
  CERT_CHAIN_POLICY_PARA para{};
  para.cbSize = sizeof para;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  facts->policyResult = Trust()->policy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &para, &status)
                            ? status.dwError
                            : static_cast<DWORD>(TRUST_E_FAIL);
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  facts->signerName = CommonName(simple->rgpElement[0]->pCertContext);
  facts->rootThumbprint = Thumbprint(simple->rgpElement[simple->cElement - 1]->pCertContext);
  return true;
}
}  // namespace

void LoadSignatureLibraries() { Trust(); }

std::optional<SignatureFacts> SignatureOfFile(void* file, const std::wstring& path) {
  WINTRUST_FILE_INFO info{};
  info.cbStruct = sizeof info;
  info.pcwszFilePath = path.c_str();
  info.hFile = file;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // Offline: no revocation check and no retrieval, so no machine hangs on a network.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  if (Trust() == nullptr ||
      SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
    return std::nullopt;
  SignatureFacts facts;
  facts.trustResult = static_cast<std::uint32_t>(
      Trust()->verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data));
  const bool chainRead = ReadSignerChain(data.hWVTStateData, &facts);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  Trust()->verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  // A signature judged good must have shown its chain.
  if (facts.trustResult == 0 && !chainRead) return std::nullopt;
  return facts;
}

}  // namespace kelvara
