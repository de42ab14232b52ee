#include "ui/status.h"

std::string StatusLineText(const std::string& text) { return "    " + text; }

std::string StatusBoxText(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\n\v\f\r");
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::string AppNameFromModulePath(const std::string& modulePath) {
  const auto slash = modulePath.find_last_of("\\/");
  std::string name = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

int CentredIconOffset(int clientExtent, int iconExtent) {
  return (clientExtent - iconExtent + 1) / 2;
}
