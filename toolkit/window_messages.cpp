// window_messages.cpp: the toolkit window procedure: window messages become events; Tab moves the focus.
#include "toolkit/window_messages.h"
#include <cwchar>
#include "toolkit/events.h"
#include "toolkit/exception_barrier.h"
#include "toolkit/gadget_library.h"
#include "toolkit/gadget_record.h"
#include "toolkit/keyboard.h"
#include "toolkit/window_record.h"

static const LONG MenuControlId = -10000;

LRESULT CALLBACK TopLevelWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return ResultOrOnException<LRESULT>(0, [&] {
        LRESULT result = HandleWindowMessage(hwnd, message, wParam, lParam);
        if (message != WM_SIZE) {
            HWND mdiClient = static_cast<HWND>(GetPropW(hwnd, PropMdiGadget));
            if (mdiClient && (result == NotHandled || message == WM_SETFOCUS || message == WM_MENUCHAR ||
                              (message == WM_COMMAND && lParam == 0))) {
                result = DefFrameProcW(hwnd, mdiClient, message, wParam, lParam);
            }
        }
        SetLastError(ERROR_SUCCESS);
        if (result == NotHandled) return DefWindowProcW(hwnd, message, wParam, lParam);
        return result;
    });
}

static BOOL CALLBACK MatchGadgetIdProperty(HWND, LPWSTR name, HANDLE, ULONG_PTR found) {
    if (IS_INTRESOURCE(name) || wcscmp(name, PropGadgetId) != 0) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

// The gadget number a control carries in "Zorv_ID"; false when it has no such property. Gadget 0
// stores the value 0, which GetPropW cannot tell from a missing property: only then are the
// properties listed.
static bool GadgetIdOf(HWND control, ObjectNumber* id) {
    HANDLE value = GetPropW(control, PropGadgetId);
    *id = reinterpret_cast<intptr_t>(value);
    if (value) return true;
    bool found = false;
    EnumPropsExW(control, MatchGadgetIdProperty, reinterpret_cast<LPARAM>(&found));
    return found;
}

LRESULT ForwardToGadget(HWND control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!control) return NotHandled;
    ObjectNumber id = GetWindowLongPtrW(control, GWLP_ID);
    // Only a control that carries its gadget number both ways belongs to a gadget; a control without
    // the property never does, whatever its identifier (0 is what CreateWindowExW gives by default).
    ObjectNumber gadgetId;
    if (!GadgetIdOf(control, &gadgetId) || gadgetId != id) return NotHandled;
    GadgetRecord* gadget = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), id));
    if (!gadget || !gadget->kind || !gadget->kind->parentMessage) return NotHandled;
    return gadget->kind->parentMessage(gadget, parent, message, wParam, lParam);
}

// The number and record of the numbered window that hwnd is or belongs to; -1 and null when none.
static ObjectNumber IdentifyWindow(HWND hwnd, WindowRecord** record) {
    ObjectNumber number = WindowNumberOf(FindOwnerWindow(hwnd));
    *record = number == -1 ? nullptr : static_cast<WindowRecord*>(LookupObject(WindowRegistry(), number));
    return number;
}

static void RouteCommand(HWND hwnd, ObjectNumber window, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    if (ForwardToGadget(control, hwnd, WM_COMMAND, wParam, lParam) != NotHandled) return;
    if (control) {
        ObjectNumber id = GetWindowLongPtrW(control, GWLP_ID);
        if (id == MenuControlId) RaiseEvent(MenuCommandEvent, LOWORD(wParam), window, 0);
        else RaiseEvent(GadgetNotifyEvent, id, window, HIWORD(wParam));
    } else if (HIWORD(wParam) == 0) {
        RaiseEvent(MenuCommandEvent, static_cast<ObjectNumber>(wParam), window, 0);
    } else if (LOWORD(wParam) == NextTabStopID) {
        MoveFocus(0);
    } else if (LOWORD(wParam) == PreviousTabStopID) {
        MoveFocus(1);
    } else {
        RaiseEvent(MenuCommandEvent, LOWORD(wParam), window, 0);
    }
}

