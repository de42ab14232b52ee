#pragma once
#include <cstdint>
#include <string>

#include "flow/steps.h"
#include "ui/win32/dialog.h"
#include "ui/win32/taskbar_progress.h"

namespace kelvara {

class CProgressDlg final : public CDialog, private FlowHost {
 public:
  CProgressDlg();

  void SetStatus(const std::string& text, bool showBox) override;
  std::string GetTempDirectory() override;

 protected:
  BOOL OnInitDialog() override;
  void OnCancel() override;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  void DoDataExchange();
  void OnPaint();
  void OnTimer(UINT id);
  void OnProgressTimer();
  LRESULT OnInstallStep(WPARAM wParam, LPARAM lParam);

  void Quit(int exitCode) override;
  void KillStartupTimer() override;
  void DefaultTimerProcessing() override;

  std::string m_strStatus;
  HICON m_hIcon;
  // Lives as long as the process: Esc or the close box may end the dialog
  // while a job thread is still writing its result.
  JobBlock& m_job;
  // What the bar shows: the transfer it follows and when that one began.
  unsigned m_shownSerial = 0;
  bool m_barShown = false;
  bool m_barEnding = false;
  DWORD m_transferStart = 0;
  std::uint64_t m_startDone = 0;
  TaskbarProgress m_taskbar;
};

}  // namespace kelvara
