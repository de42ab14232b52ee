// kelvara-servercheck: checks, from the operator's own machine, that the
// servers answer every request the wizard makes as the wizard needs it.
#include <curl/curl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "checks.h"
#include "system/run_check.h"

namespace {
using servercheck::Report;
using servercheck::Row;

const char* USAGE =
    "usage: kelvara-servercheck --intranet HOST --public HOST --download HOST\n"
    "                           [--digests FILE] [--write-digests FILE] [--timeout SECONDS] "
    "[--json]\n"
    "       kelvara-servercheck --layout DIR [--digests FILE] [--json]\n"
    "Fetches every file the Kelvara setup wizard may fetch, as the wizard would.\n"
    "  HOST                  host or host:port, as given to the build (KELVARA_*_HOST)\n"
    "  --digests FILE        check the SHA-256 of each file FILE names (sha256sum format)\n"
    "  --write-digests FILE  write the SHA-256 of the served programs, unrar.dll and\n"
    "                        NetFx40.exe from the default address to FILE\n"
    "  --timeout SECONDS     a request fails after SECONDS without data (default 30)\n"
    "  --json                one JSON object on standard output, for monitoring\n"
    "  --layout DIR          judge a layout made with kelvara-setup.exe /layout instead,\n"
    "                        by the same rules, and its manifest kelvara-layout.txt\n"
    "Exit status: 0 when every check passes, 1 when one fails, 2 for bad input.\n"
    "Each program's Authenticode signature (the primary one in its certificate table) is\n"
    "read with libcrypto and judged by the signers this build was configured with, as the\n"
    "wizard built alike judges it. Verified here: the file's Authenticode digest (SHA-1 or\n"
    "SHA-256) against the signed one, and the signer's signature over the signed attributes\n"
    "(PKCS7_verify). Not checked, as Windows does: the signatures and validity dates\n"
    "along the chain (followed by issuer names and key identifiers), time stamps, the\n"
    "machine's own trust store (a root the signature does not carry cannot be judged),\n"
    "revocation.\n";

struct BadInput {
  std::string message;
};

struct Options {
  servercheck::Deployment hosts;
  std::string digests, writeDigests, layout;
  long timeout = 30;
  bool json = false;
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  std::string* const hosts[] = {&o.hosts.intranetHost, &o.hosts.publicHost, &o.hosts.downloadHost};
  const char* const hostOptions[] = {"--intranet", "--public", "--download"};
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i], value;
    const auto equals = option.find('=');
    const bool inlineValue = option.rfind("--", 0) == 0 && equals != std::string::npos;
    if (inlineValue) {
      value = option.substr(equals + 1);
      option.erase(equals);
    }
    if (option == "--json" && !inlineValue) {
      o.json = true;
      continue;
    }
    const auto takeValue = [&]() {
      if (inlineValue) return value;
      if (i + 1 >= argc) throw BadInput{option + " needs a value"};
      return std::string(argv[++i]);
    };
    bool known = false;
    for (int h = 0; h < 3; ++h) {
      if (option != hostOptions[h]) continue;
      *hosts[h] = takeValue();
      // The build's own rule for a deployment host (kelvara_require_host).
      static const std::regex host("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]+)?$");
      if (!std::regex_match(*hosts[h], host))
        throw BadInput{option + " '" + *hosts[h] +
                       "' is not a host name: give only host or host:port, without a scheme, "
                       "path, slash or blanks"};
      known = true;
    }
    if (known) continue;
    if (option == "--digests") {
      o.digests = takeValue();
    } else if (option == "--layout") {
      o.layout = takeValue();
    } else if (option == "--write-digests") {
      o.writeDigests = takeValue();
    } else if (option == "--timeout") {
      const std::string text = takeValue();
      if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != text.npos ||
          std::stol(text) == 0)
        throw BadInput{"--timeout '" + text + "' is not a number of seconds from 1 to 9999"};
      o.timeout = std::stol(text);
    } else {
      throw BadInput{"unknown option '" + std::string(argv[i]) + "'"};
    }
  }
  for (int h = 0; h < 3 && o.layout.empty(); ++h)
    if (hosts[h]->empty()) throw BadInput{std::string(hostOptions[h]) + " HOST is missing"};
  return o;
}

