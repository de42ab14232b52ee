#pragma once
// Pinned SHA-256 digests: the wizard runs no downloaded program that it was
// not built to run.

#include <string>
#include <vector>

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

// sha256sum's format, "<64 hex>  <name>" (or " *<name>"), one file a line;
// blank lines are skipped. Only the programs, "unrar.dll" and the .NET
// package may be named.
DigestList ParseDigestList(const std::string& text);
bool IsPinnableName(const std::string& name);

// The digests baked into this build.
const std::vector<PinnedDigest>& BuiltInDigests();
// For unit tests only: replaces the table, as a build with pins would have it.
void SetPinnedDigestsForTest(std::vector<PinnedDigest> digests);

// True when the file's name is not pinned, or its SHA-256 is the pinned one.
bool IsFileAsPinned(const std::string& path);
// True when this build pins a digest for the file's name.
bool HasPinnedDigest(const std::string& path);

}  // namespace kelvara
