// numbered_windows.cpp: opening, placing and releasing numbered top-level windows; the current gadget list.
#include "toolkit/numbered_windows.h"
#include <cstdarg>
#include <cstdio>
#include "runtime/main_heap.h"
#include "toolkit/drop_target.h"
#include "toolkit/events.h"
#include "toolkit/gadget_library.h"
#include "toolkit/toolkit_test_seams.h"
#include "toolkit/window_messages.h"
#include "toolkit/window_record.h"

// "WindowClass_" or "Zorv_GadgetStack_" plus a 32-bit decimal and the NUL.
static const int NameBufferLength = 40;
static const int32_t DefaultPosition = -65535;
static const int AcceleratorCount = 2;
static_assert((FVIRTKEY | FNOINVERT) == 3 && (FVIRTKEY | FNOINVERT | FSHIFT) == 7, "the Tab accelerators' keys");
// _vsnwprintf's count: no effective limit; callers size their buffers for the longest result.
static const size_t FormatTextLimit = 0x1FFFFFFF;

// The toolkit's own bits that stay in a translated style until the window is created.
static const DWORD PlacementFlags = CenterOnScreenFlag | CenterOnOwnerFlag | ToolWindowFlag;
// Two masks for one purpose: ShowInactiveFlag (the WS_CLIPCHILDREN bit) changes no frame, so the outer
// size is reckoned with it still in and only creation takes it out.
static const DWORD FrameStyleMask = ~PlacementFlags;
static const DWORD CreationStyleMask = ~(PlacementFlags | ShowInactiveFlag);
static_assert(FrameStyleMask == 0xFFFFFFF8 && CreationStyleMask == 0xFDFFFFF8, "the style masks");
// What a tool window cannot be.
static const DWORD ToolWindowRemovedStyles = WS_MINIMIZE | WS_MAXIMIZE | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
static_assert(~ToolWindowRemovedStyles == 0xDEFCFFFF, "the tool window's style mask");

static HICON classIcon;
static HCURSOR classCursor;

static ObjectRegistry* windowRegistry;
static WindowLibraryState* windowLibraryState;

ObjectRegistry* WindowRegistry() { return windowRegistry; }
WindowLibraryState* WindowLibrary() { return windowLibraryState; }

// Test seam (toolkit_test_seams.h).
void SetWindowLibraryGlobals(ObjectRegistry* registry, WindowLibraryState* state) {
    windowRegistry = registry;
    windowLibraryState = state;
}

int FormatText(wchar_t* buffer, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int written = _vsnwprintf(buffer, FormatTextLimit, format, arguments);
    va_end(arguments);
    return written;
}

static void FormatClassName(wchar_t* buffer, ObjectNumber number) {
    FormatText(buffer, L"WindowClass_%d", static_cast<int>(number));
}

static void FormatGadgetStackName(wchar_t* buffer) {
    FormatText(buffer, L"Zorv_GadgetStack_%i", static_cast<int>(reinterpret_cast<intptr_t>(GetModuleHandleW(nullptr))));
}

void InitWindowLibrary() {
    ObjectRegistry* registry = CreateObjectRegistry(sizeof(WindowRecord), 16, ReleaseWindow);
    WindowLibraryState* state =
        static_cast<WindowLibraryState*>(CreateLibraryState(sizeof(WindowLibraryState), nullptr));
    windowRegistry = registry;
    windowLibraryState = state;
    // Either may be missing (a test executable has no icon): the class then has none.
    classIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    classCursor = LoadCursorW(nullptr, IDC_ARROW);
}

void FreeWindowLibrary() {
    ReleaseAllObjects(WindowRegistry());
}

intptr_t OpenNumberedWindow(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const wchar_t* title, uint32_t flags) {
    return OpenNumberedOwnedWindow(number, x, y, width, height, title, flags, nullptr);
}

// Style S and extended style E of the flags; bits 0 to 2 and ShowInactiveFlag are still in S.
static void TranslateWindowFlags(uint32_t flags, DWORD* style, DWORD* exStyle) {
    uint32_t s = flags & ~KeepGadgetListFlag;
    if ((s & ~(CenterOnScreenFlag | CenterOnOwnerFlag | HiddenWindowFlag)) == 0) s |= WS_CAPTION;
    s &= ~HiddenWindowFlag;
    DWORD e = 0;
    if (s & ToolWindowFlag) {
        e = WS_EX_TOOLWINDOW;
        s &= ~ToolWindowRemovedStyles;
        s |= WS_CAPTION;
    }
    *style = s;
    *exStyle = e;
}

