// libFuzzer targets for every parser of what a server, an administrator or a user hands the
// wizard or the server check. Each checks the parser's own promises, not only that it lives;
// the build compiles this file once per target, with KELVARA_FUZZ_<TARGET> defined.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

#include "../../tools/servercheck/authenticode.h"
#include "app/command_line.h"
#include "app/digests.h"
#include "app/layout.h"
#include "app/log.h"
#include "fetch/fetch.h"
#include "fetch/mirror_list.h"
#include "fetch/resume.h"
#ifdef KELVARA_FUZZ_SERVERCHECK  // its readers sit in its own files' unnamed namespaces
#include "../../tools/servercheck/checks.cpp"
#define main ServercheckMain
#include "../../tools/servercheck/main.cpp"
#endif

#define CHECK(c) ((c) ? (void)0 : __builtin_trap())

namespace {
using namespace kelvara;
using namespace servercheck;
[[maybe_unused]] bool Has(std::string_view s, std::string_view p) { return s.find(p) != s.npos; }
[[maybe_unused]] std::string Without(std::string text, const char* chars) {
  std::erase_if(text, [&](char c) { return std::strchr(chars, c) && c; });
  return text;
}
[[maybe_unused]] std::vector<std::string> Split(const std::string& text) {  // at each NUL
  std::vector<std::string> parts(1);
  for (char c : text) c ? parts.back() += c : parts.emplace_back(), void();
  return parts;
}

struct [[maybe_unused]] Head : HttpResponse {  // a 206 whose every header is the Content-Range
  std::string range;
  std::string StatusText() override { return "206"; }
  std::string HeaderText(const std::string&) override { return range; }
  std::size_t Read(char*, std::size_t) override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
#if defined(KELVARA_FUZZ_CONTENT_LENGTH)
  // Decimal digits only, and the number they write: never a wrapped one.
  const std::string text = in.ConsumeRemainingBytesAsString();
  const auto n = ParseContentLength(text);
  CHECK(n.has_value() ==
        (!text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == text.npos));
  const auto lead = text.find_first_not_of('0');
  CHECK(!n || std::to_string(*n) == (lead == text.npos ? "0" : text.substr(lead)));
#elif defined(KELVARA_FUZZ_CONTENT_RANGE)
  // A part is placed only where it goes on with the file, inside the whole it names: tried
  // for a file that ends at, or next to, each of the part's numbers.
  Head head;
  head.range = in.ConsumeRemainingBytesAsString();
  const auto r = ParseContentRange(head.range);
  std::vector<std::uint64_t> ats = {0, 1};
  if (r) {
    CHECK(r->first <= r->last && r->last < r->total);
    const auto same = ParseContentRange("bytes " + std::to_string(r->first) + "-" +
                                        std::to_string(r->last) + "/" + std::to_string(r->total));
    CHECK(same && same->first == r->first && same->last == r->last && same->total == r->total);
    for (std::uint64_t n : {r->first, r->last, r->last + 1, r->total})
      ats.insert(ats.end(), {n - (n > 0), n, n + 1});
  }
  for (const std::uint64_t at : ats)
    for (const auto expect : {std::optional<std::uint64_t>(), std::optional(r ? r->total : 1),
                              std::optional(r ? r->total + 1 : 0)}) {
      const auto place = PlaceRest(head, at, expect);
      if (place)
        CHECK(r && r->first <= at && at <= r->last + 1 && place->skip == at - r->first &&
              place->total == r->total && (!expect || *expect == r->total));
      else
        CHECK(!r || r->first > at || at > r->last + 1 || (expect && *expect != r->total));
    }
#elif defined(KELVARA_FUZZ_MIRROR_LIST)
  // Trimmed entries of the text as text mode reads it, never a "|"; written back, read the same.
  const std::string raw = in.ConsumeRemainingBytesAsString();
  std::string text;
  for (std::size_t i = 0; i < raw.size() && raw[i] != '\x1A'; ++i)
    if (raw[i] != '\r' || i + 1 == raw.size() || raw[i + 1] != '\n') text += raw[i];
  const MirrorTable t = ReadMirrorList(raw);
  CHECK(t.n >= 0 && t.n <= MIRROR_SLOTS);
  std::string joined;
  bool crlf = false;
  for (int i = 0; i < MIRROR_SLOTS; ++i) {
    const std::string& e = t.entries[static_cast<std::size_t>(i)];
    const std::string_view blanks(" \t\r\n");
    CHECK(i < t.n || e.empty());
    CHECK(!Has(e, "|") && Has(Without(text, "|"), e));
    CHECK(e.empty() || (blanks.find(e.front()) == e.npos && blanks.find(e.back()) == e.npos));
    if (i < t.n) joined += (i ? "|||" : "") + e, crlf = crlf || Has(e, "\r\n");
  }
  const auto bars = static_cast<int>(std::count(text.begin(), text.end(), '|'));
  CHECK(t.n == std::min(MIRROR_SLOTS, bars / 3 + (bars % 3 == 0)));  // a "|" ends every third
  const MirrorTable again = ReadMirrorList(joined);
  CHECK(crlf || t.n % MIRROR_SLOTS == 0 || (again.n == t.n && again.entries == t.entries));
#elif defined(KELVARA_FUZZ_DIGESTS)
  // Every line read or the first bad one named; what was read, written back, reads the same.
  // Lines near the format (the last name is none the wizard runs), then anything.
  static const char* const NAMES[] = {"NetFx40.exe", "unrar.dll", "ClientSetup.exe", "alive_tmp"};
  std::string text;
  long lines = 0, firstBad = 0;
  while (in.remaining_bytes() > 0 && in.ConsumeBool()) {
    const int digits = 64 + in.ConsumeIntegralInRange(-1, 1);  // two digits, repeated: few bytes
    const char hex[] = "0123456789abcdefABCDEF", a = hex[in.ConsumeIntegralInRange(0, 21)],
               b = hex[in.ConsumeIntegralInRange(0, 21)];
    for (int i = 0; i < digits; ++i) text += i % 2 ? a : b;
    const std::string gap = in.PickValueInArray({"  ", " *", " ", "\t "}),
                      name = in.PickValueInArray(NAMES),
                      end = in.PickValueInArray({"\n", "\r\n", "\n \t\n", "x\n"});
    text += gap + name + end, ++lines;
    if (!firstBad &&
        (digits != 64 || gap[0] != ' ' || gap.size() != 2 || name == NAMES[3] || end == "x\n"))
      firstBad = lines;
    lines += end == "\n \t\n";
  }
  text += in.ConsumeRemainingBytesAsString();
  const DigestList list = ParseDigestList(text);
  CHECK((list.badLine == 0) == list.error.empty());
  CHECK(firstBad ? list.badLine == firstBad : list.badLine == 0 || list.badLine > lines);
  CHECK(list.badLine >= 0 && list.badLine <= 1 + std::count(text.begin(), text.end(), '\n'));
  CHECK(list.badLine == 0 || list.digests.empty());
  for (const PinnedDigest& d : list.digests)
    CHECK(IsPinnableName(d.name) && d.sha256.size() == 64 &&
          d.sha256.find_first_not_of("0123456789abcdef") == d.sha256.npos);
  // A layout's manifest holds the same names: its reader agrees line for line, and round-trips.
  const DigestList layout = ParseLayoutManifest(text),
                   again = ParseLayoutManifest(WriteLayoutManifest(list.digests));
  CHECK(layout.badLine == list.badLine &&
        WriteLayoutManifest(layout.digests) == WriteLayoutManifest(list.digests));
  CHECK(again.badLine == 0 &&
        WriteLayoutManifest(again.digests) == WriteLayoutManifest(list.digests));
#elif defined(KELVARA_FUZZ_COMMAND_LINE)
  // Each switch asked for is seen wherever it stands; a path or bad argument is one as given.
  std::vector<std::string> args = Split(in.ConsumeRemainingBytesAsString());
  args.insert(args.begin(), "kelvara-setup.exe");
  const CommandLine c = ParseCommandLine(args);
  CHECK(c.privateMode == (args[1] == "private"));
  const auto flag = [](std::string_view a) { return a.size() > 1 && (a[0] == '/' || a[0] == '-'); };
  const auto is = [&](const std::string& arg, std::string name) {
    std::string lower = arg.substr(std::min<std::size_t>(arg.size(), 1));
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return flag(arg) && lower == name;
  };
  bool quiet = false, passive = false, help = false, path = c.logPath.empty(), bad = false;
  for (std::size_t i = c.privateMode ? 2 : 1; i < args.size(); ++i) {
    quiet = quiet || is(args[i], "quiet"), passive = passive || is(args[i], "passive");
    help = help || is(args[i], "?") || is(args[i], "help");
    path = path || (is(args[i - 1], "log") && args[i] == c.logPath && !flag(args[i]));
    bad = bad || args[i] == c.badArgument;
  }
  CHECK((c.mode == UiMode::Quiet) == quiet && (c.mode == UiMode::Passive) == (passive && !quiet));
  CHECK(c.help == help && path && (c.badArgument.empty() || bad));
  for (const char* known : {"quiet", "passive", "?", "help", "norestart"})
    CHECK(!is(c.badArgument, known));
#elif defined(KELVARA_FUZZ_LOG_MASK)
  // A password or a secret parameter's value, placed anywhere the rule promises to mask it.
  static const char* const PARTS[] = {"token", "sig",  "key",    "pass",
                                      "pwd",   "auth", "SECRET", "Credential"};
  const auto how = in.ConsumeIntegral<std::uint8_t>();
  const std::string scheme = Without(in.ConsumeRandomLengthString(8), ":/?#@") + "://";
  const std::string user = Without(in.ConsumeRandomLengthString(16), "/?#");
  const std::string host = Without(in.ConsumeRandomLengthString(16), "/?#@");
  const std::string path = Without(in.ConsumeRandomLengthString(16), "?#");
  const std::string name = Without(in.ConsumeRandomLengthString(8), "=&#") + PARTS[how % 8];
  const std::string query = Without(in.ConsumeRandomLengthString(16), "#");
  std::string secret = in.ConsumeRandomLengthString(16);
  const std::string rest = in.ConsumeRemainingBytesAsString();
  std::string before = scheme + user + ":", after = "@" + host + path + rest;
  if (how & 8) {
    secret = Without(secret, "&#");
    before = scheme + host + path + "?" + query + "&" + name + "=", after = "&" + rest;
  }
  const std::string masked = MaskCredentials(before + secret + after);
  if (!secret.empty() && !Has(secret, "*") && !Has(before, secret) && !Has(after, secret))
    CHECK(!Has(masked, secret));
  for (unsigned char ch : EscapeControls(masked)) CHECK(ch >= 0x20 && ch != 0x7F);
#elif defined(KELVARA_FUZZ_SERVERCHECK)
  const int which = in.ConsumeIntegralInRange(0, 2);
  if (which == 0) {  // its count of a list's entries is the core's reader's, uncapped
    const std::string raw = in.ConsumeRemainingBytesAsString();
    CHECK(ReadMirrorList(raw).n == std::min(UncappedEntryCount(raw), MIRROR_SLOTS));
  } else if (which == 1) {  // its options: hosts as the build takes them, a time-out, or why not
    std::vector<std::string> args = Split(in.ConsumeRemainingBytesAsString());
    if (args[0].empty()) {  // the three hosts given, so that the rest is read too
      args[0] = "--json";
      args.insert(args.begin(), {"--intranet=a", "--public", "b.c:1", "--download", "d"});
    }
    std::vector<char*> argv = {const_cast<char*>("kelvara-servercheck")};
    for (std::string& a : args) argv.push_back(a.data());
    try {
      const Options o = ParseOptions(static_cast<int>(argv.size()), argv.data());
      static const std::regex host("[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]+)?");
      for (const std::string& h : {o.hosts.intranetHost, o.hosts.publicHost, o.hosts.downloadHost})
        CHECK(h.empty() ? !o.layout.empty() : std::regex_match(h, host));  // none for a layout
      CHECK(o.timeout >= 1 && o.timeout <= 9999);
    } catch (const BadInput& bad) {
      CHECK(!bad.message.empty());
    }
  } else {  // an answer passes only when it is whole and as expected
    FetchResult r;
    r.status = in.PickValueInArray({0L, 200L, 206L, 404L, in.ConsumeIntegral<long>()});
    r.bodyCutShort = in.ConsumeBool(), r.timedOut = in.ConsumeBool();
    r.contentLengthText = in.ConsumeBool() ? std::to_string(in.ConsumeIntegral<std::uint32_t>())
                                           : in.ConsumeRandomLengthString(24);
    r.bodyBytes =
        ParseContentLength(r.contentLengthText).value_or(1) - in.ConsumeIntegralInRange(0, 2) + 1;
    r.error = in.ConsumeRandomLengthString(4), r.head = in.ConsumeRandomLengthString(3);
    r.sha256 = in.ConsumeRandomLengthString(3);
    const Expectation e = {in.ConsumeBool(), in.ConsumeIntegralInRange<std::uint64_t>(0, 9),
                           in.ConsumeRandomLengthString(3), ""};
    std::string found;
    if (Judge(r, e, found) == Verdict::Ok)
      CHECK(r.status == 200 && r.error.empty() && !r.bodyCutShort &&
            ParseContentLength(r.contentLengthText) == r.bodyBytes &&
            (!e.program || r.head == "MZ") && (!e.size || e.size == r.bodyBytes) &&
            (e.pinned.empty() || e.pinned == r.sha256));
  }
#elif defined(KELVARA_FUZZ_AUTHENTICODE)
  // The verdict and facts do not depend on how the body arrives: read whole, and cut where the
  // input's end says, into one-byte reads through the headers, and before the last byte.
  std::vector<std::uint64_t> cuts = {0, size, size - (size > 0)};
  for (int n = in.ConsumeIntegralInRange(1, 8); n > 0; --n)
    cuts.push_back(in.ConsumeIntegralInRange<std::size_t>(0, size));
  for (std::uint64_t at = 1; at < std::min<std::size_t>(size, 512); ++at) cuts.push_back(at);
  const auto read = [&](std::vector<std::uint64_t> at) {
    std::sort(at.begin(), at.end());
    AuthenticodeReader reader;
    for (std::size_t i = 1; i < at.size(); ++i)
      reader.Update(reinterpret_cast<const char*>(data) + at[i - 1], at[i] - at[i - 1]);
    const Authenticode r = reader.Finish();
    return std::make_tuple(r.state, r.problem, r.signerName, r.rootThumbprint, r.chainEnd);
  };
  CHECK(read(cuts) == read({0, size}));
#endif
  return 0;
}
