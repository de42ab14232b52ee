#include "checks.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/layout.h"
#include "app/settings.h"
#include "fetch/downloaders.h"
#include "fetch/fetch.h"
#include "fetch/mirror_list.h"
#include "fetch/resume.h"
#include "flow/texts.h"
#include "system/probes.h"
#include "system/run_check.h"

namespace servercheck {
namespace {
namespace k = kelvara;

// The box the wizard shows when a served file cannot be fetched, and when it
// was fetched but is refused or cannot be started (not a program, digest).
struct UserView {
  const k::ServedFile* file;
  const char* fetchFailed;
  const char* refused;
};
const UserView USER_VIEWS[] = {
    {&k::ALIVE, k::TEXT_NETWORK_FAILED, k::TEXT_NETWORK_FAILED},
    {&k::IMAGING_PROBE, k::WIC_TEXTS.probeFetchFailed, k::WIC_TEXTS.verifyFailed},
    {&k::WIC_PACKAGE, k::WIC_TEXTS.packageFetchFailed, k::WIC_TEXTS.runFailed},
    {&k::INSTALLER_PROBE, k::MSI_TEXTS.probeFetchFailed, k::MSI_TEXTS.verifyFailed},
    {&k::MSI_PACKAGE, k::MSI_TEXTS.packageFetchFailed, k::MSI_TEXTS.runFailed},
    {&k::SETUP_WIZARD, k::TEXT_WIZARD_FETCH_FAILED, k::TEXT_WIZARD_RUN_FAILED},
    {&k::UNRAR_DLL, k::TEXT_WIZARD_FETCH_FAILED, k::TEXT_WIZARD_RUN_FAILED},
    {&k::CLIENT_SETUP, k::TEXT_CLIENT_FAILED, k::TEXT_CLIENT_FAILED},
};

std::string Box(const char* text) { return std::string("the box \"") + text + "\""; }

const UserView& ViewOf(const k::ServedFile& file) {
  static const UserView unknown = {nullptr, "", ""};
  for (const UserView& view : USER_VIEWS)
    if (std::strcmp(view.file->remoteName, file.remoteName) == 0) return view;
  return unknown;
}

// What one answer must be. size 0: any size.
struct Expectation {
  bool program = false;
  std::uint64_t size = 0;
  std::string pinned;     // SHA-256; "" when not pinned
  std::string localName;  // its signature is read when the core names a signer for it
};

bool SignatureRead(const std::string& localName) { return k::SignerRuleFor(localName) != nullptr; }

// What the signature shows; fault: the wizard's reason to refuse it, by the
// core's rule for this build's signers, "" when it would run the file.
std::string DescribeSignature(const Authenticode& a, const std::string& localName,
                              std::string& fault) {
  using State = Authenticode::State;
  std::optional<k::SignatureFacts> facts = k::SignatureFacts{};
  std::string shown = a.problem;
  if (a.state == State::Unreadable) facts.reset(), shown = "signature unreadable: " + a.problem;
  if (a.state == State::Missing) facts->trustResult = k::SIGNATURE_MISSING, shown = "unsigned";
  if (a.state == State::Mismatch) facts->trustResult = k::SIGNATURE_MISMATCH;
  if (a.state == State::Signed) {
    facts->rootThumbprint = a.rootThumbprint;
    facts->signerName = a.signerName;
    shown = "signed by " + a.signerName +
            (a.rootThumbprint.empty()
                 ? ", chain ends at " + a.chainEnd + " (the root's thumbprint is not in the file)"
                 : ", root " + a.rootThumbprint);
  }
  const k::SignerRule* rule = k::CheckedSignerRuleFor(localName);
  if (rule == nullptr) return shown + " (not checked by this build)";
  fault = a.state == State::Signed && a.rootThumbprint.empty()
              ? k::SignerFault(*rule, nullptr, a.signerName)
              : k::SignatureFault(facts, *rule);
  return fault.empty() ? shown : shown + "; the wizard refuses it: " + fault;
}

enum class Verdict { Ok, FetchFailed, Refused, Unguarded };

Verdict Judge(const FetchResult& r, const Expectation& e, std::string& found) {
  const auto announced = k::ParseContentLength(r.contentLengthText);
  if (r.bodyCutShort) {
    found = "Content-Length " + r.contentLengthText + ", but the connection closed after " +
            std::to_string(r.bodyBytes) + " bytes";
    return Verdict::FetchFailed;
  }
  if (!r.error.empty()) {
    found = r.timedOut ? r.error : "no answer: " + r.error;
    return Verdict::FetchFailed;
  }
  if (r.status != 200) {
    found = "HTTP " + std::to_string(r.status);
    return Verdict::FetchFailed;
  }
  if (!announced) {
    // The wizard accepts it, but could not tell a broken-off download.
    found = r.contentLengthText.empty() ? "no Content-Length"
                                        : "Content-Length \"" + r.contentLengthText + "\"";
    found += ", " + std::to_string(r.bodyBytes) + " bytes";
    return Verdict::Unguarded;
  }
  found = "200, " + std::to_string(r.bodyBytes) + " bytes";
  if (*announced != r.bodyBytes) {
    found = "Content-Length " + r.contentLengthText + ", body " + std::to_string(r.bodyBytes);
    return Verdict::FetchFailed;
  }
  if (e.program && r.head != "MZ") {
    found += ", does not start with \"MZ\": not a Windows program";
    return Verdict::Refused;
  }
  if (e.size != 0 && r.bodyBytes != e.size) {
    found += ", not " + std::to_string(e.size);
    return Verdict::Refused;
  }
  if (!e.pinned.empty()) {
    if (r.sha256 != e.pinned) {
      found += ", SHA-256 " + r.sha256 + " is not the pinned " + e.pinned;
      return Verdict::Refused;
    }
    found += ", SHA-256 as pinned";
  } else if (e.program) {
    found += ", MZ";
  }
  if (r.signature) {
    std::string fault;
    found += ", " + DescribeSignature(*r.signature, e.localName, fault);
    if (!fault.empty()) return Verdict::Refused;
  }
  return Verdict::Ok;
}

Row MakeRow(const std::string& subject, const std::string& url, const FetchResult& r,
            const Expectation& e, const std::string& ifFetchFailed, const std::string& ifRefused) {
  Row row;
  row.subject = subject;
  row.url = url;
  const Verdict verdict = Judge(r, e, row.found);
  row.ok = verdict == Verdict::Ok;
  if (verdict == Verdict::FetchFailed) row.userSees = ifFetchFailed;
  if (verdict == Verdict::Refused) row.userSees = ifRefused;
  if (verdict == Verdict::Unguarded)
    row.userSees = "no box now, but a download broken off early would pass as whole";
  return row;
}

// Whether the address serves ranges, which the wizard's resume needs; a row
// only when an answer came (the package's own row tells why none did).
void AddRangeRow(Report& report, const std::string& subject, const std::string& url,
                 const FetchResult& r) {
  if (r.status == 0) return;
  const auto range = k::ParseContentRange(r.contentRange);
  const bool ok = r.status == 206 && range && range->first == 0 && range->last == 0;
  const std::string answer = r.contentRange.empty() ? "no Content-Range" : r.contentRange;
  report.rows.push_back({ok, subject + " ranges", url,
                         "Range: bytes=0-0 answered " + std::to_string(r.status) + ", " + answer,
                         ok ? ""
                            : "no box, but a user whose download breaks off there fetches "
                              "the whole package again from zero"});
}

// The number of entries the reader would take without its 20-entry limit: it
// ends one at every third "|" and keeps the text after the last only when
// that text ends no "|" group.
int UncappedEntryCount(const std::string& raw) {
  int bars = 0;
  for (char c : raw) {
    if (c == '\x1A') break;
    if (c == '|') ++bars;
  }
  return bars / 3 + (bars % 3 == 0 ? 1 : 0);
}

struct Tree {
  const char* name;
  std::string base;
};

constexpr std::size_t MIRROR_LIST_KEEP = 1 << 20;
}  // namespace

Report RunChecks(const CheckSettings& s) {
  const std::vector<Tree> trees = {{"public", k::FileBaseAddress(s.hosts.publicHost)},
                                   {"intranet", k::FileBaseAddress(s.hosts.intranetHost)}};
  const auto pinnedOf = [&](const std::string& name) {
    const auto it = s.pinned.find(name);
    return it == s.pinned.end() ? std::string() : it->second;
  };
  const std::string packageName = k::DOTNET4_PACKAGE_NAME;
  const bool hashPackage = s.hashServed || !pinnedOf(packageName).empty();

  // First the two mirror lists: they name more addresses to fetch.
  std::vector<FetchRequest> lists;
  lists.reserve(std::size(trees));
  for (const Tree& tree : trees)
    lists.push_back({tree.base + k::MIRROR_LIST.remoteName, false, false, MIRROR_LIST_KEEP});
  const std::vector<FetchResult> listResults = FetchAll(lists, s.timeoutSeconds, 1, nullptr);

  // Then everything else in one parallel batch: served files per tree, the
  // default package address, every distinct mirror.
  std::vector<FetchRequest> requests;
  for (const Tree& tree : trees)
    for (const k::ServedFile& file : k::SERVED_FILES)
      if (std::strcmp(file.remoteName, k::MIRROR_LIST.remoteName) != 0)
        requests.push_back({tree.base + file.remoteName,
                            s.hashServed || !pinnedOf(file.localName).empty(),
                            SignatureRead(file.localName), 0});
  const std::string defaultAddress = k::DotNet4PackageAddress(s.hosts.downloadHost);
  requests.push_back({defaultAddress, hashPackage, true, 0});
  std::vector<k::MirrorTable> tables;
  std::vector<std::string> mirrors;
  for (std::size_t t = 0; t < trees.size(); ++t) {
    tables.push_back(k::ReadMirrorList(listResults[t].kept));
    const k::MirrorTable& table = tables.back();
    if (!listResults[t].error.empty() || listResults[t].status != 200) continue;
    for (int i = 0; i < table.n; ++i) {
      const std::string& address = table.entries[static_cast<std::size_t>(i)];
      if (address.empty() || std::find(mirrors.begin(), mirrors.end(), address) != mirrors.end())
        continue;
      mirrors.push_back(address);
      requests.push_back({address, !pinnedOf(packageName).empty(), true, 0});
    }
  }
  // Each package address once more, for its first byte only.
  const std::size_t ranged = requests.size();
  requests.push_back({defaultAddress, false, false, 0, true});
  for (const std::string& mirror : mirrors) requests.push_back({mirror, false, false, 0, true});
  const std::vector<FetchResult> results =
      FetchAll(requests, s.timeoutSeconds, s.parallel, s.progress);

  Report report;
  std::size_t next = 0;
  const Expectation package = {false, k::DOTNET4_PACKAGE_SIZE, pinnedOf(packageName), packageName};
  const std::string mirrorFetchFailed =
      "a failed try, then another mirror; when none answers, " + Box(k::TEXT_DOTNET4_FETCH_FAILED);
  const std::string packageRefused =
      "when this copy is drawn, " + Box(k::TEXT_DOTNET4_RUN_FAILED) + " (no other is tried)";
  for (std::size_t t = 0; t < trees.size(); ++t) {
    const std::string tree = trees[t].name;
    for (const k::ServedFile& file : k::SERVED_FILES) {
      if (std::strcmp(file.remoteName, k::MIRROR_LIST.remoteName) == 0) {
        const FetchResult& r = listResults[t];
        Row row = MakeRow(tree + " " + file.remoteName, lists[t].url, r, {}, "", "");
        if (row.ok) row.found += ", " + std::to_string(tables[t].n) + " entries";
        if (!row.ok) row.userSees = "no box: the wizard takes the default .NET address instead";
        report.rows.push_back(row);
        if (!row.ok) continue;
        std::string empty;
        for (int i = 0; i < tables[t].n; ++i)
          if (tables[t].entries[static_cast<std::size_t>(i)].empty())
            empty += (empty.empty() ? "" : ", ") + std::to_string(i + 1);
        if (!empty.empty())
          report.rows.push_back({false, row.subject, "", "empty entries: " + empty,
                                 "a try that always fails; with no good mirror left, " +
                                     Box(k::TEXT_DOTNET4_FETCH_FAILED)});
        const int all = UncappedEntryCount(r.kept);
        if (all > k::MIRROR_SLOTS)
          report.rows.push_back(
              {false, row.subject, "",
               std::to_string(all) + " entries, more than " + std::to_string(k::MIRROR_SLOTS),
               "no box: entries past the " + std::to_string(k::MIRROR_SLOTS) +
                   "th are never tried"});
        continue;
      }
      const UserView& view = ViewOf(file);
      const Expectation e = {file.program, 0, pinnedOf(file.localName), file.localName};
      report.rows.push_back(MakeRow(tree + " " + file.remoteName, requests[next].url, results[next],
                                    e, Box(view.fetchFailed), Box(view.refused)));
      ++next;
    }
  }
  const FetchResult& defaultResult = results[next++];
  for (std::size_t m = 0; m < mirrors.size(); ++m) {
    report.rows.push_back(MakeRow("mirror " + mirrors[m], mirrors[m], results[next++], package,
                                  mirrorFetchFailed, packageRefused));
    AddRangeRow(report, "mirror " + mirrors[m], mirrors[m], results[ranged + 1 + m]);
  }
  report.rows.push_back(MakeRow(
      "default .NET address", defaultAddress, defaultResult, package,
      "when the mirror list is missing or names no address, " + Box(k::TEXT_DOTNET4_FETCH_FAILED),
      Box(k::TEXT_DOTNET4_RUN_FAILED)));
  AddRangeRow(report, "default .NET address", defaultAddress, results[ranged]);

  if (s.hashServed) {
    std::vector<k::PinnedDigest> served;
    bool whole = true;
    for (std::size_t i = 0; i < std::size(k::SERVED_FILES); ++i) {
      const k::ServedFile& file = k::SERVED_FILES[i];
      if (!k::IsPinnableName(file.localName)) continue;
      // The public tree's requests come first, in table order without the list.
      const auto at = std::find_if(requests.begin(), requests.end(), [&](const FetchRequest& q) {
        return q.url == trees[0].base + file.remoteName;
      });
      const FetchResult& r = results[static_cast<std::size_t>(at - requests.begin())];
      whole = whole && !r.sha256.empty() && r.status == 200;
      served.push_back({file.localName, r.sha256});
    }
    whole = whole && !defaultResult.sha256.empty() && defaultResult.status == 200;
    served.push_back({packageName, defaultResult.sha256});
    if (whole) report.served = served;
  }
  return report;
}

namespace {
// A layout's file read as a fetch of it would be: its bytes, head, SHA-256, signature.
FetchResult ReadLayoutFile(const std::string& path) {
  FetchResult r;
  std::ifstream in(path, std::ios::binary);
  if (!in || std::filesystem::is_symlink(path)) {
    r.error = in ? "a link: the wizard does not take it" : "missing";
    return r;
  }
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> hash{EVP_MD_CTX_new(), EVP_MD_CTX_free};
  EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr);
  AuthenticodeReader reader;
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    const auto got = static_cast<std::size_t>(in.gcount());
    if (r.bodyBytes == 0) r.head.assign(buffer.data(), std::min<std::size_t>(got, 2));
    EVP_DigestUpdate(hash.get(), buffer.data(), got), reader.Update(buffer.data(), got);
    r.bodyBytes += got;
  }
  r.sha256 = Sha256Hex(hash.get());
  r.status = 200, r.contentLengthText = std::to_string(r.bodyBytes), r.signature = reader.Finish();
  return r;
}
}  // namespace

