// message_box.h: a message box that is modal for the calling thread's whole set of windows.
#pragma once
#include <windows.h>

// Disables the thread's other visible windows around MessageBoxW and restores them afterwards.
// Returns MessageBoxW's result (IDOK and the like; 0 on failure).
int ShowMessageBox(const wchar_t* title, const wchar_t* text, UINT style = 0);
// Non-zero: record and disable the thread's windows, lowering topmost ones; 0: restore and forget.
void SetThreadWindowsDisabled(BOOL disabled);
// The foreground window when it belongs to this process, otherwise null.
HWND ForegroundWindowOfProcess();
