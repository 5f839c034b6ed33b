// windows_test.cpp: numbered windows: classes, flags, sizes, placement, gadget lists and release order.
#include <gtest/gtest.h>
#include <string>
#include "tests/toolkit/toolkit_test_support.h"
#include "toolkit/gadget_library.h"
#include "toolkit/gadget_record.h"
#include "toolkit/window_messages.h"
#include "toolkit/window_record.h"

namespace {

const uint32_t MainWindowFlags = 0xCA0001;
// Bits the platform adds to every top-level window on its own.
const DWORD PlatformStyleBits = WS_CLIPSIBLINGS | WS_VISIBLE;

bool ClassExists(const wchar_t* name) {
    WNDCLASSW info;
    return GetClassInfoW(GetModuleHandleW(nullptr), name, &info) != FALSE;
}

SIZE ClientSize(HWND hwnd) {
    RECT r = {};
    GetClientRect(hwnd, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT WindowRectOf(HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

WindowRecord* RecordOf(ObjectNumber number) {
    return static_cast<WindowRecord*>(LookupObject(WindowRegistry(), number));
}

class WindowsTest : public OpenWindowsTest {};

// What the thread-wide hook saw when the second window 0 was being created.
struct ReopenObservation {
    HWND oldWindow;
    bool sawNewWindow;
    bool oldWindowAliveThen;
};
ReopenObservation reopen;

LRESULT ObserveReopen(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message == WM_NCCREATE && hwnd != reopen.oldWindow && !reopen.sawNewWindow) {
        reopen.sawNewWindow = true;
        reopen.oldWindowAliveThen = IsWindow(reopen.oldWindow) != FALSE;
    }
    return HookNotHandled;
}

TEST_F(WindowsTest, ReopeningANumberReleasesTheOldWindowAndClassFirst) {
    HWND first = reinterpret_cast<HWND>(OpenNumberedWindow(0, 10, 10, 200, 100, L"first", HiddenWindowFlag));
    ASSERT_NE(first, nullptr);
    wchar_t name[64] = {};
    GetClassNameW(first, name, 64);
    EXPECT_STREQ(name, L"WindowClass_0");
    EXPECT_TRUE(ClassExists(L"WindowClass_0"));
    EXPECT_EQ(GetPropW(first, L"Zorv_WindowID"), reinterpret_cast<HANDLE>(1));

    reopen = ReopenObservation{first, false, true};
    WindowLibrary()->messageHook = ObserveReopen;
    HWND second = reinterpret_cast<HWND>(OpenNumberedWindow(0, 10, 10, 200, 100, L"second", HiddenWindowFlag));
    WindowLibrary()->messageHook = nullptr;
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(reopen.sawNewWindow);
    EXPECT_FALSE(reopen.oldWindowAliveThen) << "the old window must be gone before the new one is created";
    EXPECT_FALSE(IsWindow(first));
    // Had the class been registered before the old one was unregistered, it would be missing now.
    EXPECT_TRUE(ClassExists(L"WindowClass_0"));
    ASSERT_NE(RecordOf(0), nullptr);
    EXPECT_EQ(RecordOf(0)->hwnd, second);

    ReleaseWindow(0);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(ClassExists(L"WindowClass_0"));
    EXPECT_EQ(RecordOf(0), nullptr);
}

TEST_F(WindowsTest, ReleaseFreesAcceleratorsAndPurgesTheWindowsEvents) {
    HWND hwnd = reinterpret_cast<HWND>(OpenNumberedWindow(3, 0, 0, 100, 100, L"", HiddenWindowFlag));
    ASSERT_NE(hwnd, nullptr);
    PumpEvents();
    HACCEL table = RecordOf(3)->acceleratorTable;
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(CopyAcceleratorTableW(table, nullptr, 0), 2);

    RaiseEvent(WindowMovedEvent, 3, 3, 0);
    RaiseEvent(WindowClosedEvent, 3, 3, 0);
    ReleaseWindow(3);
    EXPECT_EQ(CopyAcceleratorTableW(table, nullptr, 0), 0) << "the accelerator table is destroyed";
    std::vector<SeenEvent> events = PumpEvents();
    EXPECT_EQ(CountOf(events, WindowMovedEvent), 0u);
    EXPECT_EQ(CountOf(events, WindowClosedEvent), 0u);
}

TEST_F(WindowsTest, ReleasingAnOwnerReleasesTheNumberedWindowsItOwnsFirst) {
    HWND owner = reinterpret_cast<HWND>(OpenNumberedWindow(1, 0, 0, 100, 100, L"owner", HiddenWindowFlag));
    ASSERT_NE(owner, nullptr);
    HWND owned = reinterpret_cast<HWND>(OpenNumberedOwnedWindow(2, 0, 0, 80, 80, L"owned", HiddenWindowFlag, owner));
    intptr_t dynamic = OpenNumberedOwnedWindow(AutoNumber, 0, 0, 60, 60, L"", HiddenWindowFlag, owned);
    ASSERT_TRUE(owned && dynamic);
    HWND dynamicWindow = RecordOf(dynamic)->hwnd;
    HWND stranger = reinterpret_cast<HWND>(OpenNumberedWindow(3, 0, 0, 50, 50, L"", HiddenWindowFlag));
    PumpEvents();
    HACCEL table = RecordOf(2)->acceleratorTable;
    wchar_t dynamicClass[64];
    FormatText(dynamicClass, L"WindowClass_%d", static_cast<int>(dynamic));
    RaiseEvent(WindowClosedEvent, 2, 2, 0);
    RaiseEvent(WindowClosedEvent, dynamic, dynamic, 0);

    ReleaseWindow(1);
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(IsWindow(dynamicWindow));
    EXPECT_EQ(RecordOf(2), nullptr) << "no record left with a dead handle";
    EXPECT_EQ(RecordOf(dynamic), nullptr);
    EXPECT_FALSE(ClassExists(L"WindowClass_2"));
    EXPECT_FALSE(ClassExists(dynamicClass));
    EXPECT_EQ(CopyAcceleratorTableW(table, nullptr, 0), 0) << "the owned window's accelerators are destroyed";
    EXPECT_EQ(CountOf(PumpEvents(), WindowClosedEvent), 0u) << "its queued events are purged";
    // An unrelated window is left alone.
    EXPECT_TRUE(IsWindow(stranger));
    EXPECT_NE(RecordOf(3), nullptr);
}

TEST_F(WindowsTest, TheMainWindowsFlagsGiveItsStyleSizeAndPlace) {
    HWND hwnd = reinterpret_cast<HWND>(OpenNumberedWindow(0, 0, 0, 640, 480, L"PNG text chunks", MainWindowFlags));
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)) & ~PlatformStyleBits, 0x00CA0000u);
    EXPECT_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    SIZE client = ClientSize(hwnd);
    EXPECT_EQ(client.cx, 640);
    EXPECT_EQ(client.cy, 480);
    RECT r = WindowRectOf(hwnd);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);
    wchar_t title[64] = {};
    GetWindowTextW(hwnd, title, 64);
    EXPECT_STREQ(title, L"PNG text chunks");

    EXPECT_EQ(GetPropW(hwnd, L"Zorv_WindowID"), reinterpret_cast<HANDLE>(1));
    EXPECT_EQ(SetCurrentGadgetList(nullptr), hwnd);
    WindowRecord* record = RecordOf(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->sizedState, 0);
    ASSERT_EQ(record->acceleratorCount, 2);
    ACCEL entries[2] = {};
    ASSERT_EQ(CopyAcceleratorTableW(record->acceleratorTable, entries, 2), 2);
    EXPECT_EQ(entries[0].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), FVIRTKEY);
    EXPECT_EQ(entries[0].key, VK_TAB);
    EXPECT_EQ(entries[0].cmd, NextTabStopID);
    EXPECT_EQ(entries[1].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), FVIRTKEY | FSHIFT);
    EXPECT_EQ(entries[1].key, VK_TAB);
    EXPECT_EQ(entries[1].cmd, PreviousTabStopID);
}