static int ShowCommandFor(DWORD style, bool inactive) {
    if (style & WS_MAXIMIZE) return inactive ? SW_SHOWNA : SW_SHOWMAXIMIZED;
    if (style & WS_MINIMIZE) return inactive ? SW_SHOWMINNOACTIVE : SW_SHOWMINIMIZED;
    return inactive ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL;
}

intptr_t OpenNumberedOwnedWindow(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                                 const wchar_t* title, uint32_t flags, HWND owner) {
    ObjectRegistry* registry = WindowRegistry();
    // An open window of this number is released completely here, class included.
    WindowRecord* record = static_cast<WindowRecord*>(ClaimObject(registry, number));
    if (!record) return 0;
    bool autoNumber = number == AutoNumber;
    if (autoNumber) number = reinterpret_cast<ObjectNumber>(record);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    wchar_t className[NameBufferLength];
    FormatClassName(className, number);

    WNDCLASSW windowClass = {};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = TopLevelWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = classIcon;
    windowClass.hCursor = classCursor;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    // A failed registration shows as a failed creation below.
    RegisterClassW(&windowClass);

    DWORD style, exStyle;
    TranslateWindowFlags(flags, &style, &exStyle);
    bool inactive = (flags & ShowInactiveFlag) != 0;

    // width and height are the client size; the window gets the outer size around it.
    RECT outer = {0, 0, width, height};
    AdjustWindowRectEx(&outer, style & FrameStyleMask, FALSE, exStyle);

    bool centred = (flags & (CenterOnScreenFlag | CenterOnOwnerFlag)) != 0;
    if (x == DefaultPosition || (y == DefaultPosition && !centred)) {
        // Both together: with x defaulted, a real y would be taken as a show command.
        x = CW_USEDEFAULT;
        y = CW_USEDEFAULT;
    }

    HWND hwnd = CreateWindowExW(exStyle, className, title ? title : L"", style & CreationStyleMask, x, y,
                                outer.right - outer.left, outer.bottom - outer.top, owner, nullptr,
                                instance, nullptr);
    if (!hwnd) {
        UnregisterClassW(className, instance);
        ReleaseObject(registry, number);
        return 0;
    }
    record->hwnd = hwnd;

    if (centred) PlaceWindow(hwnd, flags, owner);
    if (!(flags & HiddenWindowFlag)) ShowWindow(hwnd, ShowCommandFor(style, inactive));
    record->sizedState = (style & (WS_MINIMIZE | WS_MAXIMIZE)) ? 1 : 0;

    record->accelerators = static_cast<ACCEL*>(MainHeapAlloc(sizeof(ACCEL) * AcceleratorCount));
    if (record->accelerators) {
        record->accelerators[0].fVirt = FVIRTKEY | FNOINVERT;
        record->accelerators[0].key = VK_TAB;
        record->accelerators[0].cmd = NextTabStopID;
        record->accelerators[1].fVirt = FVIRTKEY | FNOINVERT | FSHIFT;
        record->accelerators[1].key = VK_TAB;
        record->accelerators[1].cmd = PreviousTabStopID;
        record->acceleratorTable = CreateAcceleratorTableW(record->accelerators, AcceleratorCount);
    }
    record->acceleratorCount = AcceleratorCount;

    if (!(flags & KeepGadgetListFlag)) SetCurrentGadgetList(hwnd);
    // Last: until now the window's messages find no number of their own.
    MarkWindowNumber(hwnd, number);

    return autoNumber ? number : reinterpret_cast<intptr_t>(hwnd);
}

