// numbered_windows.h: numbered top-level windows, each with its own class, identity property and Tab keys.
#pragma once
#include <windows.h>
#include <cstdint>
#include "runtime/object_registry.h"
#include "toolkit/gadget_library.h"

// Toolkit window flags (every other bit is a Win32 window style and passes through).
const uint32_t CenterOnScreenFlag = 0x00000001;
const uint32_t CenterOnOwnerFlag = 0x00000002;
const uint32_t ToolWindowFlag = 0x00000004;
const uint32_t KeepGadgetListFlag = 0x00000008;
const uint32_t ShowInactiveFlag = 0x02000000;
const uint32_t HiddenWindowFlag = 0x10000000;
// Both take the bit of a Win32 style, which a window of this toolkit therefore cannot ask for.
static_assert(ShowInactiveFlag == WS_CLIPCHILDREN && HiddenWindowFlag == WS_VISIBLE, "flags over style bits");

void InitWindowLibrary();
void FreeWindowLibrary();

// Fixed number: the HWND; AutoNumber: the new window number; 0 on failure.
intptr_t OpenNumberedWindow(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const wchar_t* title, uint32_t flags);
intptr_t OpenNumberedOwnedWindow(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                                 const wchar_t* title, uint32_t flags, HWND owner);
// The registry's release routine; -1 releases every open window.
void ReleaseWindow(ObjectNumber number);
void PlaceWindow(HWND hwnd, uint32_t flags, HWND owner);
// Makes hwnd the window new gadgets go into; returns the previous one. Null only returns it.
HWND SetCurrentGadgetList(HWND hwnd);
LRESULT CALLBACK GadgetListWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The gadget list a window had when another window became the current one; attached to the window
// through its "Zorv_GadgetStack_%i" property (zero-filled, main heap). The gadget library owns the
// list state in the middle.
struct SavedGadgetList {
    HWND window;
    GadgetListState list;
    WNDPROC previousProc; // the procedure GadgetListWindowProc replaced
};

// The window's SavedGadgetList, or null when it has never been a gadget list.
SavedGadgetList* SavedGadgetListOf(HWND hwnd);

// UTF-16 formatted print into the caller's buffer, which must hold the longest result.
int FormatText(wchar_t* buffer, const wchar_t* format, ...);
