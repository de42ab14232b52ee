#pragma once
// The support log: one line per event, so that support can tell what
// happened at a user's desk. It never changes the flow: without a sink (the
// file could not be opened) every call does nothing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvara {

class LogSink {
 public:
  virtual ~LogSink() = default;
  // Writes one whole line at once; safe from both threads.
  virtual void Append(const std::string& line) = 0;
  virtual std::uint64_t ElapsedMs() = 0;
  virtual bool OnWindowThread() = 0;
};

void SetLogSink(LogSink* sink);
std::uint64_t LogClockMs();  // 0 without a sink

void LogLine(const std::string& event);
void LogStep(int stage, int step);
void LogStatus(const std::string& text, bool box);
void LogFetch(const std::string& url, const std::string& status, const std::string& length,
              std::uint64_t written, int result, std::uint64_t ms);
// A body that broke off, why, and each request for its rest with what came of it.
void LogBreak(const std::string& url, std::uint64_t at, std::optional<std::uint64_t> total,
              const std::string& cause);
void LogResume(const std::string& url, std::uint64_t from, const std::string& status,
               const std::string& range, const std::string& outcome);
void LogReuse(const std::string& path);
void LogMirrorList(const std::vector<std::string>& entries);
void LogMirrorDrawn(const std::string& address);
void LogRegistryProbe(const std::string& key, const std::string& found, bool verdict);
void LogDigest(const std::string& path, const std::string& pinned,
               const std::optional<std::string>& actual, bool match);
void LogRun(const std::string& commandLine, int result, unsigned long error, std::uint64_t ms);
// A file the wizard could not write or hold, with the system's error number.
void LogFileRefused(const std::string& path, const char* what, unsigned long error);

// An address as requested, but the user name and password become "***" and so
// do the values of query parameters named like secrets (a name holding token,
// sig, key, pass, pwd, auth, secret or credential, in any case). A password may
// hold any character, so when what precedes the first "/", "?" or "#" holds a
// ":" or "@", everything up to the last "@" is taken for credentials.
std::string MaskCredentials(const std::string& url);
// Every control character as \xNN, so that no logged text can begin a line.
std::string EscapeControls(const std::string& text);

struct RunHeader {
  std::string version, localTime;
  unsigned major = 0, minor = 0, build = 0;
  int versionClass = 0;
  bool windows64 = false, privateMode = false;
  std::string intranetBase, publicBase, dotNet4Url, workDir;
};
std::vector<std::string> RunHeaderLines(const RunHeader& header);

// The log's newest part that fits in limit bytes, cut at a line start.
std::string TrimOldLog(const std::string& content, std::size_t limit);
inline constexpr std::size_t LOG_LIMIT = std::size_t{1024} * 1024;

}  // namespace kelvara
