#include "app/log.h"

#include <cstdio>

namespace kelvara {
namespace {
LogSink* g_sink = nullptr;

void Write(const std::string& event) {
  if (g_sink == nullptr) return;
  char prefix[48];
  std::snprintf(prefix, sizeof prefix, "%8llu ms  %-6s  ",
                static_cast<unsigned long long>(g_sink->ElapsedMs()),
                g_sink->OnWindowThread() ? "window" : "worker");
  g_sink->Append(prefix + event);
}

std::string Num(std::uint64_t value) { return std::to_string(value); }
}  // namespace

void SetLogSink(LogSink* sink) { g_sink = sink; }

std::uint64_t LogClockMs() { return g_sink != nullptr ? g_sink->ElapsedMs() : 0; }

void LogLine(const std::string& event) { Write(event); }

void LogStep(int stage, int step) {
  Write("step (" + std::to_string(stage) + ", " + std::to_string(step) + ")");
}

void LogStatus(const std::string& text, bool box) {
  Write((box ? "box \"" : "line \"") + text + "\"");
}

void LogFetch(const std::string& url, const std::string& status, const std::string& length,
              std::uint64_t written, int result, std::uint64_t ms) {
  Write("fetch " + MaskCredentials(url) + " status=" + (status.empty() ? "-" : status) +
        " length=" + (length.empty() ? "-" : length) + " written=" + Num(written) +
        " result=" + std::to_string(result) + " " + Num(ms) + " ms");
}

void LogBreak(const std::string& url, std::uint64_t at, std::optional<std::uint64_t> total,
              const std::string& cause) {
  Write("broke off " + MaskCredentials(url) + " at " + Num(at) + " of " +
        (total ? Num(*total) : std::string("-")) + " bytes: " + cause);
}

void LogResume(const std::string& url, std::uint64_t from, const std::string& status,
               const std::string& range, const std::string& outcome) {
  Write("resume " + MaskCredentials(url) + " from=" + Num(from) +
        " status=" + (status.empty() ? "-" : status) + " range=" + (range.empty() ? "-" : range) +
        " -> " + outcome);
}

void LogReuse(const std::string& path) {
  Write("reuse " + path + ": SHA-256 as pinned, no request");
}

void LogMirrorList(const std::vector<std::string>& entries) {
  std::string line = "mirror list: " + std::to_string(entries.size()) + " entries";
  for (const std::string& entry : entries) line += " [" + MaskCredentials(entry) + "]";
  Write(line);
}

void LogMirrorDrawn(const std::string& address) {
  Write("mirror drawn " + MaskCredentials(address));
}

void LogRegistryProbe(const std::string& key, const std::string& found, bool verdict) {
  Write("registry HKLM\\" + key + " " + found + " -> " + (verdict ? "yes" : "no"));
}

void LogPackageSize(const std::string& path, std::optional<std::uint64_t> size, bool complete) {
  Write("size " + path + " " + (size ? Num(*size) + " bytes" : std::string("missing")) + " -> " +
        (complete ? "complete" : "incomplete"));
}

void LogDigest(const std::string& path, const std::string& pinned,
               const std::optional<std::string>& actual, bool match) {
  Write("sha256 " + path + " pinned=" + pinned + " found=" + actual.value_or("-") + " -> " +
        (match ? "match" : "MISMATCH"));
}

void LogRun(const std::string& commandLine, int result, unsigned long error, std::uint64_t ms) {
  Write("run " + commandLine +
        (error != 0 ? " not started, error " + std::to_string(error)
                    : " exit code " + std::to_string(result)) +
        " " + Num(ms) + " ms");
}

void LogShellOpen(const std::string& path, long result) {
  Write("shell open " + path + " result=" + std::to_string(result) +
        (result > 32 ? " ok" : " FAILED"));
}

std::string MaskCredentials(const std::string& url) {
  const auto scheme = url.find("://");
  const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const auto end = url.find_first_of("/?#", start);
  const auto at = url.rfind('@', end == std::string::npos ? std::string::npos : end);
  if (at == std::string::npos || at < start) return url;
  return url.substr(0, start) + "***" + url.substr(at);
}

std::vector<std::string> RunHeaderLines(const RunHeader& h) {
  const std::string version =
      std::to_string(h.major) + "." + std::to_string(h.minor) + "." + std::to_string(h.build);
  return {"==== kelvara-setup " + h.version + " started " + h.localTime,
          "Windows " + version + " (class " + std::to_string(h.versionClass) + ", " +
              (h.windows64 ? "64-bit" : "32-bit") + ")",
          std::string("mode ") + (h.privateMode ? "private" : "public") + ", intranet " +
              MaskCredentials(h.intranetBase) + ", public " + MaskCredentials(h.publicBase) +
              ", .NET 4.0 " + MaskCredentials(h.dotNet4Url),
          "working directory " + h.workDir};
}

std::string TrimOldLog(const std::string& content, std::size_t limit) {
  if (content.size() <= limit) return content;
  // The newest line start from which the rest fits.
  const auto cut = content.find('\n', content.size() - limit - 1);
  return cut == std::string::npos ? std::string() : content.substr(cut + 1);
}

}  // namespace kelvara