void PlaceWindow(HWND hwnd, uint32_t flags, HWND owner) {
    RECT rect;
    if (!GetWindowRect(hwnd, &rect)) return;
    int w = rect.right - rect.left;
    int h = rect.bottom - rect.top;
    int x, y;
    if (flags & CenterOnScreenFlag) {
        // The full primary screen, not the work area; a window larger than it goes to 0.
        int sw = GetSystemMetrics(SM_CXSCREEN);
        int sh = GetSystemMetrics(SM_CYSCREEN);
        x = (sw - (w < sw ? w : sw)) / 2;
        y = (sh - (h < sh ? h : sh)) / 2;
    } else if (flags & CenterOnOwnerFlag) {
        HWND reference = owner ? owner : GetActiveWindow();
        RECT r;
        // Without a reference rectangle the window stays where it was created.
        if (!reference || !GetWindowRect(reference, &r)) return;
        x = r.left + ((r.right - r.left) - w) / 2;
        y = r.top + ((r.bottom - r.top) - h) / 2;
        if (x < 0) x = 0;
        if (y < 0) y = 0;
    } else {
        return;
    }
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

SavedGadgetList* SavedGadgetListOf(HWND hwnd) {
    if (!hwnd) return nullptr;
    wchar_t name[NameBufferLength];
    FormatGadgetStackName(name);
    return static_cast<SavedGadgetList*>(GetPropW(hwnd, name));
}

HWND SetCurrentGadgetList(HWND hwnd) {
    if (!GadgetLibrary()) return nullptr;
    HWND previous = CurrentGadgetTarget();
    if (!hwnd) return previous;

    if (SavedGadgetList* left = SavedGadgetListOf(previous)) SaveGadgetList(&left->list);

    SavedGadgetList* saved = SavedGadgetListOf(hwnd);
    if (saved) {
        EnterGadgetList(hwnd, &saved->list);
    } else {
        EnterGadgetList(hwnd, nullptr);
        saved = static_cast<SavedGadgetList*>(MainHeapAlloc(sizeof(SavedGadgetList)));
        if (saved) {
            saved->window = hwnd;
            wchar_t name[NameBufferLength];
            FormatGadgetStackName(name);
            SetPropW(hwnd, name, saved);
            saved->previousProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GadgetListWindowProc)));
        }
    }
    return previous;
}

LRESULT CALLBACK GadgetListWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    SavedGadgetList* saved = SavedGadgetListOf(hwnd);
    if (!saved) return DefWindowProcW(hwnd, message, wParam, lParam);
    WNDPROC previousProc = saved->previousProc;
    if (message == WM_NCDESTROY) {
        ForgetGadgetList(hwnd, &saved->list);
        MainHeapFree(saved);
        wchar_t name[NameBufferLength];
        FormatGadgetStackName(name);
        RemovePropW(hwnd, name);
    }
    if (previousProc) return CallWindowProcW(previousProc, hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The search for one open numbered window that owner owns.
struct OwnedWindowSearch {
    HWND owner;
    ObjectNumber found;
};

static BOOL CALLBACK FindOwnedNumberedWindow(HWND hwnd, LPARAM context) {
    OwnedWindowSearch* search = reinterpret_cast<OwnedWindowSearch*>(context);
    if (GetWindow(hwnd, GW_OWNER) != search->owner) return TRUE;
    ObjectNumber number = WindowNumberOf(hwnd);
    if (number == -1) return TRUE;
    const WindowRecord* record = static_cast<const WindowRecord*>(LookupObject(WindowRegistry(), number));
    if (!record || record->hwnd != hwnd) return TRUE;
    search->found = number;
    return FALSE;
}

// The platform destroys owned windows with their owner, which would leave their records with dead
// handles, their classes registered and their events queued. So they are released first, one at a
// time: a release changes the list being searched. No registry walk is used, since this runs inside
// the one that FreeWindowLibrary makes.
static void ReleaseOwnedWindows(HWND owner) {
    const DWORD thread = GetWindowThreadProcessId(owner, nullptr);
    for (;;) {
        OwnedWindowSearch search = {owner, -1};
        EnumThreadWindows(thread, FindOwnedNumberedWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found == -1) return;
        ReleaseWindow(search.found);
    }
}

void ReleaseWindow(ObjectNumber number) {
    ObjectRegistry* registry = WindowRegistry();
    if (number == -1) {
        ReleaseAllObjects(registry);
        return;
    }
    WindowRecord* record = static_cast<WindowRecord*>(LookupObject(registry, number));
    if (!record) return;
    HWND hwnd = record->hwnd;
    ReleaseOwnedWindows(hwnd);

    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner && !record->mdiClient) SetActiveWindow(owner);

    // The identity goes first: the destruction messages below belong to no numbered window.
    RemovePropW(hwnd, PropWindowId);
    WithdrawDropTarget(hwnd);

    if (record->mdiClient) {
        SendMessageW(record->mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(hwnd), 0);
    } else {
        DestroyWindow(hwnd);
        wchar_t className[NameBufferLength];
        FormatClassName(className, number);
        UnregisterClassW(className, GetModuleHandleW(nullptr));
    }

    if (record->accelerators) {
        MainHeapFree(record->accelerators);
        DestroyAcceleratorTable(record->acceleratorTable);
    }
    if (record->backgroundBrush) DeleteObject(record->backgroundBrush);

    PurgeWindowEvents(number);
    UnbindWindowCallbacks(number);
    ReleaseObject(registry, number);
}
