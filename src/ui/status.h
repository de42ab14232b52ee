#pragma once
#include <string>

// The status line: the text behind a four-space indent.
std::string StatusLineText(const std::string& text);
// The box shows the text without leading white space.
std::string StatusBoxText(const std::string& text);
// The message-box caption: the program file's name without its extension.
std::string AppNameFromModulePath(const std::string& modulePath);

// Where the minimised dialog draws its icon: (client - icon + 1) / 2.
int CentredIconOffset(int clientExtent, int iconExtent);