Report CheckLayout(const std::string& folder, const std::map<std::string, std::string>& pinned) {
  Report report;
  const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  const std::string fallback = "no box: the wizard fetches it from its server";
  std::ifstream in(dir + k::LAYOUT_MANIFEST_NAME, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  const k::DigestList manifest = k::ParseLayoutManifest(text);
  const bool read = in && manifest.badLine == 0;
  report.rows.push_back({read, std::string("layout ") + k::LAYOUT_MANIFEST_NAME, dir,
                         !in ? "missing: the layout is unfinished"
                         : read
                             ? std::to_string(manifest.digests.size()) + " files"
                             : "line " + std::to_string(manifest.badLine) + ": " + manifest.error,
                         read ? "" : "no box: the wizard fetches every file from its server"});
  std::vector<std::string> names = k::LayoutFileNames();
  names.push_back(k::LAYOUT_PROGRAM_NAME);  // the copy a deployment starts
  for (const std::string& name : names) {
    const auto it = pinned.find(name);
    const bool package = name == k::DOTNET4_PACKAGE_NAME, listed = k::IsLayoutName(name);
    const Expectation e = {!package && name != k::UNRAR_DLL.localName,
                           package ? k::DOTNET4_PACKAGE_SIZE : 0,
                           it == pinned.end() ? "" : it->second, name};
    const FetchResult r = ReadLayoutFile(dir + name);
    const std::string user = listed ? fallback : "the deployment cannot start the wizard";
    Row row = MakeRow("layout " + name, dir + name, r, e, user, user);
    if (!r.error.empty()) row.found = r.error;
    const std::string fault = listed ? k::LayoutFault(manifest, name, r.sha256) : "";
    if (row.ok && !fault.empty()) row.ok = false, row.found += "; " + fault, row.userSees = user;
    report.rows.push_back(row);
  }
  return report;
}

}  // namespace servercheck
