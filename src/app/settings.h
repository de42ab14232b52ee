#pragma once
// Process-wide settings read by every subsystem. Narrow strings are UTF-8.
//
// The strings are references to objects that are never destroyed: a worker
// thread may still read them while the C runtime runs static destructors
// after exit(0) or after the last dialog has closed.

#include <string>
#include <vector>

namespace kelvara {

extern int g_bPrivateMode;
extern std::string& g_strIntranetBase;
extern std::string& g_strPublicFileBase;
extern std::string& g_strDotNet4PackageUrl;
extern std::string& g_strFileBase;
extern std::string& g_strProbePath;

// The one command-line keyword.
inline constexpr const char* PRIVATE_KEYWORD = "private";

// args[0] is the program path; only args[1] is examined, exactly and
// case-sensitively.
bool IsPrivateModeCommandLine(const std::vector<std::string>& args);

// The addresses formed from a deployment host (host or host:port).
std::string FileBaseAddress(const std::string& host);
std::string DotNet4PackageAddress(const std::string& host);

// The program file's name without extension, as the window framework names
// an application: the caption of every message box and the HTTP agent.
std::string AppNameFromModulePath(const std::string& modulePath);

}  // namespace kelvara
