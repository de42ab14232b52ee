#include "ui/win32/welcome_dlg.h"

#include "app/log.h"
#include "ui/win32/progress_dlg.h"
#include "ui/win32/resource.h"

namespace kelvara {

CWelcomeDlg::CWelcomeDlg() : CDialog(IDD_WELCOME), m_hIcon(LoadAppIcon()) {}

BOOL CWelcomeDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  return TRUE;
}

void CWelcomeDlg::OnOK() {
  // Ends this dialog's loop and hides it; the progress dialog runs nested.
  CDialog::OnOK();
  LogLine("welcome: start");
  CProgressDlg progress;
  progress.DoModal();
}

void CWelcomeDlg::OnCancel() {
  LogLine("welcome: cancel");
  CDialog::OnCancel();
}

}  // namespace kelvara
