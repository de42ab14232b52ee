#pragma once
// The whole test harness: cases are table rows, in groups; a failed CHECK
// prints file:line and both values. Run "PROGRAM GROUP [CASE]".
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace wt {
inline std::vector<std::pair<std::string, std::function<void()>>> cases;  // "group/case"
inline int failures = 0;
template <class A, class B>
void Check(const A& got, const B& want, const char* text, const char* file, int line) {
  std::ostringstream s;
  s << file << ":" << line << ": " << text << ": got [" << got << "], want [" << want << "]";
  if (!(got == want) && ++failures) std::printf("%s\n", s.str().c_str());
}
template <class Row, std::size_t N, class F>
bool Rows(const std::string& group, const Row (&rows)[N], F run) {
  for (const Row& row : rows) cases.emplace_back(group + "/" + row.name, [&row, run] { run(row); });
  return true;
}
inline int Run(const std::string& group, const char* only) {
  int count[2] = {0, 0};  // passed, failed
  for (const auto& [name, run] : cases) {
    if (name.rfind(group + "/", 0) != 0 || (only && name != group + "/" + only)) continue;
    const int before = failures;
    run();
    std::printf("%s %s\n", failures == before ? "ok  " : "FAIL", name.c_str());
    ++count[failures == before ? 0 : 1];
  }
  std::printf("%d passed, %d failed\n", count[0], count[1]);
  return count[1] > 0 || count[0] == 0 ? 1 : 0;  // a name that matches nothing fails too
}
}  // namespace wt
#define CHECK(got, want) wt::Check(got, want, #got, __FILE__, __LINE__)