static BOOL CALLBACK SendSysColorChange(HWND child, LPARAM) {
    SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

static LRESULT HandleSize(HWND hwnd, ObjectNumber window, WindowRecord* record, WPARAM wParam) {
    if (!GetPropW(hwnd, PropWindowId)) return 1;
    if (window == -1 || !record) return NotHandled;
    switch (wParam) {
    case SIZE_RESTORED:
        if (record->sizedState == 1) {
            record->sizedState = 0;
            RaiseEvent(WindowRestoredEvent, 0, window, 0);
        }
        RaiseEvent(WindowResizedEvent, 0, window, 0);
        break;
    case SIZE_MINIMIZED:
        record->sizedState = 1;
        RaiseEvent(WindowMinimizedEvent, 0, window, 0);
        break;
    case SIZE_MAXIMIZED:
        record->sizedState = 1;
        RaiseEvent(WindowMaximizedEvent, 0, window, 0);
        RaiseEvent(WindowResizedEvent, 0, window, 0);
        break;
    default:
        RaiseEvent(WindowResizedEvent, 0, window, 0);
        break;
    }
    return 0;
}

static LRESULT HandleEraseBackground(HWND hwnd, ObjectNumber window, WindowRecord* record, WPARAM wParam) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    LRESULT result = NotHandled;
    if (record && record->backgroundBrush) {
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(dc, &client, record->backgroundBrush);
        result = 1;
    } else if (record && record->hwnd == hwnd && record->paintHook) {
        result = record->paintHook(dc, hwnd);
    }
    RaiseEvent(BackgroundErasedEvent, 0, window, 0);
    return result;
}

static LRESULT HandleMinMaxInfo(HWND hwnd, WindowRecord* record, LPARAM lParam) {
    if (!record) return NotHandled;
    MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
    if (!info) return 0;
    if (record->minWidth) info->ptMinTrackSize.x = record->minWidth;
    else if (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) info->ptMinTrackSize.x = 1;
    if (record->minHeight) info->ptMinTrackSize.y = record->minHeight;
    if (record->maxWidth) info->ptMaxTrackSize.x = record->maxWidth;
    if (record->maxHeight) info->ptMaxTrackSize.y = record->maxHeight;
    return 0;
}

static LRESULT HandleClickNotify(HWND hwnd, ObjectNumber window, WPARAM wParam, LPARAM lParam) {
    int32_t subtype = -1;
    switch (lParam) {
    case WM_LBUTTONDOWN: subtype = 0; break;
    case WM_RBUTTONDOWN: subtype = 1; break;
    case WM_LBUTTONDBLCLK: subtype = 2; break;
    case WM_RBUTTONDBLCLK: subtype = 3; break;
    }
    if (subtype >= 0) RaiseEvent(ClickNotifyEvent, static_cast<ObjectNumber>(wParam), window, subtype);
    PostMessageW(hwnd, WM_NULL, 0, 0);
    return 0;
}

LRESULT HandleWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* record;
    ObjectNumber window = IdentifyWindow(hwnd, &record);

    WindowMessageHook hook = record ? record->messageHook : nullptr;
    if (!hook && WindowLibrary()) hook = WindowLibrary()->messageHook;
    if (hook) {
        LRESULT hooked = hook(hwnd, message, wParam, lParam);
        if (hooked != HookNotHandled) return hooked;
    }

    bool ownWindow = record && record->hwnd == hwnd;
    switch (message) {
    case WM_MOVE:
        if (ownWindow) RaiseEvent(WindowMovedEvent, window, window, 0);
        return 0;
    case WM_SIZE:
        return HandleSize(hwnd, window, record, wParam);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            // The window itself never takes the focus: it goes back to the control saved at deactivation.
            HWND saved = static_cast<HWND>(GetPropW(hwnd, PropFocus));
            if (saved) SetFocus(saved);
            RaiseEvent(WindowActivatedEvent, 0, window, 0);
        } else {
            SetPropW(hwnd, PropFocus, GetFocus());
            UpdateKeyboardCues(hwnd, 0);
            RaiseEvent(WindowDeactivatedEvent, 0, window, 0);
        }
        return 1;
    case WM_CLOSE:
        // Never passed on: a close request only queues the event; the program decides.
        if (ownWindow) RaiseEvent(WindowClosedEvent, window, window, 0);
        return 0;
    case WM_ERASEBKGND:
        return HandleEraseBackground(hwnd, window, record, wParam);
    case WM_SYSCOLORCHANGE:
        if (record && !record->mdiClient) EnumChildWindows(hwnd, SendSysColorChange, 0);
        return NotHandled;
    case WM_GETMINMAXINFO:
        return HandleMinMaxInfo(hwnd, record, lParam);
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        return ForwardToGadget(header ? header->hwndFrom : nullptr, hwnd, message, wParam, lParam);
    }
    case WM_NCDESTROY:
        RemovePropW(hwnd, PropFocus);
        return 1;
    case WM_COMMAND:
        RouteCommand(hwnd, window, wParam, lParam);
        return 0;
    case WM_TIMER:
        if (!record) return NotHandled;
        RaiseEvent(TimerElapsedEvent, static_cast<ObjectNumber>(wParam), window, 0);
        return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case GadgetPrivateMessage:
        return ForwardToGadget(reinterpret_cast<HWND>(lParam), hwnd, message, wParam, lParam);
    case WM_LBUTTONUP:
        RaiseEvent(LeftButtonUpEvent, 0, window, 0);
        return 0;
    case WM_LBUTTONDBLCLK:
        RaiseEvent(LeftDoubleClickedEvent, 0, window, 0);
        return 0;
    case WM_RBUTTONUP:
        RaiseEvent(RightButtonUpEvent, 0, window, 0);
        return 0;
    case ClickNotifyMessage:
        return HandleClickNotify(hwnd, window, wParam, lParam);
    default:
        return NotHandled;
    }
}

