// The interface is declared only for Windows 7 targets; the object itself is
// asked for at run time, so older systems simply answer no.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#undef NTDDI_VERSION
#define NTDDI_VERSION 0x06010000
#include "ui/win32/taskbar_progress.h"

#include <objbase.h>
#include <shobjidl.h>

namespace kelvara {

TaskbarProgress::~TaskbarProgress() {
  if (list_ != nullptr) static_cast<ITaskbarList3*>(list_)->Release();
}

bool TaskbarProgress::Ready() {
  if (!tried_) {
    tried_ = true;
    ITaskbarList3* list = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ITaskbarList3, reinterpret_cast<void**>(&list)))) {
      if (SUCCEEDED(list->HrInit()))
        list_ = list;
      else
        list->Release();
    }
  }
  return list_ != nullptr;
}

void TaskbarProgress::Show(HWND window, int permille, bool known) {
  if (!Ready()) return;
  auto* list = static_cast<ITaskbarList3*>(list_);
  list->SetProgressState(window, known ? TBPF_NORMAL : TBPF_INDETERMINATE);
  if (known) list->SetProgressValue(window, static_cast<ULONGLONG>(permille), 1000);
}

void TaskbarProgress::Hide(HWND window) {
  if (list_ != nullptr)
    static_cast<ITaskbarList3*>(list_)->SetProgressState(window, TBPF_NOPROGRESS);
}

}  // namespace kelvara
