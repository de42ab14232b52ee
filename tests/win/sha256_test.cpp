// Win32FileSystem::Sha256Hex against the published SHA-256 vectors (FIPS
// 180-2 appendix B), a body that spans many 64 KiB reads, and a missing file.
#include <cstdio>
#include <fstream>
#include <string>

#include "fetch/win32/win32_files.h"

int main() {
  struct Vector {
    const char* name;
    std::string content;
    const char* expected;  // nullptr: no digest
  };
  const Vector vectors[] = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"1000000 x a", std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {"missing file", "", nullptr},
  };
  kelvara::Win32FileSystem files;
  int passed = 0, failed = 0;
  for (const Vector& v : vectors) {
    const std::string path = std::string("kelvara_sha256_") + (v.expected ? "vector" : "absent");
    std::remove(path.c_str());
    if (v.expected) std::ofstream(path, std::ios::binary) << v.content;
    const auto actual = files.Sha256Hex(path);
    const bool ok = v.expected ? actual == std::string(v.expected) : !actual;
    std::printf("%s %s: %s\n", ok ? "PASS" : "FAIL", v.name, actual ? actual->c_str() : "(none)");
    ++(ok ? passed : failed);
    std::remove(path.c_str());
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