std::map<std::string, std::string> ReadPinned(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  if (!in || !(text << in.rdbuf())) throw BadInput{"cannot read the digests file '" + path + "'"};
  const kelvara::DigestList list = kelvara::ParseDigestList(text.str());
  if (list.badLine != 0)
    throw BadInput{path + ", line " + std::to_string(list.badLine) + ": " + list.error};
  std::map<std::string, std::string> pinned;
  for (const kelvara::PinnedDigest& d : list.digests) pinned.emplace(d.name, d.sha256);
  return pinned;
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void Print(const Report& report, bool json, int failed) {
  const std::size_t total = report.rows.size();
  if (json) {
    std::cout << "{\"ok\": " << (failed == 0 ? "true" : "false")
              << ", \"passed\": " << total - static_cast<std::size_t>(failed)
              << ", \"failed\": " << failed << ", \"checks\": [";
    for (std::size_t i = 0; i < total; ++i) {
      const Row& r = report.rows[i];
      std::cout << (i ? ",\n  " : "\n  ") << "{\"ok\": " << (r.ok ? "true" : "false")
                << ", \"check\": " << Json(r.subject) << ", \"url\": " << Json(r.url)
                << ", \"found\": " << Json(r.found) << ", \"user_sees\": " << Json(r.userSees)
                << "}";
    }
    std::cout << "]}\n";
    return;
  }
  for (const Row& r : report.rows) {
    std::cout << (r.ok ? "✔ " : "✘ ") << r.subject << ": " << r.found << "\n";
    if (r.ok) continue;
    if (!r.url.empty() && r.url != r.subject.substr(r.subject.find(' ') + 1))
      std::cout << "    " << r.url << "\n";
    std::cout << "    the user sees: " << r.userSees << "\n";
  }
  if (failed == 0)
    std::cout << "✔ all " << total << " checks passed\n";
  else
    std::cout << "✘ " << failed << " of " << total << " checks failed\n";
}

void ShowProgress(const servercheck::FetchProgress& p) {
  if (p.done == p.total) {
    std::fputs("\r\033[K", stderr);
    return;
  }
  std::fprintf(stderr, "\r\033[Kfetching: %zu of %zu done, %.1f MB received", p.done, p.total,
               static_cast<double>(p.bytes) / 1e6);
}
}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
      std::cout << USAGE;
      const kelvara::Signers& signers = kelvara::BuiltInSigners();
      for (const auto& [files, rule] : {std::pair{"Microsoft packages", &signers.microsoft},
                                        std::pair{"publisher's files", &signers.publisher}}) {
        std::string roots;
        for (const std::string& root : rule->roots) roots += " " + root;
        std::cout << "This build's signer for the " << files << ": "
                  << (rule->signer.empty() ? std::string("none (not checked)")
                                           : "\"" + rule->signer + "\"" +
                                                 (roots.empty() ? ", any root" : ", roots" + roots))
                  << "\n";
      }
      return 0;
    }
  servercheck::CheckSettings settings;
  Options options;
  try {
    options = ParseOptions(argc, argv);
    if (!options.digests.empty()) settings.pinned = ReadPinned(options.digests);
  } catch (const BadInput& bad) {
    std::cerr << "kelvara-servercheck: " << bad.message
              << "\n(kelvara-servercheck --help lists the options)\n";
    return 2;
  }
  settings.hosts = options.hosts;
  settings.timeoutSeconds = options.timeout;
  settings.hashServed = !options.writeDigests.empty();
  // Only a person watching needs it; a monitor reading stdout does not.
  if (isatty(STDERR_FILENO)) settings.progress = ShowProgress;

  curl_global_init(CURL_GLOBAL_DEFAULT);
  const Report report = options.layout.empty()
                            ? servercheck::RunChecks(settings)
                            : servercheck::CheckLayout(options.layout, settings.pinned);
  curl_global_cleanup();

  int failed = 0;
  for (const Row& r : report.rows) failed += r.ok ? 0 : 1;
  Print(report, options.json, failed);

  if (!options.writeDigests.empty()) {
    if (!report.served) {
      std::cerr << "kelvara-servercheck: " << options.writeDigests
                << " not written: a program or the default package could not be fetched whole\n";
      return 1;
    }
    std::ofstream out(options.writeDigests, std::ios::binary | std::ios::trunc);
    for (const kelvara::PinnedDigest& d : *report.served) out << d.sha256 << "  " << d.name << "\n";
    if (!out.flush()) {
      std::cerr << "kelvara-servercheck: cannot write " << options.writeDigests << "\n";
      return 2;
    }
  }
  return failed == 0 ? 0 : 1;
}
