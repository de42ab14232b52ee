#include "fetch/win32/wininet_client.h"

#include <windows.h>
#include <wininet.h>

#include "app/win32/library_search.h"
#include "app/win32/text.h"

namespace kelvara {

namespace {
// Loaded by its full path in the system folder: a static import would be
// looked for first beside the program, where anything may lie, and Windows
// no longer counts WinInet among the libraries it always takes from there.
struct WinInetCalls {
  decltype(&InternetOpenW) open;
  decltype(&InternetCrackUrlW) crack;
  decltype(&InternetConnectW) connect;
  decltype(&InternetSetOptionW) setOption;
  decltype(&HttpOpenRequestW) openRequest;
  decltype(&HttpSendRequestW) send;
  decltype(&HttpQueryInfoW) query;
  decltype(&InternetReadFile) read;
  decltype(&InternetCloseHandle) close;
};

template <typename Call>
Call Find(HMODULE module, const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const WinInetCalls* WinInet() {
  static const WinInetCalls* calls = []() -> const WinInetCalls* {
    HMODULE module = LoadSystemLibrary(L"wininet.dll");
    if (module == nullptr) return nullptr;
    const WinInetCalls found = {
        Find<decltype(&InternetOpenW)>(module, "InternetOpenW"),
        Find<decltype(&InternetCrackUrlW)>(module, "InternetCrackUrlW"),
        Find<decltype(&InternetConnectW)>(module, "InternetConnectW"),
        Find<decltype(&InternetSetOptionW)>(module, "InternetSetOptionW"),
        Find<decltype(&HttpOpenRequestW)>(module, "HttpOpenRequestW"),
        Find<decltype(&HttpSendRequestW)>(module, "HttpSendRequestW"),
        Find<decltype(&HttpQueryInfoW)>(module, "HttpQueryInfoW"),
        Find<decltype(&InternetReadFile)>(module, "InternetReadFile"),
        Find<decltype(&InternetCloseHandle)>(module, "InternetCloseHandle")};
    if (!found.open || !found.crack || !found.connect || !found.setOption || !found.openRequest ||
        !found.send || !found.query || !found.read || !found.close)
      return nullptr;
    return new WinInetCalls(found);  // the library stays loaded for the process's life
  }();
  return calls;
}

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() {
    if (handle_ != nullptr) WinInet()->close(handle_);
  }
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

class WinInetResponse final : public HttpResponse {
 public:
  // The request is closed before its connection.
  WinInetResponse(HINTERNET connection, HINTERNET request, DWORD stallMs)
      : connection_(connection), request_(request), stallMs_(stallMs) {}

  std::string StatusText() override { return QueryText(HTTP_QUERY_STATUS_CODE, L""); }
  std::string HeaderText(const std::string& name) override {
    return QueryText(HTTP_QUERY_CUSTOM, Widen(name));
  }

  std::size_t Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    const DWORD start = GetTickCount();
    if (WinInet()->read(request_.get(), buffer, static_cast<DWORD>(size), &got)) return got;
    // The error number a time-out leaves differs between Windows and Wine; the wait does not.
    const DWORD error = GetLastError(), waited = GetTickCount() - start;
    throw PlatformError((waited >= stallMs_ ? "stalled, no byte for " : "read failed after ") +
                        std::to_string(waited) + " ms, error " + std::to_string(error));
  }

 private:
  // The custom query takes the header's name in the buffer and returns its value there.
  std::string QueryText(DWORD what, const std::wstring& name) {
    wchar_t text[512] = {};
    if (name.size() >= 512) return std::string();
    name.copy(text, name.size());
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    DWORD index = 0;
    if (!WinInet()->query(request_.get(), what, text, &bytes, &index)) return std::string();
    return Narrow(std::wstring(text, bytes / sizeof(wchar_t)));
  }

  InternetHandle connection_;
  InternetHandle request_;
  DWORD stallMs_;
};

// An address in its parts, as given: no decoding, the path's "//" kept.
struct UrlParts {
  std::wstring host, user, password, path;
  INTERNET_PORT port = 0;
  bool secure = false;
};

bool CrackUrl(const std::wstring& url, UrlParts* parts) {
  URL_COMPONENTSW c{};
  c.dwStructSize = sizeof(c);
  c.dwSchemeLength = c.dwHostNameLength = c.dwUserNameLength = c.dwPasswordLength = 1;
  c.dwUrlPathLength = c.dwExtraInfoLength = 1;
  if (url.empty() || !WinInet()->crack(url.c_str(), static_cast<DWORD>(url.size()), 0, &c))
    return false;
  if (c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) return false;
  const auto part = [](const wchar_t* at, DWORD length) {
    return at != nullptr ? std::wstring(at, length) : std::wstring();
  };
  parts->host = part(c.lpszHostName, c.dwHostNameLength);
  parts->user = part(c.lpszUserName, c.dwUserNameLength);
  parts->password = part(c.lpszPassword, c.dwPasswordLength);
  parts->path = part(c.lpszUrlPath, c.dwUrlPathLength) + part(c.lpszExtraInfo, c.dwExtraInfoLength);
  if (parts->path.empty()) parts->path = L"/";
  parts->port = c.nPort;
  parts->secure = c.nScheme == INTERNET_SCHEME_HTTPS;
  return !parts->host.empty();
}

class WinInetSession final : public HttpSession {
 public:
  WinInetSession(HINTERNET session, DWORD stallMs) : session_(session), stallMs_(stallMs) {}

  std::unique_ptr<HttpResponse> OpenUrl(const std::string& url,
                                        const std::string& headers) override {
    UrlParts parts;
    if (!CrackUrl(Widen(url), &parts)) return nullptr;
    HINTERNET connection = WinInet()->connect(
        session_.get(), parts.host.c_str(), parts.port,
        parts.user.empty() ? nullptr : parts.user.c_str(),
        parts.password.empty() ? nullptr : parts.password.c_str(), INTERNET_SERVICE_HTTP, 0, 1);
    if (connection == nullptr) return nullptr;
    // Set here, before the send: Wine ignores it on the session and once a
    // request is sent, and without it a silent body is waited on for ever.
    DWORD stall = stallMs_;
    (void)stall;
    // Never from the cache: a replaced program must not be answered by an
    // older copy, nor a range by a partial one; nor kept there a second time.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_KEEP_CONNECTION | (parts.secure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request = WinInet()->openRequest(connection, L"GET", parts.path.c_str(), nullptr,
                                               nullptr, nullptr, flags, 1);
    auto response = std::make_unique<WinInetResponse>(connection, request, stallMs_);
    if (request == nullptr) return nullptr;
    const std::wstring extra = Widen(headers);
    if (!WinInet()->send(request, extra.empty() ? nullptr : extra.c_str(),
                         static_cast<DWORD>(extra.size()), nullptr, 0))
      return nullptr;
    return response;
  }

 private:
  InternetHandle session_;
  DWORD stallMs_;
};
}  // namespace

std::unique_ptr<HttpSession> WinInetClient::OpenSession(unsigned stallMs) {
  if (WinInet() == nullptr) return nullptr;
  HINTERNET session =
      WinInet()->open(AppNameW().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session == nullptr) return nullptr;
  return std::make_unique<WinInetSession>(session, stallMs);
}

void WinInetClient::Pause(unsigned ms) { Sleep(ms); }

}  // namespace kelvara