TEST_F(WindowsTest, FlagsZeroAndHiddenGetACaptionAndTheClientSizeAsked) {
    HWND plain = reinterpret_cast<HWND>(OpenNumberedWindow(1, 30, 40, 300, 200, nullptr, 0));
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(IsWindowVisible(plain));
    EXPECT_TRUE(GetWindowLongW(plain, GWL_STYLE) & WS_CAPTION);
    EXPECT_EQ(ClientSize(plain).cx, 300);
    EXPECT_EQ(ClientSize(plain).cy, 200);
    EXPECT_EQ(WindowRectOf(plain).left, 30);
    EXPECT_EQ(WindowRectOf(plain).top, 40);
    EXPECT_EQ(GetWindowTextLengthW(plain), 0) << "a null title gives an empty caption";

    HWND hidden = reinterpret_cast<HWND>(OpenNumberedWindow(2, 30, 40, 250, 150, L"h", HiddenWindowFlag));
    ASSERT_NE(hidden, nullptr);
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_EQ(ClientSize(hidden).cx, 250);
    EXPECT_EQ(ClientSize(hidden).cy, 150);
    EXPECT_EQ(GetWindowLongW(hidden, GWL_STYLE) & (WS_VISIBLE | WS_CLIPCHILDREN), 0);
}

