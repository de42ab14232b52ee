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
  decltype(&InternetOpenUrlW) openUrl;
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
        Find<decltype(&InternetOpenUrlW)>(module, "InternetOpenUrlW"),
        Find<decltype(&HttpQueryInfoW)>(module, "HttpQueryInfoW"),
        Find<decltype(&InternetReadFile)>(module, "InternetReadFile"),
        Find<decltype(&InternetCloseHandle)>(module, "InternetCloseHandle")};
    if (!found.open || !found.openUrl || !found.query || !found.read || !found.close)
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
  explicit WinInetResponse(HINTERNET request) : request_(request) {}

  std::string StatusText() override { return QueryText(HTTP_QUERY_STATUS_CODE); }
  std::string ContentLengthText() override { return QueryText(HTTP_QUERY_CONTENT_LENGTH); }

  std::size_t Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    if (!WinInet()->read(request_.get(), buffer, static_cast<DWORD>(size), &got))
      throw PlatformError("InternetReadFile failed");
    return got;
  }

 private:
  std::string QueryText(DWORD what) {
    wchar_t text[64] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    DWORD index = 0;
    if (!WinInet()->query(request_.get(), what, text, &bytes, &index)) return std::string();
    return Narrow(std::wstring(text, bytes / sizeof(wchar_t)));
  }

  InternetHandle request_;
};

class WinInetSession final : public HttpSession {
 public:
  explicit WinInetSession(HINTERNET session) : session_(session) {}

  std::unique_ptr<HttpResponse> OpenUrl(const std::string& url) override {
    // The transfer flag is an FTP mode; an HTTP body stays byte for byte.
    HINTERNET request = WinInet()->openUrl(session_.get(), Widen(url).c_str(), nullptr, 0,
                                           INTERNET_FLAG_TRANSFER_ASCII, 1);
    if (request == nullptr) return nullptr;
    return std::make_unique<WinInetResponse>(request);
  }

 private:
  InternetHandle session_;
};
}  // namespace

std::unique_ptr<HttpSession> WinInetClient::OpenSession() {
  if (WinInet() == nullptr) return nullptr;
  HINTERNET session =
      WinInet()->open(AppNameW().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session == nullptr) return nullptr;
  return std::make_unique<WinInetSession>(session);
}

}  // namespace kelvara
