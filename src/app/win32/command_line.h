#pragma once
// Splits a command line by the Windows rules and applies the private-mode
// rule; a line that cannot be split counts as no arguments.
namespace kelvara {
bool IsPrivateModeRequested(const wchar_t* commandLine);
}  // namespace kelvara
