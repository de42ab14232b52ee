#include "ui/win32/progress_dlg.h"

#include <shellapi.h>

#include <cstdlib>

#include "app/win32/text.h"
#include "flow/win32/job_thread.h"
#include "ui/status.h"
#include "ui/win32/globals.h"
#include "ui/win32/resource.h"

HWND g_hwndProgress = nullptr;

namespace {
constexpr UINT_PTR STARTUP_TIMER = 1;

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
  m_strStatus = "    欢迎使用...";
  g_hwndProgress = m_hWnd;
  CDialog::OnInitDialog();
  DoDataExchange();
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  SetTimer(m_hWnd, STARTUP_TIMER, 500, nullptr);
  return TRUE;
}

void CProgressDlg::SetStatus(const std::string& text, bool showBox) {
  m_strStatus = StatusLineText(text);
  DoDataExchange();
  if (!showBox) return;
  MessageBoxW(m_hWnd, Widen(StatusBoxText(text)).c_str(), AppNameW().c_str(), MB_OK);
  EnableWindow(GetDlgItem(m_hWnd, IDC_CANCEL_INSTALL), TRUE);
}

std::string CProgressDlg::GetTempDirectory() {
  // The wide call, so that a profile path survives any code page.
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  return TempDirectoryFromPath(length, length > 0 && length <= MAX_PATH ? Narrow(buffer) : "");
}

void CProgressDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int cxIcon = GetSystemMetrics(SM_CXICON);
  const int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect{};
  GetClientRect(m_hWnd, &rect);
  DrawIcon(dc, CentredIconOffset(rect.right - rect.left, cxIcon),
           CentredIconOffset(rect.bottom - rect.top, cyIcon), m_hIcon);
  EndPaint(m_hWnd, &paint);
}

void CProgressDlg::OnTimer(UINT) { ::OnTimer(m_job, *this); }

LRESULT CProgressDlg::OnInstallStep(WPARAM wParam, LPARAM lParam) {
  return ::OnInstallStep(m_job, *this, static_cast<int>(wParam), static_cast<int>(lParam));
}

bool CProgressDlg::CreateJobThread(JobBlock& block) { return StartJobThread(block); }

void CProgressDlg::ShellOpen(const std::string& path) {
  ShellExecuteW(nullptr, L"open", Widen(path).c_str(), L"", L"", SW_SHOW);
}

void CProgressDlg::Quit() { std::exit(0); }

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
    case WM_TIMER:
      OnTimer(static_cast<UINT>(wParam));
      *result = TRUE;
      return true;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_CANCEL_INSTALL && HIWORD(wParam) == BN_CLICKED) {
        // No confirmation and no wait: a started installer keeps running.
        std::exit(0);
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
