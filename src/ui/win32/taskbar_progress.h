#pragma once
#include <windows.h>

namespace kelvara {

// The download's progress on the taskbar button, where the system offers it
// (Windows 7 and later); elsewhere every call does nothing.
class TaskbarProgress {
 public:
  TaskbarProgress() = default;
  ~TaskbarProgress();  // before the COM library is closed on the way out
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;
  void Show(HWND window, int permille, bool known);
  void Hide(HWND window);

 private:
  bool Ready();
  void* list_ = nullptr;  // ITaskbarList3, obtained at run time
  bool tried_ = false;
};

}  // namespace kelvara
