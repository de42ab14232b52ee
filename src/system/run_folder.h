#pragma once
// Where the wizard's programs run from, and the support log's guard against
// links: decisions only; the Win32 side makes the calls.

#include <cstddef>
#include <string>

namespace kelvara {

inline constexpr char RUN_FOLDER_PREFIX[] = "KelvaraSetup-";
// Bytes drawn from the system's generator for one name: 16 hex digits.
inline constexpr std::size_t NAME_RANDOM_BYTES = 8;

// Owner Administrators; a protected DACL: full access to SYSTEM and
// Administrators only, inherited by what is made inside.
inline constexpr char RUN_FOLDER_SDDL[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The bytes as lower-case hex; "" when fewer than NAME_RANDOM_BYTES came.
std::string RandomHex(const unsigned char* bytes, std::size_t count);
// "KelvaraSetup-<hex>", or "" without enough random bytes.
std::string RunFolderName(const unsigned char* bytes, std::size_t count);
bool IsRunFolderName(const std::string& name);

// What makes a file unfit to be written or run through: "" for a plain file.
std::string LinkFound(bool reparsePoint, unsigned long links);
// The log written beside a linked one ("" without enough random bytes), and
// its first line.
std::string SideLogName(const unsigned char* bytes, std::size_t count);
std::string SideLogFirstLine(const std::string& path, const std::string& found);

enum class FolderOwner { Administrators, System, Other };
// A folder a run before this one left behind, safe to empty and remove: its
// name, an owner only administrators can be, and not a link elsewhere.
bool IsLeftoverRunFolder(const std::string& name, FolderOwner owner, bool reparsePoint);

}  // namespace kelvara
