#pragma once
#include <string>

#include "flow/job_block.h"
#include "flow/steps.h"
#include "ui/win32/dialog.h"

class CProgressDlg final : public CDialog, private FlowHost {
 public:
  CProgressDlg();

  void SetStatus(const std::string& text, bool showBox) override;
  std::string GetTempDirectory() override;

 protected:
  BOOL OnInitDialog() override;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  void DoDataExchange();
  void OnPaint();
  void OnTimer(UINT id);
  LRESULT OnInstallStep(WPARAM wParam, LPARAM lParam);

  bool CreateJobThread(JobBlock& block) override;
  void ShellOpen(const std::string& path) override;
  void Quit() override;
  void KillStartupTimer() override;
  void DefaultTimerProcessing() override;

  std::string m_strStatus;
  HICON m_hIcon;
  // Lives as long as the process: Esc or the close box may end the dialog
  // while a job thread is still writing its result.
  JobBlock& m_job;
};
