// Drives the real wizard through its windows as a person would and writes down what it showed,
// once per scenario: e2e_driver.exe OUT_DIR WIZARD_EXE HOOK_DLL [ACTION...] [-- WIZARD ARGS...]
// ACTION: welcome-cancel, esc-on=TEXT, cancel-on=TEXT (1.5 s after a status line holding TEXT),
// cancel-after-box=N, shot-on=TEXT, shot-welcome, unattended (no welcome: the progress dialog is
// looked for, shown or not), second-copy-on=TEXT (the wizard started again, as the first; fact
// second_copy: its exit code, or "runs" after 5 s, scaled). OUT_DIR receives events.txt (LINE, BOX,
// ESC, CANCEL in order), facts.txt (key=value), pictures (NAME.WIDTHxHEIGHT.bgra), all UTF-8.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {
using std::string;
string g_out, g_events, g_facts;
HANDLE g_process = nullptr;
HWND g_welcome = nullptr, g_progress = nullptr;
volatile LONG g_worstAnswerMs = 0;

string Utf8(const std::wstring& text) {
  string utf8(text.size() * 3, '\0');
  utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                                      static_cast<int>(text.size()), utf8.data(),
                                                      static_cast<int>(utf8.size()), 0, 0)));
  return utf8;
}
void Fact(const string& key, const string& value) { g_facts += key + "=" + value + "\n"; }
bool Alive() { return WaitForSingleObject(g_process, 0) == WAIT_TIMEOUT; }
string Text(HWND window) {
  wchar_t text[4096] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), 0, 2000, &got);
  return Utf8(text);
}
void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
HANDLE Start(const wchar_t* program, std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const BOOL ok = CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &info);
  return ok ? info.hProcess : nullptr;
}
// Through the system, not a stream: the streams' locale code would triple the program, and in
// the emulated machine a large image read over its 9p share comes back with zeros.
void Save(const string& name, const string& data) {
  HANDLE file = CreateFileA((g_out + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            0, nullptr);
  DWORD written = 0;
  WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(file);
}

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

void Shot(HWND window, const string& name) {
  Sleep(400);  // let the controls repaint first
  RECT r{};
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  BITMAPINFOHEADER info{sizeof(info), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};  // rows top down
  string pixels(static_cast<size_t>(w * h * 4), '\0');
  GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  Save(name + "." + std::to_string(w) + "x" + std::to_string(h) + ".bgra", pixels);
  DeleteObject(bitmap), DeleteDC(memory), ReleaseDC(nullptr, screen);
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
       Text(GetDlgItem(g_welcome, IDOK)) + "|" + Text(GetDlgItem(g_welcome, IDCANCEL)));
  for (HWND c = GetWindow(g_welcome, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t text[4096] = {};
    if (GetWindowTextW(c, text, 4096) < 20) continue;
    RECT client{}, need{};
    GetClientRect(c, &client);
    need.right = client.right;
    HDC dc = GetDC(c);
    HFONT font = CreateFontW(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, 0, 0, 0, 0, 0,
                             0, 0, 0, 0, L"微软雅黑");
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    DeleteObject(SelectObject(dc, old)), ReleaseDC(c, dc);
    string shown = Utf8(text);
    for (size_t i; (i = shown.find("\r\n")) != string::npos;) shown.replace(i, 2, "\\n");
    Fact("welcome_text", shown), Fact("welcome_fits", need.bottom <= client.bottom ? "1" : "0");
  }
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  g_out = Utf8(argv[1]);
  std::wstring commandLine = L"\"" + std::wstring(argv[2]) + L"\"";
  std::map<string, string> o;  // the actions: name, or name=value
  for (int i = 4; i < argc; ++i) {
    const string a = Utf8(argv[i]);
    if (o.count("--"))
      commandLine += L" " + std::wstring(argv[i]);
    else
      o[a.substr(0, a.find('='))] = a.substr(a.find('=') + 1);
  }
  string escOn = o["esc-on"], cancelOn = o["cancel-on"], shotOn = o["shot-on"],
         secondOn = o["second-copy-on"];
  const bool unattended = o.count("unattended");
  const int cancelAfterBox = atoi(o["cancel-after-box"].c_str());
  const string statusLog = g_out + "\\status.log";
  SetEnvironmentVariableA("KELVARA_E2E_STATUS_LOG", statusLog.c_str());
  for (const char* name : {"TMP", "TEMP"})  // temp=FOLDER: as a deployment tool's SYSTEM has it
    if (o.count("temp")) SetEnvironmentVariableA(name, o["temp"].c_str());
  if ((g_process = Start(argv[2], commandLine)) == nullptr) return 2;
  const DWORD started = GetTickCount();
  // Watchdogs only, stretched by the slowdown of an emulated machine.
  const wchar_t* scale = _wgetenv(L"KELVARA_TIME_SCALE");
  const double stretch = scale ? _wtof(scale) : 1;
  auto expired = [&](DWORD ms) { return GetTickCount() - started > ms * stretch; };
  while (!unattended && Alive() && !expired(30000) && !(g_welcome = FindDialog(IDOK))) Sleep(20);
  HWND first = nullptr;
  while (unattended && Alive() && !expired(30000) && !(first = FindDialog(1000, true))) Sleep(1);
  if (g_welcome == nullptr && !unattended) Fact("error", "no welcome dialog");
  HMODULE hook = LoadLibraryW(argv[3]);
  if (g_welcome != nullptr || first != nullptr)
    SetWindowsHookExW(
        WH_CALLWNDPROC,
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(hook, "StatusHookProc"))),
        hook, GetWindowThreadProcessId(unattended ? first : g_welcome, nullptr));
  if (g_welcome != nullptr) CheckWelcome();
  if (o.count("shot-welcome")) Shot(g_welcome, "welcome");
  if (!unattended) Click(GetDlgItem(g_welcome, o.count("welcome-cancel") ? IDCANCEL : IDOK));
  if (o.count("welcome-cancel")) g_events += "WELCOME_CANCEL\n";
  CloseHandle(CreateThread(nullptr, 0, MeasureAnswers, nullptr, 0, nullptr));

  string lastLine;
  DWORD lastLineAt = 0, actionAt = 0;
  size_t statusRead = 0;
  int boxes = 0, barMax = -1, barSteps = 0;
  bool barShown = false, barHiddenAfter = false, marquee = false, shotTaken = false;
  // Every status line the hook wrote down since the last look.
  auto ReadLines = [&] {
    HANDLE log = CreateFileA(statusLog.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    string data(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(log, data.data(), static_cast<DWORD>(data.size()), &got, nullptr), CloseHandle(log);
    for (size_t end; (end = data.find('\n', statusRead)) < got; statusRead = end + 1) {
      lastLine = data.substr(statusRead, end - statusRead), lastLineAt = GetTickCount();
      g_events += "LINE\t" + lastLine + "\n";
    }
  };
  while (Alive()) {
    if (expired(180000)) Fact("error", "timeout"), TerminateProcess(g_process, 99);
    if (g_progress == nullptr && (g_progress = first ? first : FindDialog(1000)) != nullptr) {
      Fact("progress_caption", Text(g_progress));
      Fact("welcome_hidden", IsWindowVisible(g_welcome) ? "0" : "1");
    }
    ReadLines();
    if (g_progress != nullptr) {
      HWND bar = GetDlgItem(g_progress, 1002);
      const bool visible = IsWindowVisible(bar) != 0;
      DWORD_PTR pos = 0;
      SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, 0, 1000, &pos);
      marquee |= visible && (GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
      if (visible && static_cast<int>(pos) > barMax) barMax = static_cast<int>(pos), ++barSteps;
      barHiddenAfter |= barShown && !visible;
      barShown |= visible;
      if (!shotTaken && !shotOn.empty() && lastLine.find(shotOn) != string::npos &&
          GetTickCount() - lastLineAt > 600)
        shotTaken = true, Shot(g_progress, "progress");
    }
    if (HWND box = FindDialog(0xFFFF)) {
      Sleep(50);  // the box fills its controls right after it shows
      ReadLines();
      g_events += "BOX\t" + Text(GetDlgItem(box, 0xFFFF)) + "\n";
      // One OK button: none of the others a box may have.
      int others = 0;
      for (int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        others += GetDlgItem(box, id) != nullptr;
      Fact("box", Text(box) + (others || !GetDlgItem(box, IDOK) ? "|buttons" : "|1") +
                      (GetWindow(box, GW_OWNER) == g_progress ? "|owned" : "|not owned"));
      Click(GetDlgItem(box, IDOK) ? GetDlgItem(box, IDOK) : GetDlgItem(box, IDCANCEL));
      while (IsWindow(box) && IsWindowVisible(box)) Sleep(10);
      if (++boxes == cancelAfterBox) {
        Sleep(1500);
        Fact("halt", string(Alive() && IsWindowVisible(g_progress) ? "stays" : "gone") +
                         (IsWindowEnabled(GetDlgItem(g_progress, 1001)) ? ", cancel" : ""));
        cancelOn = lastLine, lastLineAt = 0;
      }
    }
    if (!secondOn.empty() && lastLine.find(secondOn) != string::npos) {
      secondOn.clear();
      HANDLE second = Start(argv[2], commandLine);  // with the first copy's arguments
      DWORD code = 0;
      const bool ended =
          WaitForSingleObject(second, static_cast<DWORD>(5000 * stretch)) == WAIT_OBJECT_0;
      GetExitCodeProcess(second, &code), TerminateProcess(second, 98);
      Fact("second_copy", ended ? std::to_string(code) : "runs");
    }
    const string& trigger = escOn.empty() ? cancelOn : escOn;
    if (actionAt == 0 && !trigger.empty() && lastLine.find(trigger) != string::npos &&
        GetTickCount() - lastLineAt > 1500) {
      actionAt = GetTickCount();
      g_events += escOn.empty() ? "CANCEL\n" : "ESC\n";
      escOn.empty() ? Click(GetDlgItem(g_progress, 1001))
                    : (void)PostMessageW(g_progress, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }
    Sleep(5);
  }
  ReadLines();
  DWORD code = 0;
  GetExitCodeProcess(g_process, &code);
  Fact("exit", std::to_string(code));
  if (actionAt != 0) Fact("exit_after_action_ms", std::to_string(GetTickCount() - actionAt));
  Fact("answer_worst_ms", std::to_string(g_worstAnswerMs));
  Fact("windows", g_windowSeen ? "seen" : "none");
  Fact("bar", string(barShown ? "shown" : "never shown") + (marquee ? ", marquee" : "") +
                  (barMax == 1000 ? ", end" : "") + (barSteps >= 3 ? ", rose" : "") +
                  (barHiddenAfter ? ", hidden" : ""));
  Save("events.txt", g_events), Save("facts.txt", g_facts);
  return 0;
}
