#pragma once
#include <string>

// What the window thread hands to a job thread and what the job leaves
// behind. Shared without a lock: the message queue orders every access.
struct JobBlock {
  int nJobCode = 0;
  int nJobResult = 0;
  std::string strWorkDir;
  std::string strFilePath;
};
