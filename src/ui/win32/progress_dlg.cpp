#include "ui/win32/progress_dlg.h"

#include <commctrl.h>

#include <cstdlib>

#include "app/log.h"
#include "app/win32/text.h"
#include "fetch/transfer_progress.h"
#include "flow/fetch_ahead.h"
#include "flow/route.h"
#include "flow/texts.h"
#include "flow/win32/job_thread.h"
#include "system/win32/win32_system.h"
#include "ui/win32/resource.h"

namespace kelvara {
namespace {
constexpr UINT_PTR STARTUP_TIMER = 1;
// The worker only publishes its byte count; the window looks ten times a second.
constexpr UINT_PTR PROGRESS_TIMER = 2;
constexpr UINT PROGRESS_PERIOD_MS = 100;

JobBlock& ProcessJobBlock() {
  static JobBlock* block = new JobBlock;  // never freed, see m_job
  return *block;
}
}  // namespace

CProgressDlg::CProgressDlg()
    : CDialog(IDD_PROGRESS), m_hIcon(LoadAppIcon()), m_job(ProcessJobBlock()) {}

void CProgressDlg::DoDataExchange() {
  SetDlgItemTextW(m_hWnd, IDC_STATUS, Widen(m_strStatus).c_str());
}

BOOL CProgressDlg::OnInitDialog() {
  m_strStatus = StatusLineText(TEXT_WELCOME);
  g_hwndProgress = m_hWnd;
  CDialog::OnInitDialog();
  DoDataExchange();
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 1000);
  SetTimer(m_hWnd, STARTUP_TIMER, 500, nullptr);
  // A quiet run's dialog is never shown: nothing to follow, no taskbar button.
  if (g_uiMode != UiMode::Quiet) SetTimer(m_hWnd, PROGRESS_TIMER, PROGRESS_PERIOD_MS, nullptr);
  return TRUE;
}

void CProgressDlg::SetStatus(const std::string& text, bool showBox) {
  LogStatus(text, showBox);
  m_strStatus = StatusLineText(text);
  DoDataExchange();
  // Unattended, the box's text is only logged: nobody is there to close it.
  if (!showBox || IsUnattended()) return;
  MessageBoxW(m_hWnd, Widen(StatusBoxText(text)).c_str(), AppNameW().c_str(), MB_OK);
  EnableWindow(GetDlgItem(m_hWnd, IDC_CANCEL_INSTALL), TRUE);
}

std::string CProgressDlg::GetTempDirectory() { return Win32TempDirectory(); }

void CProgressDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT rect{};
  GetClientRect(m_hWnd, &rect);
  DrawIcon(dc, (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2,
           (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2, m_hIcon);
  EndPaint(m_hWnd, &paint);
}

void CProgressDlg::OnTimer(UINT id) {
  if (id == PROGRESS_TIMER)
    OnProgressTimer();
  else
    kelvara::OnTimer(m_job, *this);
}

// Shown only while a body is being written: the bar, the figures beside it
// and the taskbar button; a marquee when the server sent no length.
void CProgressDlg::OnProgressTimer() {
  TransferProgress& progress = CurrentTransfer();
  HWND bar = GetDlgItem(m_hWnd, IDC_PROGRESS_BAR);
  HWND figures = GetDlgItem(m_hWnd, IDC_PROGRESS_FIGURES);
  const bool active = progress.active.load();
  const unsigned serial = progress.serial.load();
  const std::int64_t total = progress.total.load();
  const std::uint64_t done = progress.done.load();
  const int permille = ProgressPermille(done, total);
  if (!active) {
    if (!m_barShown) return;
    // One more look at where the body ended, then the bar goes.
    if (!m_barEnding) {
      m_barEnding = true;
      if (total >= 0) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(permille), 0);
      return;
    }
    m_barShown = m_barEnding = false;
    ShowWindow(bar, SW_HIDE);
    ShowWindow(figures, SW_HIDE);
    m_taskbar.Hide(m_hWnd);
    return;
  }
  if (serial != m_shownSerial || !m_barShown) {
    m_shownSerial = serial;
    m_transferStart = GetTickCount();
    m_startDone = done;  // a transfer resumed or taken over midway: its rate from here
    const LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
    SetWindowLongPtrW(bar, GWL_STYLE, total < 0 ? style | PBS_MARQUEE : style & ~PBS_MARQUEE);
    SendMessageW(bar, PBM_SETMARQUEE, total < 0 ? TRUE : FALSE, 30);
    ShowWindow(bar, SW_SHOW);
    ShowWindow(figures, SW_SHOW);
    m_barShown = true;
    m_barEnding = false;
  }
  if (total >= 0) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(permille), 0);
  const DWORD elapsed = GetTickCount() - m_transferStart;
  // The first half second says too little about the line's speed.
  const double rate =
      elapsed >= 500 ? static_cast<double>(done - m_startDone) * 1000.0 / elapsed : -1.0;
  SetWindowTextW(figures, Widen(ProgressFigures(done, total, rate)).c_str());
  m_taskbar.Show(m_hWnd, permille, total >= 0);
}

LRESULT CProgressDlg::OnInstallStep(WPARAM wParam, LPARAM lParam) {
  return kelvara::OnInstallStep(m_job, *this, static_cast<int>(wParam), static_cast<int>(lParam));
}

void CProgressDlg::Quit(int exitCode) {
  LogLine("quit: exit(" + std::to_string(exitCode) + ")");
  std::exit(exitCode);
}

void CProgressDlg::OnCancel() {
  LogLine("progress dialog closed (Esc or close box)");
  kelvara::StopFetchAhead();
  CDialog::OnCancel();
}

void CProgressDlg::KillStartupTimer() { KillTimer(m_hWnd, STARTUP_TIMER); }

void CProgressDlg::DefaultTimerProcessing() { DefWindowProcW(m_hWnd, WM_TIMER, STARTUP_TIMER, 0); }

bool CProgressDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  switch (message) {
    case WM_PAINT:
      if (!IsIconic(m_hWnd)) return false;
      OnPaint();
      *result = TRUE;
      return true;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<INT_PTR>(m_hIcon);
      return true;
    case WM_WINDOWPOSCHANGING:
      // The modal loop shows every dialog; a quiet run's stays hidden.
      if (g_uiMode == UiMode::Quiet)
        reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
      return false;
    case WM_TIMER:
      OnTimer(static_cast<UINT>(wParam));
      *result = TRUE;
      return true;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_CANCEL_INSTALL && HIWORD(wParam) == BN_CLICKED) {
        // No confirmation and no wait: a started installer keeps running.
        const int code = ExitCodeFor(g_uiMode, ENDING_CANCELLED, false);
        LogLine("cancel pressed: exit(" + std::to_string(code) + ")");
        kelvara::StopFetchAhead();
        std::exit(code);
      }
      break;
    case WM_INSTALL_STEP:
      SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, OnInstallStep(wParam, lParam));
      *result = TRUE;
      return true;
    default:
      break;
  }
  return CDialog::HandleMessage(message, wParam, lParam, result);
}

}  // namespace kelvara
