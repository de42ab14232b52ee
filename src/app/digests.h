#pragma once
// Pinned SHA-256 digests: the wizard runs no downloaded program that it was
// not built to run.

#include <memory>
#include <string>
#include <vector>

#include "app/platform.h"

namespace kelvara {

struct PinnedDigest {
  std::string name;    // a served file's local name
  std::string sha256;  // 64 lower-case hex digits
};

struct DigestList {
  std::vector<PinnedDigest> digests;
  int badLine = 0;  // the first bad line's number; 0 when every line is good
  std::string error;
};

bool IsPinnableName(const std::string& name);
// sha256sum's format, "<64 hex>  <name>" (or " *<name>"), one file a line;
// blank lines are skipped. Only the names the rule allows may be named: for
// pins the programs, "unrar.dll" and the .NET package.
DigestList ParseDigestList(const std::string& text,
                           bool (*allowed)(const std::string&) = IsPinnableName);

// The digests baked into this build.
const std::vector<PinnedDigest>& BuiltInDigests();
// For unit tests only: replaces the table, as a build with pins would have it.
void SetPinnedDigestsForTest(std::vector<PinnedDigest> digests);

// The digest this build pins for the file's name; nullptr when none.
const PinnedDigest* PinnedDigestOf(const std::string& path);
// True when this build pins a digest for the file's name.
bool HasPinnedDigest(const std::string& path);
// The downloaded file held from its checks until it has been run or loaded and
// no longer needed; nullptr, logged, when it cannot be opened so.
std::unique_ptr<HeldFile> HoldFile(const std::string& path);
// Whether a file lying there may be reused, not fetched again: its name is
// not pinned, or its SHA-256, read through the held file, is the pinned one.
bool IsFileAsPinned(const std::string& path, HeldFile& file);

}  // namespace kelvara
