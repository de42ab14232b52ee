// Drives the real wizard through its windows as a person would and writes
// down what it showed. Run under Wine by run_scenario.sh, once per scenario:
//   e2e_driver.exe OUT_DIR WIZARD_EXE HOOK_DLL [ACTION...] [-- WIZARD ARGS...]
// ACTION: welcome-cancel, esc-on=TEXT, cancel-on=TEXT (1.5 s after a status
// line holding TEXT), cancel-after-box=N, shot-on=TEXT, shot-welcome, unattended (no
// welcome: the progress dialog is looked for, shown or not), second-copy-on=TEXT
// (starts the wizard again, as the first; fact second_copy: its exit code, or "runs" after 5 s).
// OUT_DIR receives events.txt (LINE, BOX, ESC, CANCEL in order), facts.txt
// (key=value) and BMP pictures.   e2e_driver.exe trust ROOT.der...: adds the
// test roots to the machine's Root store.
#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {
std::wstring g_out, g_escOn, g_cancelOn, g_shotOn, g_secondOn;
std::wstring g_events, g_facts;
HANDLE g_process = nullptr;
HWND g_welcome = nullptr, g_progress = nullptr;
volatile LONG g_worstAnswerMs = 0;

void Event(const std::wstring& event) { g_events += event + L"\n"; }
void Fact(const char* key, const std::wstring& value) {
  g_facts += std::wstring(key, key + strlen(key)) + L"=" + value + L"\n";
}
void Fact(const char* key, long long value) { Fact(key, std::to_wstring(value)); }
bool Alive() { return WaitForSingleObject(g_process, 0) == WAIT_TIMEOUT; }
std::wstring Text(HWND window) {
  wchar_t text[4096] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), 0, 2000, &got);
  return text;
}
void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// A visible dialog of the wizard (or a hidden one too), other than the two it
// is known to have, that has the control.
int g_wantedControl = 0;
HWND g_found = nullptr;
bool g_hiddenToo = false, g_windowSeen = false;  // seen: any window of the wizard shown
BOOL CALLBACK MatchDialog(HWND w, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  g_windowSeen |= pid == GetProcessId(g_process) && IsWindowVisible(w);
  const bool match = pid == GetProcessId(g_process) && (g_hiddenToo || IsWindowVisible(w)) &&
                     w != g_welcome && w != g_progress && GetDlgItem(w, g_wantedControl) != nullptr;
  g_found = match ? w : g_found;
  return !match;
}
HWND FindDialog(int control, bool hiddenToo = false) {
  g_wantedControl = control, g_found = nullptr, g_hiddenToo = hiddenToo;
  EnumWindows(MatchDialog, 0);
  return g_found;
}

void Shot(HWND window, const wchar_t* name) {
  Sleep(400);  // let the controls repaint first
  RECT r{};
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top, stride = (w * 3 + 3) & ~3;
  if (w <= 0 || h <= 0) return;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  BITMAPINFOHEADER info{sizeof(info), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::string pixels(static_cast<size_t>(stride * h), '\0');
  GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(file) + sizeof(info)};
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  HANDLE out = CreateFileW((g_out + L"\\" + name + L".bmp").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
  DWORD done = 0;
  WriteFile(out, &file, sizeof(file), &done, nullptr);
  WriteFile(out, &info, sizeof(info), &done, nullptr);
  WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &done, nullptr);
  CloseHandle(out);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// How long the window thread takes to answer, all the way through.
DWORD WINAPI MeasureAnswers(void*) {
  for (; Alive(); Sleep(20)) {
    if (g_progress == nullptr) continue;
    const DWORD start = GetTickCount();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(g_progress, WM_NULL, 0, 0, 0, 10000, &result) && !IsWindow(g_progress))
      break;
    const LONG took = static_cast<LONG>(GetTickCount() - start);
    if (took > g_worstAnswerMs) InterlockedExchange(&g_worstAnswerMs, took);
  }
  return 0;
}

