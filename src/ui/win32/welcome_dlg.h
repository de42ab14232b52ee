#pragma once
#include "ui/win32/dialog.h"

class CWelcomeDlg final : public CDialog {
 public:
  CWelcomeDlg();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  HICON m_hIcon;
};
