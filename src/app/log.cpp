#include "app/log.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

namespace kelvara {
namespace {
LogSink* g_sink = nullptr;

void Write(const std::string& event) {
  if (g_sink == nullptr) return;
  char prefix[48];
  std::snprintf(prefix, sizeof prefix, "%8llu ms  %-6s  ",
                static_cast<unsigned long long>(g_sink->ElapsedMs()),
                g_sink->OnWindowThread() ? "window" : "worker");
  g_sink->Append(prefix + EscapeControls(event));
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

void LogFileRefused(const std::string& path, const char* what, unsigned long error) {
  Write("file " + path + " " + what + ", error " + std::to_string(error));
}

namespace {
bool IsSecretName(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* part : {"token", "sig", "key", "pass", "pwd", "auth", "secret", "credential"})
    if (name.find(part) != std::string::npos) return true;
  return false;
}

using Span = std::pair<std::size_t, std::size_t>;  // [from, to) of the address

// Adds the value of each secret-named parameter of the query found from `from` on.
void AddSecretValues(const std::string& url, std::size_t from, std::vector<Span>& spans) {
  const auto fragment = std::min(url.find('#', from), url.size());
  for (auto name = url.find('?', from); name < fragment; name = url.find('&', name + 1)) {
    const auto valueEnd = std::min(url.find('&', name + 1), fragment);
    const auto eq = url.find('=', name + 1);
    if (eq < valueEnd && IsSecretName(url.substr(name + 1, eq - name - 1)))
      spans.emplace_back(eq + 1, valueEnd);
  }
}
}  // namespace

std::string MaskCredentials(const std::string& url) {
  const auto scheme = url.find("://");
  const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const auto authority = url.substr(start, url.find_first_of("/?#", start) - start);
  const auto at = url.rfind('@');
  std::vector<Span> spans;
  // The query is read both as if the credentials ended at the last "@" and as if the
  // first "?" began it: either may be the true one ("h:80/f?to=a@b&sig=c").
  AddSecretValues(url, start, spans);
  if (authority.find_first_of(":@") != std::string::npos && at != std::string::npos) {
    spans.emplace_back(start, at);
    AddSecretValues(url, at, spans);
  }
  std::sort(spans.begin(), spans.end());
  std::string masked;
  std::size_t done = 0;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    if (i > 0 && spans[i].first <= done) {  // overlapping spans become one "***"
      done = std::max(done, spans[i].second);
      continue;
    }
    masked += url.substr(done, spans[i].first - done) + "***";
    done = spans[i].second;
  }
  return masked + url.substr(done);
}

std::string EscapeControls(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      escaped += c;
      continue;
    }
    char code[5];
    std::snprintf(code, sizeof code, "\\x%02X", byte);
    escaped += code;
  }
  return escaped;
}

std::vector<std::string> RunHeaderLines(const RunHeader& h) {
  const std::string version =
      std::to_string(h.major) + "." + std::to_string(h.minor) + "." + std::to_string(h.build);
  std::vector<std::string> lines = {
      "==== kelvara-setup " + h.version + " started " + h.localTime,
      "Windows " + version + " (class " + std::to_string(h.versionClass) + ", " +
          (h.windows64 ? "64-bit" : "32-bit") + ")",
      std::string("mode ") + (h.privateMode ? "private" : "public") + ", intranet " +
          MaskCredentials(h.intranetBase) + ", public " + MaskCredentials(h.publicBase) +
          ", .NET 4.0 " + MaskCredentials(h.dotNet4Url),
      "working directory " + h.workDir};
  for (std::string& line : lines) line = EscapeControls(line);
  return lines;
}

std::string TrimOldLog(const std::string& content, std::size_t limit) {
  if (content.size() <= limit) return content;
  // The newest line start from which the rest fits.
  const auto cut = content.find('\n', content.size() - limit - 1);
  return cut == std::string::npos ? std::string() : content.substr(cut + 1);
}

}  // namespace kelvara
