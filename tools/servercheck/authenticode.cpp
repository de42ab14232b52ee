#include "authenticode.h"

#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>

namespace servercheck {
namespace {
constexpr std::uint64_t HEADER_LIMIT = 1 << 20;  // e_lfanew beyond this: no PE we read
constexpr std::uint64_t TABLE_LIMIT = 16 << 20;
constexpr int PKCS_SIGNED_DATA = 2;
constexpr const char* SPC_INDIRECT_DATA = "1.3.6.1.4.1.311.2.1.4";

template <typename T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Freer<T, Free>>;
using MdContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;

std::uint32_t Le(const std::string& bytes, std::uint64_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[static_cast<std::size_t>(at) + i]);
  return value;
}

std::string Hex(const unsigned char* data, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) hex += {digits[data[i] >> 4], digits[data[i] & 15]};
  return hex;
}

std::string NameOf(const X509_NAME* name) {
  const int at = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
  unsigned char* text = nullptr;
  const int size =
      at < 0 ? -1
             : ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at)));
  if (size < 0) {
    char line[256];
    return X509_NAME_oneline(name, line, sizeof line);
  }
  std::string cn(reinterpret_cast<char*>(text), static_cast<std::size_t>(size));
  OPENSSL_free(text);
  return cn;
}

Authenticode Fails(Authenticode::State state, std::string problem) {
  ERR_clear_error();
  Authenticode a;
  a.state = state;
  a.problem = std::move(problem);
  return a;
}
}  // namespace

struct AuthenticodeReader::Pe {
  std::string head;  // the body's start, until the headers are read
  bool parsed = false, pe = false;
  std::uint64_t at = 0;  // body bytes fed to the digests
  std::uint64_t checksumAt = 0, directoryAt = 0, tableAt = 0, tableSize = 0;
  std::string table;
  // The file digest's algorithm is known only from the signature at the end.
  MdContext sha1{EVP_MD_CTX_new()}, sha256{EVP_MD_CTX_new()};

  // Whether the headers are read: false while more bytes are needed.
  bool Parse(bool whole) {
    const std::uint64_t lfanew = head.size() >= 64 ? Le(head, 0x3c, 4) : 0;
    if (lfanew >= HEADER_LIMIT) return true;       // not a PE, also when it all came in one read
    const std::uint64_t need = lfanew + 24 + 152;  // up to PE32+'s certificate-table entry
    if (head.size() < 64 || head.size() < need) return whole;
    if (head.compare(0, 2, "MZ") != 0 || head.compare(lfanew, 4, std::string("PE\0\0", 4)) != 0)
      return true;
    const std::uint64_t optional = lfanew + 24, optionalSize = Le(head, lfanew + 20, 2);
    const std::uint32_t magic = Le(head, optional, 2);
    if (magic != 0x10b && magic != 0x20b) return true;
    const std::uint64_t directories = optional + (magic == 0x10b ? 96 : 112);
    pe = true;
    checksumAt = optional + 64;
    directoryAt = directories + 4 * 8;
    if (Le(head, directories - 4, 4) <= 4 || directoryAt + 8 > optional + optionalSize) return true;
    tableAt = Le(head, directoryAt, 4);
    tableSize = Le(head, directoryAt + 4, 4);
    return true;
  }

  void Hash(const char* data, std::size_t size) {
    const std::uint64_t parts[][2] = {
        {0, checksumAt}, {checksumAt + 4, directoryAt}, {directoryAt + 8, tableAt}};
    for (const auto& [from, to] : parts) {
      const std::uint64_t lo = std::max(from, at), hi = std::min(to, at + size);
      if (lo >= hi) continue;
      EVP_DigestUpdate(sha1.get(), data + (lo - at), hi - lo);
      EVP_DigestUpdate(sha256.get(), data + (lo - at), hi - lo);
    }
    const std::uint64_t lo = std::max(tableAt, at), hi = std::min(tableAt + tableSize, at + size);
    if (lo < hi && tableSize <= TABLE_LIMIT) table.append(data + (lo - at), hi - lo);
    at += size;
  }
};

AuthenticodeReader::AuthenticodeReader() : pe_(std::make_unique<Pe>()) {
  EVP_DigestInit_ex(pe_->sha1.get(), EVP_sha1(), nullptr);
  EVP_DigestInit_ex(pe_->sha256.get(), EVP_sha256(), nullptr);
}

AuthenticodeReader::~AuthenticodeReader() = default;

void AuthenticodeReader::Update(const char* data, std::size_t size) {
  Pe& pe = *pe_;
  if (pe.parsed) {
    if (pe.pe) pe.Hash(data, size);
    return;
  }
  pe.head.append(data, size);
  if (!pe.Parse(false)) return;
  pe.parsed = true;
  if (pe.pe) pe.Hash(pe.head.data(), pe.head.size());
  pe.head.clear();
}

