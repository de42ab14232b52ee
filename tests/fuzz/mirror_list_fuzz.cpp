// libFuzzer target: any list body must parse within the table, under ASan.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fetch/mirror_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const kelvara::MirrorTable table =
      kelvara::ReadMirrorList(std::string(reinterpret_cast<const char*>(data), size));
  if (table.n < 0 || table.n > kelvara::MIRROR_SLOTS) __builtin_trap();
  for (int i = 0; i < table.n; ++i) {
    const std::string& entry = table.entries[static_cast<std::size_t>(i)];
    if (entry.size() > size) __builtin_trap();
    if (entry.find_first_of("|\x1A") != std::string::npos) __builtin_trap();
    // Entries are trimmed of blanks, tabs, CR and LF at both ends.
    if (!entry.empty() && (std::string(" \t\r\n").find(entry.front()) != std::string::npos ||
                           std::string(" \t\r\n").find(entry.back()) != std::string::npos))
      __builtin_trap();
  }
  return 0;
}
