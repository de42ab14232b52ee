#pragma once
#include <windows.h>

namespace kelvara {

// A modal dialog over DialogBoxParamW; HandleMessage is the message map.
class CDialog {
 public:
  explicit CDialog(int templateId) : m_templateId(templateId) {}
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  INT_PTR DoModal();
  HWND m_hWnd = nullptr;

 protected:
  // Centres the dialog on the screen, as the framework does for position 0, 0.
  virtual BOOL OnInitDialog();
  virtual void OnOK() { EndDialog(m_hWnd, IDOK); }
  virtual void OnCancel() { EndDialog(m_hWnd, IDCANCEL); }
  // Returns true when the message was handled; *result is then the dialog
  // procedure's return value.
  virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  int m_templateId;
};

HICON LoadAppIcon();

}  // namespace kelvara