TEST_F(WindowsTest, ToolWindowFlagDropsMinMaxAndSetsTheToolStyle) {
    uint32_t flags = ToolWindowFlag | HiddenWindowFlag | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
    HWND hwnd = reinterpret_cast<HWND>(OpenNumberedWindow(1, 0, 0, 220, 120, L"tool", flags));
    ASSERT_NE(hwnd, nullptr);
    DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_MINIMIZE | WS_MAXIMIZE), 0u);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME));
    EXPECT_EQ(ClientSize(hwnd).cx, 220);
    EXPECT_EQ(ClientSize(hwnd).cy, 120);
}

TEST_F(WindowsTest, CentringOnTheScreenAndOnTheOwner) {
    HWND centred = reinterpret_cast<HWND>(
        OpenNumberedWindow(1, 5, 5, 300, 200, L"", CenterOnScreenFlag | HiddenWindowFlag));
    ASSERT_NE(centred, nullptr);
    RECT r = WindowRectOf(centred);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);

    // Larger than the screen: it goes to the corner.
    HWND huge = reinterpret_cast<HWND>(OpenNumberedWindow(
        2, 5, 5, GetSystemMetrics(SM_CXSCREEN) + 100, GetSystemMetrics(SM_CYSCREEN) + 100, L"",
        CenterOnScreenFlag | HiddenWindowFlag));
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(WindowRectOf(huge).left, 0);
    EXPECT_EQ(WindowRectOf(huge).top, 0);

    HWND owner = reinterpret_cast<HWND>(OpenNumberedWindow(3, 100, 150, 500, 400, L"owner", HiddenWindowFlag));
    ASSERT_NE(owner, nullptr);
    HWND owned = reinterpret_cast<HWND>(OpenNumberedOwnedWindow(
        4, 0, 0, 200, 100, L"owned", CenterOnOwnerFlag | HiddenWindowFlag, owner));
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    RECT o = WindowRectOf(owner);
    RECT w = WindowRectOf(owned);
    EXPECT_EQ(w.left, o.left + ((o.right - o.left) - (w.right - w.left)) / 2);
    EXPECT_EQ(w.top, o.top + ((o.bottom - o.top) - (w.bottom - w.top)) / 2);

    // Centring on an owner near the corner never gives negative coordinates.
    SetWindowPos(owner, nullptr, -300, -300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceWindow(owned, CenterOnOwnerFlag, owner);
    EXPECT_EQ(WindowRectOf(owned).left, 0);
    EXPECT_EQ(WindowRectOf(owned).top, 0);
}

