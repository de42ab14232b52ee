#pragma once
#include <windows.h>

// The progress window: target of every step pair. Not cleared when the
// window goes; a pair posted after that is lost.
extern HWND g_hwndProgress;
