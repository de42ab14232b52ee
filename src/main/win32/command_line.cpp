#include "main/win32/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/win32/text.h"

namespace kelvara {

CommandLine ReadCommandLine(const wchar_t* commandLine) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(commandLine, &count);
  std::vector<std::string> args;
  if (argv != nullptr) {
    for (int i = 0; i < count; ++i) args.push_back(Narrow(argv[i]));
    LocalFree(argv);
  }
  return ParseCommandLine(args);
}

}  // namespace kelvara
