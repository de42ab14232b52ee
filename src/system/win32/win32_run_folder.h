#pragma once
#include <string>

namespace kelvara {

// Bytes from the system's generator (RtlGenRandom); false when none came.
bool SystemRandom(unsigned char* bytes, unsigned long count);
using RandomDraw = bool (*)(unsigned char* bytes, unsigned long count);

// The run folder's security descriptor, built from its SDDL text; free it
// with LocalFree. nullptr when it cannot be built.
void* NewRunFolderDescriptor();

struct MadeFolder {
  std::string path;               // with its backslash
  void* handle = nullptr;         // held without delete sharing
  bool keepsPermissions = false;  // false on a volume without ACLs (FAT32)
};
// Makes a new folder with a random name below parent (with its backslash),
// with the descriptor given at creation; a name that exists is never used,
// another is drawn. false when none can be made and held.
bool CreateRunFolder(const std::string& parent, RandomDraw draw, MadeFolder* made);

// Deletes every entry of the folder by its own name, nested folders a program
// unpacked there included, so a link goes and not what it names, then the
// folder; a file in use, and so the folders around it, stay.
// The held handle, if any, is closed first.
void RemoveRunFolder(const std::string& folder, void* handle);

// A leftover run folder opened for its checks; nullptr when a live run holds it.
void* OpenLeftoverRunFolder(const std::string& path);

// The folders an earlier run left in parent that the leftover rule allows,
// removed as far as nothing in them is in use; one a live run holds is skipped.
void RemoveLeftoverRunFolders(const std::string& parent);

// This process's run folder in %SystemRoot%\Temp, made and logged at the
// first call and removed when the process exits; "" when it cannot be made.
std::string ProcessRunFolder();

}  // namespace kelvara
