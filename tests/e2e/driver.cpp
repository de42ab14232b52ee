// Drives the real wizard through its windows as a person would, and writes
// down what it showed. Run under Wine by run_e2e.sh, once per scenario.
//
//   e2e_driver.exe --exe PATH --out DIR --hook DLL [options] [-- ARGS...]
//     --welcome-cancel     press "取消" on the welcome dialog instead of "开始"
//     --cancel-after-box N after closing box N, check the window stays, then Cancel
//     --esc-on TEXT        press Esc ACTION_DELAY ms after a status line holding TEXT
//     --cancel-on TEXT     click Cancel ACTION_DELAY ms after such a line
//     --action-delay MS    (default 1500)
//     --shot-on TEXT       save the progress dialog when such a line shows
//     --shot-box           save the screen at the first message box
//     --latency            time WM_GETTEXT to the status line all the way through
//     --no-hook            read the status line by polling only
//     --timeout S          give up after S seconds (default 120)
//     --winedebug CHANNELS the wizard's WINEDEBUG (Wine writes its trace to the
//                          driver's stderr)
//
// DIR receives events.txt (LINE/BOX/ESC/CANCEL in the order they happened),
// result.txt (key=value facts), status.log (the hook's raw record),
// product-output.log (the wizard's stdout and stderr) and BMP screenshots.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/text.h"
#include "ui_driver.h"

