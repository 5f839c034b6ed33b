// window_record.h: the record of a numbered top-level window and the window registry.
#pragma once
#include <windows.h>
#include <cstdint>
#include "runtime/object_registry.h"

// Result sentinels of the toolkit's message routines.
const LRESULT NotHandled = (LRESULT)0xD0D0D0D1;
const LRESULT HookNotHandled = (LRESULT)0xE0E0E0E1;

typedef LRESULT (*WindowMessageHook)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
typedef LRESULT (*WindowPaintHook)(HDC dc, HWND hwnd);

// Window properties of the toolkit.
const wchar_t PropWindowId[] = L"Zorv_WindowID";      // window number + 1 on each open window
const wchar_t PropFocus[] = L"Zorv_Focus";            // control that had the focus at deactivation
const wchar_t PropGadgetId[] = L"Zorv_ID";            // gadget number on a gadget's control
const wchar_t PropHotkey[] = L"Zorv_Hotkey";          // non-null: no accelerators while focused
const wchar_t PropMdiGadget[] = L"Zorv_MDI_Gadget";   // MDI client of an MDI frame window
const wchar_t PropDropAccept[] = L"Zorv_DropAccept";  // the registered drop target

// The window number an open window carries in PropWindowId, stored as number + 1 so that window 0 is
// told apart from a window without the property.
inline BOOL MarkWindowNumber(HWND w, ObjectNumber number) {
    return SetPropW(w, PropWindowId, reinterpret_cast<HANDLE>(number + 1));
}
// The toolkit window number of w; -1 when w has none.
inline ObjectNumber WindowNumberOf(HWND w) {
    return reinterpret_cast<ObjectNumber>(GetPropW(w, PropWindowId)) - 1;
}
// The nearest ancestor (or w itself) that carries a window number, else the top ancestor.
inline HWND FindOwnerWindow(HWND w) {
    while (w) {
        HWND parent = GetParent(w);
        if (!parent || GetPropW(w, PropWindowId)) return w;
        w = parent;
    }
    return w;
}

// Tab accelerator command identifiers.
const WORD NextTabStopID = 64001;
const WORD PreviousTabStopID = 64002;

struct WindowRecord {
    HWND hwnd;                   // non-zero while open (the registry's liveness test)
    ACCEL* accelerators;         // 2 entries in the main heap
    HACCEL acceleratorTable;
    WindowMessageHook messageHook;
    int32_t acceleratorCount;
    HBRUSH backgroundBrush;
    HWND mdiClient;
    WindowPaintHook paintHook;
    uint16_t minWidth, minHeight, maxWidth, maxHeight;
    int32_t sizedState;          // 1 while minimised or maximised
};
static_assert(offsetof(WindowRecord, hwnd) == 0, "the registry tests liveness on the first field");

struct WindowLibraryState {
    WindowMessageHook messageHook; // thread-wide hook for windows without one of their own
};

// Set by InitWindowLibrary; null before.
ObjectRegistry* WindowRegistry();
WindowLibraryState* WindowLibrary();