Authenticode AuthenticodeReader::Finish() {
  Pe& pe = *pe_;
  if (!pe.parsed && pe.Parse(true) && pe.pe) pe.Hash(pe.head.data(), pe.head.size());
  using State = Authenticode::State;
  if (!pe.pe || pe.tableSize == 0) return Fails(State::Missing, "");
  if (pe.tableSize > TABLE_LIMIT || pe.tableAt < pe.directoryAt + 8)
    return Fails(State::Unreadable, "its certificate table is out of bounds");
  if (pe.table.size() != pe.tableSize)
    return Fails(State::Unreadable, "the file ends inside its certificate table");

  // The first WIN_CERTIFICATE of type PKCS_SIGNED_DATA; entries are 8-byte aligned.
  const unsigned char* der = nullptr;
  std::uint64_t derSize = 0;
  for (std::uint64_t entry = 0; entry + 8 <= pe.table.size() && der == nullptr;) {
    const std::uint64_t length = Le(pe.table, entry, 4);
    if (length < 8 || entry + length > pe.table.size()) break;
    if (Le(pe.table, entry + 6, 2) == PKCS_SIGNED_DATA) {
      der = reinterpret_cast<const unsigned char*>(pe.table.data()) + entry + 8;
      derSize = length - 8;
    }
    entry += (length + 7) / 8 * 8;
  }
  if (der == nullptr) return Fails(State::Missing, "");
  const Owned<PKCS7, PKCS7_free> p7{d2i_PKCS7(nullptr, &der, static_cast<long>(derSize))};
  const Owned<ASN1_OBJECT, ASN1_OBJECT_free> indirect{OBJ_txt2obj(SPC_INDIRECT_DATA, 1)};
  if (!p7 || !PKCS7_type_is_signed(p7.get()) || p7->d.sign->contents == nullptr ||
      OBJ_cmp(p7->d.sign->contents->type, indirect.get()) != 0 ||
      p7->d.sign->contents->d.other == nullptr ||
      p7->d.sign->contents->d.other->type != V_ASN1_SEQUENCE)
    return Fails(State::Unreadable, "its certificate table holds no Authenticode SignedData");

  // SpcIndirectDataContent: the signed attributes' digest covers its content
  // without the SEQUENCE header; its second element is the file's DigestInfo.
  const ASN1_STRING* content = p7->d.sign->contents->d.other->value.sequence;
  const unsigned char* body = ASN1_STRING_get0_data(content);
  const unsigned char* const end = body + ASN1_STRING_length(content);
  long size = 0, dataSize = 0;
  int tag = 0, cls = 0;
  if (ASN1_get_object(&body, &size, &tag, &cls, end - body) & 0x80 || size > end - body)
    return Fails(State::Unreadable, "its signed content is malformed");
  const unsigned char* digestInfo = body;
  if (ASN1_get_object(&digestInfo, &dataSize, &tag, &cls, size) & 0x80 ||
      dataSize > end - digestInfo)
    return Fails(State::Unreadable, "its signed content is malformed");
  digestInfo += dataSize;
  const Owned<X509_SIG, X509_SIG_free> signedDigest{
      d2i_X509_SIG(nullptr, &digestInfo, end - digestInfo)};
  if (!signedDigest) return Fails(State::Unreadable, "its signed content holds no file digest");
  const X509_ALGOR* algorithm = nullptr;
  const ASN1_OCTET_STRING* digest = nullptr;
  X509_SIG_get0(signedDigest.get(), &algorithm, &digest);
  const ASN1_OBJECT* digestName = nullptr;
  X509_ALGOR_get0(&digestName, nullptr, nullptr, algorithm);
  const int nid = OBJ_obj2nid(digestName);
  if (nid != NID_sha1 && nid != NID_sha256)
    return Fails(State::Unreadable, std::string("its file digest is ") + OBJ_nid2sn(nid) +
                                        ", which this check does not compute");
  unsigned char computed[EVP_MAX_MD_SIZE];
  unsigned int computedSize = 0;
  EVP_DigestFinal_ex((nid == NID_sha1 ? pe.sha1 : pe.sha256).get(), computed, &computedSize);
  if (static_cast<int>(computedSize) != ASN1_STRING_length(digest) ||
      std::memcmp(computed, ASN1_STRING_get0_data(digest), computedSize) != 0)
    return Fails(State::Mismatch,
                 "its " + std::string(OBJ_nid2sn(nid)) + " file digest is not the one signed");

  // Behind a pass-through filter: given a memory BIO itself, OpenSSL 3.0's PKCS7_verify copies
  // it and leaks the copy when the signature names a digest it does not know.
  const Owned<BIO, BIO_free_all> signedContent{
      BIO_push(BIO_new(BIO_f_null()), BIO_new_mem_buf(body, static_cast<int>(size)))};
  if (PKCS7_verify(p7.get(), nullptr, nullptr, signedContent.get(), nullptr, PKCS7_NOVERIFY) != 1)
    return Fails(State::Mismatch, "the signer's signature does not verify");
  STACK_OF(X509)* signers = PKCS7_get0_signers(p7.get(), nullptr, 0);
  X509* const signer = sk_X509_num(signers) > 0 ? sk_X509_value(signers, 0) : nullptr;
  sk_X509_free(signers);
  if (signer == nullptr) return Fails(State::Unreadable, "its signer certificate is missing");

  Authenticode a;
  a.state = State::Signed;
  a.signerName = NameOf(X509_get_subject_name(signer));
  // The chain by issuer names and key identifiers, through the certificates
  // the signature carries.
  const STACK_OF(X509)* carried = p7->d.sign->cert;
  X509* top = signer;
  for (int step = 0; step < sk_X509_num(carried) && X509_self_signed(top, 0) != 1; ++step) {
    X509* issuer = nullptr;
    for (int i = 0; i < sk_X509_num(carried) && issuer == nullptr; ++i) {
      X509* candidate = sk_X509_value(carried, i);
      if (candidate != top && X509_check_issued(candidate, top) == X509_V_OK) issuer = candidate;
    }
    if (issuer == nullptr) break;
    top = issuer;
  }
  if (X509_self_signed(top, 1) == 1) {
    unsigned char sha1[EVP_MAX_MD_SIZE];
    unsigned int sha1Size = 0;
    X509_digest(top, EVP_sha1(), sha1, &sha1Size);
    a.rootThumbprint = Hex(sha1, sha1Size);
  } else {
    a.chainEnd =
        NameOf(X509_get_subject_name(top)) + ", issued by " + NameOf(X509_get_issuer_name(top));
  }
  ERR_clear_error();
  return a;
}

}  // namespace servercheck