namespace {
constexpr int IDC_STATUS = 1000;
constexpr int IDC_CANCEL_INSTALL = 1001;
constexpr int MSGBOX_TEXT_ID = 0xFFFF;

struct Options {
  std::wstring exe;
  std::wstring out;
  std::wstring hook;
  std::vector<std::wstring> args;
  bool welcomeCancel = false;
  int cancelAfterBox = 0;
  std::wstring escOn;
  std::wstring cancelOn;
  int actionDelayMs = 1500;
  std::wstring shotOn;
  bool shotBox = false;
  bool latency = false;
  bool noHook = false;
  int timeoutS = 120;
  std::wstring wineDebug;
};

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

std::vector<HWND> TopDialogsOf(DWORD pid) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{pid, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == s->pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770")
          s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Clicks as the button itself would report it; posted, so that a wizard
// which exits inside the click never leaves the driver waiting.
void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

class Driver {
 public:
  explicit Driver(Options options) : o_(std::move(options)) {}

  int Run() {
    const double started = NowMs();
    if (!Launch()) return Finish(2);
    if (!WaitWelcome()) return Finish(3);
    if (!o_.noHook) InstallHook();
    if (o_.welcomeCancel) {
      Click(GetDlgItem(welcome_, IDCANCEL));
      actionAt_ = NowMs();
      Event("WELCOME_CANCEL");
      WaitExit(10000);
      return Finish(0);
    }
    Click(GetDlgItem(welcome_, IDOK));
    if (!WaitProgress()) return Finish(4);
    ChooseStatusSource();
    if (o_.latency) latencyThread_ = std::thread([this] { MeasureLatency(); });
    Loop(started);
    return Finish(0);
  }

 private:
  bool Launch() {
    const std::wstring statusLog = o_.out + L"\\status.log";
    DeleteFileW(statusLog.c_str());
    SetEnvironmentVariableW(L"KELVARA_E2E_STATUS_LOG", statusLog.c_str());
    // Wine builds the wizard's Unix environment from this one, so its trace
    // channels can be chosen here; the trace goes to this driver's stderr.
    if (!o_.wineDebug.empty()) SetEnvironmentVariableW(L"WINEDEBUG", o_.wineDebug.c_str());
    std::wstring commandLine = L"\"" + o_.exe + L"\"";
    for (const auto& arg : o_.args) commandLine += L" " + arg;
    Fact("command_line", commandLine);
    // The wizard writes to files, never to the caller's pipe: a shell that
    // reads the runner's output to its end would otherwise wait for every
    // program the wizard leaves running.
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    const std::wstring outputPath = o_.out + L"\\product-output.log";
    HANDLE output =
        CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                    CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    const BOOL ok = CreateProcessW(o_.exe.c_str(), writable.data(), nullptr, nullptr, TRUE, 0,
                                   nullptr, nullptr, &startup, &process_);
    CloseHandle(input);
    CloseHandle(output);
    if (!ok) {
      Fact("error", L"CreateProcess failed " + std::to_wstring(GetLastError()));
      return false;
    }
    return true;
  }

  bool Alive() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

  bool WaitWelcome() {
    const double until = NowMs() + 30000;
    while (NowMs() < until && Alive()) {
      for (HWND hwnd : TopDialogsOf(process_.dwProcessId)) {
        if (GetDlgItem(hwnd, IDOK) != nullptr && GetDlgItem(hwnd, IDC_STATUS) == nullptr) {
          welcome_ = hwnd;
          Fact("welcome_caption", ui::Text(hwnd));
          Fact("welcome_ok", ui::Text(GetDlgItem(hwnd, IDOK)));
          Fact("welcome_cancel", ui::Text(GetDlgItem(hwnd, IDCANCEL)));
          return true;
        }
      }
      Sleep(20);
    }
    Fact("error", L"no welcome dialog");
    return false;
  }

  void InstallHook() {
    HMODULE module = LoadLibraryW(o_.hook.c_str());
    // Through void*: FARPROC and HOOKPROC differ in their parameters.
    auto proc = module ? reinterpret_cast<HOOKPROC>(
                             reinterpret_cast<void*>(GetProcAddress(module, "StatusHookProc")))
                       : nullptr;
    const DWORD thread = GetWindowThreadProcessId(welcome_, nullptr);
    HHOOK hook = proc ? SetWindowsHookExW(WH_CALLWNDPROC, proc, module, thread) : nullptr;
    Fact("hook_installed", hook != nullptr ? L"1" : L"0");
  }

  bool WaitProgress() {
    const double until = NowMs() + 15000;
    while (NowMs() < until && Alive()) {
      for (HWND hwnd : TopDialogsOf(process_.dwProcessId)) {
        if (GetDlgItem(hwnd, IDC_STATUS) != nullptr && GetDlgItem(hwnd, IDC_CANCEL_INSTALL)) {
          progress_ = hwnd;
          status_ = GetDlgItem(hwnd, IDC_STATUS);
          Fact("progress_caption", ui::Text(hwnd));
          Fact("progress_cancel", ui::Text(GetDlgItem(hwnd, IDC_CANCEL_INSTALL)));
          Fact("welcome_hidden_at_progress", IsWindowVisible(welcome_) ? L"0" : L"1");
          return true;
        }
      }
      Sleep(5);
    }
    Fact("error", L"no progress dialog");
    return false;
  }

  // The hook has seen the first line by the time the dialog shows, since the
  // dialog sets it while it initialises. Without it, polling takes over and
  // may miss a line that lives shorter than one poll.
  void ChooseStatusSource() {
    const double until = NowMs() + 500;
    while (!o_.noHook && hookLines_.empty() && NowMs() < until) {
      ReadHookLog();
      Sleep(10);
    }
    hookWorks_ = !hookLines_.empty();
    if (!hookWorks_) PollStatus();
  }

  // New status lines: from the hook's record, or else from polling.
  void CatchUp() {
    if (!hookWorks_) {
      PollStatus();
      return;
    }
    ReadHookLog();
    while (hookUsed_ < hookLines_.size()) Line(hookLines_[hookUsed_++]);
  }

  void ReadHookLog() {
    HANDLE file = CreateFileW((o_.out + L"\\status.log").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    if (size.QuadPart > hookOffset_) {
      std::string data(static_cast<std::size_t>(size.QuadPart - hookOffset_), '\0');
      LARGE_INTEGER at{};
      at.QuadPart = hookOffset_;
      SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
      DWORD got = 0;
      ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
      data.resize(got);
      std::size_t start = 0;
      for (std::size_t end; (end = data.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = data.substr(start, end - start);
        const auto tab = line.find('\t');
        hookLines_.push_back(Widen(tab == std::string::npos ? line : line.substr(tab + 1)));
      }
      hookOffset_ += static_cast<long long>(start);
    }
    CloseHandle(file);
  }

  void PollStatus() {
    std::wstring text;
    if (!ui::ReadText(status_, &text, 1000)) return;
    if (text != polled_) {
      polled_ = text;
      Line(text);
    }
  }

  void Line(const std::wstring& text) {
    Event(L"LINE\t" + text);
    lastLine_ = text;
    lastLineAt_ = NowMs();
    if (!o_.shotOn.empty() && !shotLineTaken_ && text.find(o_.shotOn) != std::wstring::npos) {
      Sleep(400);  // let the static repaint before the picture
      RECT rect{};
      GetWindowRect(progress_, &rect);
      shotLineTaken_ = ui::SaveScreenRect(rect, o_.out + L"\\status.bmp");
    }
  }

  HWND FindBox() {
    for (HWND hwnd : TopDialogsOf(process_.dwProcessId))
      if (hwnd != progress_ && hwnd != welcome_) return hwnd;
    return nullptr;
  }

  void HandleBox(HWND box) {
    CatchUp();
    Sleep(50);  // the box fills its controls right after it shows
    const std::wstring text = ui::Text(GetDlgItem(box, MSGBOX_TEXT_ID));
    std::vector<HWND> buttons;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      if (ClassOf(child) == L"Button" && IsWindowVisible(child)) buttons.push_back(child);
    Event(L"BOX\t" + text);
    ++boxes_;
    const std::wstring n = std::to_wstring(boxes_);
    Fact(L"box" + n + L"_caption", ui::Text(box));
    Fact(L"box" + n + L"_buttons", std::to_wstring(buttons.size()));
    Fact(L"box" + n + L"_owner_is_progress", GetWindow(box, GW_OWNER) == progress_ ? L"1" : L"0");
    if (!buttons.empty()) {
      Fact(L"box" + n + L"_button_id", std::to_wstring(GetDlgCtrlID(buttons[0])));
      Fact(L"box" + n + L"_button_text", ui::Text(buttons[0]));
    }
    if (o_.shotBox && boxes_ == 1) {
      Sleep(300);
      RECT a{};
      RECT b{};
      GetWindowRect(progress_, &a);
      GetWindowRect(box, &b);
      RECT both{};
      UnionRect(&both, &a, &b);
      ui::SaveScreenRect(both, o_.out + L"\\box.bmp");
    }
    if (!buttons.empty()) Click(buttons[0]);
    const double until = NowMs() + 5000;
    while (IsWindow(box) && IsWindowVisible(box) && NowMs() < until) Sleep(10);
    if (boxes_ == o_.cancelAfterBox) Halted();
  }

  // After a halting box the window must stay, quiet, until Cancel is used.
  void Halted() {
    const double until = NowMs() + 1500;
    while (NowMs() < until) {
      CatchUp();
      Sleep(20);
    }
    HWND cancel = GetDlgItem(progress_, IDC_CANCEL_INSTALL);
    Fact("halt_alive", Alive() && IsWindowVisible(progress_) ? L"1" : L"0");
    Fact("halt_cancel_enabled", IsWindowEnabled(cancel) ? L"1" : L"0");
    Click(cancel);
    actionAt_ = NowMs();
    Event("CANCEL");
  }

  void Loop(double started) {
    bool actionDone = false;
    while (Alive()) {
      if (NowMs() - started > o_.timeoutS * 1000.0) {
        Fact("error", L"timeout; the wizard was ended by the driver");
        CatchUp();
        TerminateProcess(process_.hProcess, 0xDEAD);
        break;
      }
      CatchUp();
      if (HWND box = FindBox()) {
        HandleBox(box);
        continue;
      }
      if (!actionDone && actionAt_ == 0) {
        const std::wstring& trigger = !o_.escOn.empty() ? o_.escOn : o_.cancelOn;
        if (!trigger.empty() && lastLine_.find(trigger) != std::wstring::npos &&
            NowMs() - lastLineAt_ >= o_.actionDelayMs) {
          actionDone = true;
          actionAt_ = NowMs();
          if (!o_.escOn.empty()) {
            PostMessageW(progress_, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageW(progress_, WM_KEYUP, VK_ESCAPE, 0xC0010001);
            Event("ESC");
          } else {
            Click(GetDlgItem(progress_, IDC_CANCEL_INSTALL));
            Event("CANCEL");
          }
        }
      }
      Sleep(5);
    }
    CatchUp();
  }

  void WaitExit(DWORD ms) { WaitForSingleObject(process_.hProcess, ms); }

  void MeasureLatency() {
    double worst = 0;
    double total = 0;
    int samples = 0;
    int failures = 0;
    wchar_t buffer[512];
    while (Alive()) {
      const double t0 = NowMs();
      DWORD_PTR copied = 0;
      const LRESULT ok =
          SendMessageTimeoutW(status_, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer),
                              SMTO_ABORTIFHUNG, 250, &copied);
      const double dt = NowMs() - t0;
      // A call that timed out counts with its full wait in the worst case.
      if (!ok && !Alive()) break;
      if (!ok) ++failures;
      ++samples;
      total += dt;
      worst = std::max(worst, dt);
      Sleep(20);
    }
    latencyWorst_ = worst;
    latencyMean_ = samples ? total / samples : 0;
    latencySamples_ = samples;
    latencyFailures_ = failures;
  }

  int Finish(int driverCode) {
    if (process_.hProcess != nullptr) {
      WaitExit(15000);
      if (Alive()) {
        Fact("error", L"the wizard did not end; ended by the driver");
        TerminateProcess(process_.hProcess, 0xDEAD);
        WaitExit(5000);
      }
      DWORD code = 0;
      GetExitCodeProcess(process_.hProcess, &code);
      Fact("exit", std::to_wstring(code));
      if (actionAt_ > 0) {
        Fact("exit_after_action_ms", std::to_wstring(static_cast<long>(NowMs() - actionAt_)));
      }
    }
    if (latencyThread_.joinable()) {
      latencyThread_.join();
      wchar_t text[128];
      swprintf(text, 128, L"%.1f", latencyWorst_);
      Fact("latency_worst_ms", text);
      swprintf(text, 128, L"%.1f", latencyMean_);
      Fact("latency_mean_ms", text);
      Fact("latency_samples", std::to_wstring(latencySamples_));
      Fact("latency_failures", std::to_wstring(latencyFailures_));
    }
    Fact("hook_lines", std::to_wstring(hookLines_.size()));
    Fact("status_source", hookWorks_ ? L"hook" : L"polling");
    Fact("boxes", std::to_wstring(boxes_));
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    Fact("temp", temp);
    WriteFile(L"\\events.txt", events_);
    std::string facts;
    for (const auto& [key, value] : facts_) facts += key + "=" + value + "\n";
    WriteFile(L"\\result.txt", facts);
    if (process_.hProcess) {
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    return driverCode;
  }

  void WriteFile(const wchar_t* name, const std::string& data) {
    HANDLE file = CreateFileW((o_.out + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
  }

  void Event(const std::wstring& text) { events_ += Narrow(text) + "\n"; }
  void Event(const char* text) { events_ += std::string(text) + "\n"; }
  void Fact(const std::string& key, const std::wstring& value) { facts_[key] = Narrow(value); }
  void Fact(const std::wstring& key, const std::wstring& value) { Fact(Narrow(key), value); }

  Options o_;
  PROCESS_INFORMATION process_{};
  HWND welcome_ = nullptr;
  HWND progress_ = nullptr;
  HWND status_ = nullptr;
  long long hookOffset_ = 0;
  std::vector<std::wstring> hookLines_;
  std::size_t hookUsed_ = 0;
  bool hookWorks_ = false;
  std::wstring polled_;
  std::wstring lastLine_;
  double lastLineAt_ = 0;
  bool shotLineTaken_ = false;
  int boxes_ = 0;
  double actionAt_ = 0;
  std::string events_;
  std::map<std::string, std::string> facts_;
  std::thread latencyThread_;
  double latencyWorst_ = 0;
  double latencyMean_ = 0;
  int latencySamples_ = 0;
  int latencyFailures_ = 0;
};

bool ParseOptions(int argc, wchar_t** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    auto value = [&](std::wstring* into) {
      if (i + 1 >= argc) return false;
      *into = argv[++i];
      return true;
    };
    auto number = [&](int* into) {
      std::wstring text;
      if (!value(&text)) return false;
      *into = _wtoi(text.c_str());
      return true;
    };
    const std::map<std::wstring, std::wstring*> texts = {{L"--exe", &o->exe},
                                                         {L"--out", &o->out},
                                                         {L"--hook", &o->hook},
                                                         {L"--esc-on", &o->escOn},
                                                         {L"--cancel-on", &o->cancelOn},
                                                         {L"--shot-on", &o->shotOn},
                                                         {L"--winedebug", &o->wineDebug}};
    const std::map<std::wstring, int*> numbers = {{L"--cancel-after-box", &o->cancelAfterBox},
                                                  {L"--action-delay", &o->actionDelayMs},
                                                  {L"--timeout", &o->timeoutS}};
    const std::map<std::wstring, bool*> flags = {{L"--welcome-cancel", &o->welcomeCancel},
                                                 {L"--shot-box", &o->shotBox},
                                                 {L"--latency", &o->latency},
                                                 {L"--no-hook", &o->noHook}};
    bool ok = true;
    if (auto t = texts.find(a); t != texts.end()) {
      ok = value(t->second);
    } else if (auto n = numbers.find(a); n != numbers.end()) {
      ok = number(n->second);
    } else if (auto f = flags.find(a); f != flags.end()) {
      *f->second = true;
    } else if (a == L"--") {
      for (++i; i < argc; ++i) o->args.push_back(argv[i]);
    } else {
      ok = false;
    }
    if (!ok) {
      fwprintf(stderr, L"bad option %ls\n", a.c_str());
      return false;
    }
  }
  return !o->exe.empty() && !o->out.empty() && !o->hook.empty();
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    fwprintf(stderr, L"usage: e2e_driver --exe PATH --out DIR --hook DLL [options] [-- ARGS]\n");
    return 64;
  }
  return Driver(std::move(options)).Run();
}
