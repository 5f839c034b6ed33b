// keyboard.cpp: the accelerator table the wait loop applies, and showing or hiding keyboard cues.
#include "toolkit/keyboard.h"
#include "toolkit/window_record.h"
#include <richedit.h>

// GetKeyState's bit for a key that is down.
static const SHORT KeyDownBit = 0x80;
static_assert(MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL) == 0x30002 &&
                  MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL) == 0x30001,
              "showing and hiding both keyboard cues");

static bool KeyDown(int key) { return (GetKeyState(key) & KeyDownBit) != 0; }

// A writable rich edit control takes Tab itself (plain Tab only).
static bool RichEditWantsTab(HWND focus) {
    if (!KeyDown(VK_TAB) || KeyDown(VK_CONTROL) || KeyDown(VK_SHIFT) || KeyDown(VK_MENU)) return false;
    wchar_t className[5] = {};
    GetClassNameW(focus, className, 5);
    if (wcsncmp(className, L"Rich", 4) != 0) return false;
    return (SendMessageW(focus, EM_GETOPTIONS, 0, 0) & ECO_READONLY) == 0;
}

HACCEL AcceleratorsForWindow(HWND hwnd) {
    HWND focus = GetFocus();
    if (focus && RichEditWantsTab(focus)) return nullptr;
    if (hwnd && (KeyDown(VK_CONTROL) || KeyDown(VK_SHIFT) || KeyDown(VK_MENU))) UpdateKeyboardCues(hwnd, 1);
    if (focus && GetPropW(focus, PropHotkey)) return nullptr;

    ObjectNumber number = WindowNumberOf(hwnd);
    if (number == -1) return nullptr;
    DWORD process = 0;
    if (!GetWindowThreadProcessId(hwnd, &process) || process != GetCurrentProcessId()) return nullptr;
    ObjectRegistry* registry = WindowRegistry();
    if (!registry) return nullptr;
    WindowRecord* record = static_cast<WindowRecord*>(LookupObject(registry, number));
    return record ? record->acceleratorTable : nullptr;
}

void UpdateKeyboardCues(HWND hwnd, int show) {
    const LRESULT both = UISF_HIDEFOCUS | UISF_HIDEACCEL;
    LRESULT state = SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0);
    if (show) {
        if (state & both) SendMessageW(hwnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, both), 0);
    } else if ((state & both) != both) {
        SendMessageW(hwnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, both), 0);
    }
}
