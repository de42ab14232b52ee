#pragma once
// Process-wide settings read by every subsystem. Narrow strings are UTF-8.
//
// The strings are references to objects that are never destroyed: a worker
// thread may still read them while the C runtime runs static destructors
// after exit(0) or after the last dialog has closed.

#include <string>

namespace kelvara {

extern int g_bPrivateMode;
extern std::string& g_strIntranetBase;
extern std::string& g_strPublicFileBase;
extern std::string& g_strDotNet4PackageUrl;
extern std::string& g_strFileBase;
extern std::string& g_strProbePath;

// How much of the wizard a person sees. Unattended modes show no welcome and
// no box, and end with an exit code that tells how the run went.
enum class UiMode { Interactive, Passive, Quiet };
extern UiMode g_uiMode;
inline bool IsUnattended() { return g_uiMode != UiMode::Interactive; }
// The build's arguments that install the client without a person; empty:
// unattended runs too start it and leave it to the person.
extern std::string& g_strClientQuietArgs;

// /layout DIR: the folder every file is fetched into (with its backslash),
// and the wizard's own path, copied there; "" for an install.
extern std::string& g_strLayoutTarget;
extern std::string& g_strProgramPath;

// The one command-line keyword.
inline constexpr const char* PRIVATE_KEYWORD = "private";

// The addresses formed from a deployment host (host or host:port).
std::string FileBaseAddress(const std::string& host);
std::string DotNet4PackageAddress(const std::string& host);

// The program file's name without extension, as the window framework names
// an application: the caption of every message box and the HTTP agent.
std::string AppNameFromModulePath(const std::string& modulePath);

}  // namespace kelvara