TEST_F(WindowsTest, ThePositionMarkerAsksThePlatformForItsDefaultPosition) {
    // Where the platform puts a window that asks for the default position.
    HWND reference = CreateWindowExW(0, L"Static", L"", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(reference, nullptr);
    RECT expected = WindowRectOf(reference);
    DestroyWindow(reference);

    HWND byX = reinterpret_cast<HWND>(OpenNumberedWindow(1, -65535, 300, 100, 80, L"", HiddenWindowFlag));
    ASSERT_NE(byX, nullptr);
    EXPECT_EQ(WindowRectOf(byX).left, expected.left);
    EXPECT_EQ(WindowRectOf(byX).top, expected.top);

    // y alone: both coordinates default too (a real x with a default y would be taken literally).
    HWND byY = reinterpret_cast<HWND>(OpenNumberedWindow(2, 200, -65535, 100, 80, L"", HiddenWindowFlag));
    ASSERT_NE(byY, nullptr);
    EXPECT_EQ(WindowRectOf(byY).left, expected.left);
    EXPECT_EQ(WindowRectOf(byY).top, expected.top);

    // x with a centring flag: defaulted, then centred anyway.
    HWND centred = reinterpret_cast<HWND>(
        OpenNumberedWindow(3, -65535, 10, 100, 80, L"", CenterOnScreenFlag | HiddenWindowFlag));
    ASSERT_NE(centred, nullptr);
    RECT r = WindowRectOf(centred);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
}

TEST_F(WindowsTest, AutoNumberWindowsAreNamedByTheirRecordAddress) {
    intptr_t number = OpenNumberedWindow(AutoNumber, 0, 0, 100, 100, L"", HiddenWindowFlag);
    ASSERT_NE(number, 0);
    WindowRecord* record = RecordOf(number);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(reinterpret_cast<intptr_t>(record), number);
    EXPECT_EQ(GetPropW(record->hwnd, L"Zorv_WindowID"), reinterpret_cast<HANDLE>(number + 1));
    wchar_t expected[64];
    FormatText(expected, L"WindowClass_%d", static_cast<int>(number));
    wchar_t name[64] = {};
    GetClassNameW(record->hwnd, name, 64);
    EXPECT_STREQ(name, expected);
    HWND hwnd = record->hwnd;
    ReleaseWindow(number);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(RecordOf(number), nullptr);
    EXPECT_FALSE(ClassExists(expected));
}

TEST_F(WindowsTest, NumbersTooLargeForTheSlotArrayOpenNothingAndLeaveWindowZeroOpen) {
    HWND zero = reinterpret_cast<HWND>(OpenNumberedWindow(0, 0, 0, 100, 100, L"zero", HiddenWindowFlag));
    ASSERT_NE(zero, nullptr);
    const ObjectNumber wrapping = (ObjectNumber(1) << 30) - 16; // number + 16 slots of 4 bytes wrap
    for (ObjectNumber number : {wrapping - 1, wrapping, wrapping + 1, ObjectNumber(1) << 30}) {
        EXPECT_EQ(OpenNumberedWindow(number, 0, 0, 100, 100, L"", HiddenWindowFlag), 0) << number;
        wchar_t name[64];
        FormatText(name, L"WindowClass_%d", static_cast<int>(number));
        EXPECT_FALSE(ClassExists(name)) << number;
    }
    EXPECT_TRUE(IsWindow(zero));
    ASSERT_NE(RecordOf(0), nullptr);
    EXPECT_EQ(RecordOf(0)->hwnd, zero);
    EXPECT_TRUE(ClassExists(L"WindowClass_0"));
}

TEST_F(WindowsTest, GadgetListsFollowTheWindowsAndForgetDestroyedOnes) {
    HWND a = reinterpret_cast<HWND>(OpenNumberedWindow(1, 0, 0, 100, 100, L"a", HiddenWindowFlag));
    HWND b = reinterpret_cast<HWND>(OpenNumberedWindow(2, 0, 0, 100, 100, L"b", HiddenWindowFlag));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(SetCurrentGadgetList(nullptr), b);
    HWND kept = reinterpret_cast<HWND>(
        OpenNumberedWindow(3, 0, 0, 100, 100, L"kept", HiddenWindowFlag | KeepGadgetListFlag));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(SetCurrentGadgetList(nullptr), b) << "KeepGadgetListFlag leaves the current list alone";
    EXPECT_EQ(SavedGadgetListOf(kept), nullptr);

    ASSERT_NE(SavedGadgetListOf(a), nullptr);
    EXPECT_EQ(SavedGadgetListOf(a)->window, a);
    EXPECT_EQ(GetWindowLongPtrW(a, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(GadgetListWindowProc));
    EXPECT_EQ(SavedGadgetListOf(a)->previousProc, TopLevelWindowProc);

    EXPECT_EQ(SetCurrentGadgetList(a), b);
    EXPECT_EQ(SetCurrentGadgetList(nullptr), a);
    // Gadgets go where the list is.
    HWND box = reinterpret_cast<HWND>(CreateTextBox(7, 0, 0, 50, 20, L"", 0));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetParent(box), a);

    EXPECT_EQ(SetCurrentGadgetList(b), a);
    EXPECT_EQ(SetCurrentGadgetList(nullptr), b);
    ReleaseWindow(2);
    EXPECT_EQ(SetCurrentGadgetList(nullptr), nullptr) << "a destroyed window is no gadget list";
    EXPECT_EQ(CreateTextBox(8, 0, 0, 50, 20, L"", 0), 0);
    EXPECT_EQ(LookupObject(GadgetRegistry(), 8), nullptr);
}

TEST_F(WindowsTest, FormatTextWritesWideDecimals) {
    wchar_t buffer[64];
    EXPECT_EQ(FormatText(buffer, L"WindowClass_%d", -2147483647 - 1), 23);
    EXPECT_STREQ(buffer, L"WindowClass_-2147483648");
    FormatText(buffer, L"Zorv_GadgetStack_%i", 4194304);
    EXPECT_STREQ(buffer, L"Zorv_GadgetStack_4194304");
}

} // namespace