// Class name of w, cut to the buffer; empty when it cannot be read.
static void ClassNameOf(HWND w, wchar_t* buffer, int length) {
    buffer[0] = L'\0';
    if (GetClassNameW(w, buffer, length) <= 0) buffer[0] = L'\0';
}

struct TabStopWalk {
    HWND start;
    int backward;
    int pass;       // forward: 1 = looking for start, 2 = take the next one found
    HWND previous;  // backward: the tab stop met last
    HWND last;      // backward: the last tab stop of the walk
    HWND chosen;
};

static bool IsTabStop(HWND w) {
    return IsWindowEnabled(w) && IsWindowVisible(w) && (GetWindowLongW(w, GWL_STYLE) & WS_TABSTOP);
}

static BOOL CALLBACK VisitTabStop(HWND w, LPARAM context) {
    TabStopWalk* walk = reinterpret_cast<TabStopWalk*>(context);
    if (!IsTabStop(w)) return TRUE;
    if (!walk->backward) {
        if (!walk->start || walk->pass == 2) {
            walk->chosen = w;
            return FALSE;
        }
        if (w == walk->start) walk->pass = 2;
        return TRUE;
    }
    if (w == walk->start && walk->previous) {
        walk->chosen = walk->previous;
        return FALSE;
    }
    walk->previous = w;
    walk->last = w;
    return TRUE;
}

void MoveFocus(int backward) {
    HWND top = GetActiveWindow();
    HWND focus = GetFocus();
    HWND start = nullptr;
    if (top && focus && IsChild(top, focus)) {
        start = focus;
        // Composite controls are one tab stop: their inner edit control is not.
        wchar_t name[50];
        for (HWND w = focus; w && w != top; w = GetParent(w)) {
            ClassNameOf(w, name, 50);
            if ((wcscmp(name, L"ComboBoxEx32") == 0 && (GetWindowLongW(w, GWL_STYLE) & CBS_SIMPLE)) ||
                wcscmp(name, L"SysIPAddress32") == 0) {
                start = w;
            } else if (wcscmp(name, L"MDI_ChildClass") == 0) {
                top = w;
                if (w == focus) start = nullptr;
                break;
            }
        }
    }
    if (!top) return;

    TabStopWalk walk = {start, backward, 1, nullptr, nullptr, nullptr};
    EnumChildWindows(top, VisitTabStop, reinterpret_cast<LPARAM>(&walk));
    if (!backward && !walk.chosen && walk.pass == 2) {
        // start was the last tab stop: the second walk takes the first one.
        walk.start = nullptr;
        EnumChildWindows(top, VisitTabStop, reinterpret_cast<LPARAM>(&walk));
    }
    if (backward && !walk.chosen) walk.chosen = walk.last;
    if (walk.chosen) SetFocus(walk.chosen);
}
