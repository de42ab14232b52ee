#pragma once
#include <string>

namespace kelvara {

// Narrow strings inside are UTF-8; at the Win32 boundary they become UTF-16.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// The program file's name without extension: the caption of every message
// box and the HTTP agent.
std::wstring AppNameW();

}  // namespace kelvara