// The welcome text must fit its control in the dialog's font.
void CheckWelcome() {
  Fact("welcome_caption", Text(g_welcome));
  Fact("welcome_buttons",
       Text(GetDlgItem(g_welcome, IDOK)) + L"|" + Text(GetDlgItem(g_welcome, IDCANCEL)));
  for (HWND c = GetWindow(g_welcome, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    std::wstring text = Text(c);
    if (text.size() < 20) continue;
    RECT client{}, need{};
    GetClientRect(c, &client);
    need.right = client.right;
    HDC dc = GetDC(c);
    HFONT font = CreateFontW(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, 0, 0, 0, 0, 0,
                             0, 0, 0, 0, L"微软雅黑");
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    DeleteObject(SelectObject(dc, old)), ReleaseDC(c, dc);
    for (size_t i; (i = text.find(L"\r\n")) != std::wstring::npos;) text.replace(i, 2, L"\\n");
    Fact("welcome_text", text), Fact("welcome_fits", need.bottom <= client.bottom);
  }
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The machine's Root store as Wine keeps it: volatile registry keys, so the
  // entries go there directly (the store's own writes would be dropped).
  if (argc > 1 && std::wstring(argv[1]) == L"trust") {
    CertCloseStore(CertOpenSystemStoreW(0, L"Root"), 0);  // Wine fills the key first
    bool added = true;
    for (int i = 2; i < argc && added; ++i) {
      BYTE der[4096], blob[8192], hash[20];
      DWORD size = 0, blobSize = 0, hashSize = sizeof hash;
      HANDLE file = CreateFileW(argv[i], GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
      const bool read = ReadFile(file, der, sizeof der, &size, 0);
      CloseHandle(file);
      const CERT_CONTEXT* cert = CertCreateCertificateContext(X509_ASN_ENCODING, der, size);
      wchar_t key[128] = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
      added = read && cert && CertSerializeCertificateStoreElement(cert, 0, nullptr, &blobSize) &&
              blobSize <= sizeof blob &&
              CertSerializeCertificateStoreElement(cert, 0, blob, &blobSize) &&
              CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &hashSize);
      for (DWORD b = 0; added && b < hashSize; ++b)
        wsprintfW(key + lstrlenW(key), L"%02X", hash[b]);
      HKEY handle = nullptr;
      added = added &&
              !RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, 0, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                               0, &handle, 0) &&
              !RegSetValueExW(handle, L"Blob", 0, REG_BINARY, blob, blobSize);
      if (handle) RegCloseKey(handle);
      if (cert) CertFreeCertificateContext(cert);
    }
    return added ? 0 : 1;
  }
  g_out = argv[1];
  std::wstring commandLine = L"\"" + std::wstring(argv[2]) + L"\"";
  std::map<std::wstring, std::wstring> o;  // the actions: name, or name=value
  for (int i = 4; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (o.count(L"--"))
      commandLine += L" " + a;
    else
      o[a.substr(0, a.find(L'='))] = a.substr(a.find(L'=') + 1);
  }
  g_escOn = o[L"esc-on"], g_cancelOn = o[L"cancel-on"], g_shotOn = o[L"shot-on"];
  g_secondOn = o[L"second-copy-on"];
  const bool welcomeCancel = o.count(L"welcome-cancel"), shotWelcome = o.count(L"shot-welcome"),
             unattended = o.count(L"unattended");
  const int cancelAfterBox = _wtoi(o[L"cancel-after-box"].c_str());
  const std::wstring statusLog = g_out + L"\\status.log";
  SetEnvironmentVariableW(L"KELVARA_E2E_STATUS_LOG", statusLog.c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(argv[2], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return 2;
  g_process = info.hProcess;
  const DWORD started = GetTickCount();
  // Watchdogs only, stretched by the slowdown of an emulated machine.
  const wchar_t* scale = _wgetenv(L"KELVARA_TIME_SCALE");
  const double stretch = scale ? _wtof(scale) : 1;
  auto expired = [&](DWORD ms) { return GetTickCount() - started > ms * stretch; };
  while (!unattended && Alive() && !expired(30000) && !(g_welcome = FindDialog(IDOK))) Sleep(20);
  HWND first = nullptr;
  while (unattended && Alive() && !expired(30000) && !(first = FindDialog(1000, true))) Sleep(1);
  if (g_welcome == nullptr && !unattended) Fact("error", L"no welcome dialog");
  HMODULE hook = LoadLibraryW(argv[3]);
  if (g_welcome != nullptr || first != nullptr)
    SetWindowsHookExW(
        WH_CALLWNDPROC,
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(hook, "StatusHookProc"))),
        hook, GetWindowThreadProcessId(unattended ? first : g_welcome, nullptr));
  if (g_welcome != nullptr) CheckWelcome();
  if (shotWelcome) Shot(g_welcome, L"welcome");
  if (!unattended) Click(GetDlgItem(g_welcome, welcomeCancel ? IDCANCEL : IDOK));
  if (welcomeCancel) Event(L"WELCOME_CANCEL");
  CloseHandle(CreateThread(nullptr, 0, MeasureAnswers, nullptr, 0, nullptr));

  std::wstring lastLine;
  DWORD lastLineAt = 0, actionAt = 0;
  size_t statusRead = 0;
  int boxes = 0, barMax = -1, barSteps = 0;
  bool barShown = false, barHiddenAfter = false, marquee = false, shotTaken = false;
  // Every status line the hook wrote down since the last look.
  auto ReadLines = [&] {
    HANDLE log = CreateFileW(statusLog.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    std::string data(1 << 16, '\0');
    DWORD got = 0;
    if (log != INVALID_HANDLE_VALUE) {
      ReadFile(log, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
      CloseHandle(log);
    }
    for (size_t end; (end = data.find('\n', statusRead)) != std::string::npos && end < got;
         statusRead = end + 1) {
      std::wstring line(end - statusRead + 1, L'\0');
      line.resize(static_cast<size_t>(MultiByteToWideChar(
          CP_UTF8, 0, data.data() + statusRead, static_cast<int>(end - statusRead), line.data(),
          static_cast<int>(line.size()))));
      Event(L"LINE\t" + line);
      lastLine = line;
      lastLineAt = GetTickCount();
    }
  };
  while (Alive()) {
    if (expired(180000)) Fact("error", L"timeout"), TerminateProcess(g_process, 99);
    if (g_progress == nullptr && (g_progress = first ? first : FindDialog(1000)) != nullptr) {
      Fact("progress_caption", Text(g_progress));
      Fact("welcome_hidden", IsWindowVisible(g_welcome) ? 0 : 1);
    }
    ReadLines();
    if (g_progress != nullptr) {
      HWND bar = GetDlgItem(g_progress, 1002);
      const bool visible = IsWindowVisible(bar) != 0;
      DWORD_PTR pos = 0;
      SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, 0, 1000, &pos);
      if (visible && !barShown) Fact("figures", Text(GetDlgItem(g_progress, 1003)));
      marquee |= visible && (GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
      if (visible && static_cast<int>(pos) > barMax) barMax = static_cast<int>(pos), ++barSteps;
      barHiddenAfter |= barShown && !visible;
      barShown |= visible;
      if (!shotTaken && !g_shotOn.empty() && lastLine.find(g_shotOn) != std::wstring::npos &&
          GetTickCount() - lastLineAt > 600)
        shotTaken = true, Shot(g_progress, L"progress");
    }
    if (HWND box = FindDialog(0xFFFF)) {
      Sleep(50);  // the box fills its controls right after it shows
      ReadLines();
      Event(L"BOX\t" + Text(GetDlgItem(box, 0xFFFF)));
      // One OK button: none of the others a box may have.
      int others = 0;
      for (int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        others += GetDlgItem(box, id) != nullptr;
      Fact("box", Text(box) + (others || !GetDlgItem(box, IDOK) ? L"|buttons" : L"|1") +
                      (GetWindow(box, GW_OWNER) == g_progress ? L"|owned" : L"|not owned"));
      Click(GetDlgItem(box, IDOK) ? GetDlgItem(box, IDOK) : GetDlgItem(box, IDCANCEL));
      while (IsWindow(box) && IsWindowVisible(box)) Sleep(10);
      if (++boxes == cancelAfterBox) {
        Sleep(1500);
        Fact("halt", (Alive() && IsWindowVisible(g_progress) ? std::wstring(L"stays") : L"gone") +
                         (IsWindowEnabled(GetDlgItem(g_progress, 1001)) ? L", cancel" : L""));
        g_cancelOn = lastLine, lastLineAt = 0;
      }
    }
    if (!g_secondOn.empty() && lastLine.find(g_secondOn) != std::wstring::npos) {
      g_secondOn.clear();
      std::wstring again = commandLine;  // with the first copy's arguments
      PROCESS_INFORMATION second{};
      if (CreateProcessW(argv[2], again.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &second)) {
        DWORD code = 0;
        const bool ended = WaitForSingleObject(second.hProcess, 5000) == WAIT_OBJECT_0;
        GetExitCodeProcess(second.hProcess, &code);
        Fact("second_copy", ended ? std::to_wstring(code) : L"runs");
        if (!ended) TerminateProcess(second.hProcess, 98);
      }
    }
    const std::wstring& trigger = g_escOn.empty() ? g_cancelOn : g_escOn;
    if (actionAt == 0 && !trigger.empty() && lastLine.find(trigger) != std::wstring::npos &&
        GetTickCount() - lastLineAt > 1500) {
      actionAt = GetTickCount();
      Event(g_escOn.empty() ? L"CANCEL" : L"ESC");
      if (g_escOn.empty()) Click(GetDlgItem(g_progress, 1001));
      if (!g_escOn.empty()) PostMessageW(g_progress, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }
    Sleep(5);
  }
  ReadLines();
  DWORD code = 0;
  GetExitCodeProcess(g_process, &code);
  Fact("exit", static_cast<long long>(code));
  if (actionAt != 0)
    Fact("exit_after_action_ms", static_cast<long long>(GetTickCount() - actionAt));
  Fact("answer_worst_ms", g_worstAnswerMs);
  Fact("windows", g_windowSeen ? L"seen" : L"none");
  Fact("bar", std::wstring(barShown ? L"shown" : L"never shown") + (marquee ? L", marquee" : L"") +
                  (barMax == 1000 ? L", end" : L"") + (barSteps >= 3 ? L", rose" : L"") +
                  (barHiddenAfter ? L", hidden" : L""));
  for (auto [name, text] : {std::pair{L"events.txt", &g_events}, {L"facts.txt", &g_facts}}) {
    std::string utf8(text->size() * 3 + 1, '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text->c_str(), -1, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, nullptr);
    HANDLE file = CreateFileW((g_out + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(n > 0 ? n - 1 : 0), &written, nullptr);
    CloseHandle(file);
  }
  return 0;
}
