#include "flow/texts.h"

namespace kelvara {

std::string StatusLineText(const std::string& text) { return "    " + text; }

std::string StatusBoxText(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\n\v\f\r");
  return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace kelvara
