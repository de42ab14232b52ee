#pragma once
// What the server check fetches and how it judges each answer. Every rule it
// shares with the wizard (addresses, served files, mirror-list reading, the
// package size, the digest names) comes from the core.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/digests.h"
#include "http.h"

namespace servercheck {

struct Deployment {
  std::string intranetHost, publicHost, downloadHost;
};

struct Row {
  bool ok = false;
  std::string subject;   // e.g. "public ClientSetup.exe"
  std::string url;       // the address fetched; "" for a row about a list's content
  std::string found;     // what the answer was
  std::string userSees;  // for a failure: what the wizard's user will see
};

struct Report {
  std::vector<Row> rows;
  // The digests of the public tree's programs and library and of the default
  // package; nullopt when one of them could not be fetched whole.
  std::optional<std::vector<kelvara::PinnedDigest>> served;
};

struct CheckSettings {
  Deployment hosts;
  std::map<std::string, std::string> pinned;  // local name -> SHA-256
  bool hashServed = false;                    // fill Report::served
  long timeoutSeconds = 30;
  int parallel = 4;
  std::function<void(const FetchProgress&)> progress;
};

Report RunChecks(const CheckSettings& settings);

// A layout folder judged as the wizard judges it before it takes a file from
// there: the manifest, each file there and as it says, its size, pin, signer.
Report CheckLayout(const std::string& folder, const std::map<std::string, std::string>& pinned);

}  // namespace servercheck
