#pragma once
#include <string>

namespace kelvara {
// Opens the log at path ("": kelvara-setup.log in the working directory),
// appends this run's header and makes it the log's sink. A log that cannot be
// opened is skipped.
void OpenSupportLog(const std::string& path);
}  // namespace kelvara
