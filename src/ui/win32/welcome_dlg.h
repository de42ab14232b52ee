#pragma once
#include "ui/win32/dialog.h"

namespace kelvara {

class CWelcomeDlg final : public CDialog {
 public:
  CWelcomeDlg();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

 private:
  HICON m_hIcon;
};

}  // namespace kelvara
