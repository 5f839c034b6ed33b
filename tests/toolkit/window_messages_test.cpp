// window_messages_test.cpp: window messages become events; close, size, activation, commands and Tab keys.
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include "tests/toolkit/toolkit_test_support.h"
#include "toolkit/gadget_library.h"
#include "toolkit/gadget_record.h"
#include "toolkit/window_messages.h"
#include "toolkit/window_record.h"

namespace {

const uint32_t MainWindowFlags = 0xCA0001;
const uint32_t TextBoxFlags = 0x200007;

WindowRecord* RecordOf(ObjectNumber number) {
    return static_cast<WindowRecord*>(LookupObject(WindowRegistry(), number));
}

HWND OpenWindow(ObjectNumber number, uint32_t flags = MainWindowFlags, int width = 640, int height = 480) {
    HWND hwnd = reinterpret_cast<HWND>(OpenNumberedWindow(number, 0, 0, width, height, L"PNG text chunks", flags));
    PumpEvents(30);
    return hwnd;
}

class WindowMessagesTest : public OpenWindowsTest {};

TEST_F(WindowMessagesTest, ACloseRequestQueuesOneEventAndLeavesTheWindowOpen) {
    HWND hwnd = OpenWindow(0);
    ASSERT_NE(hwnd, nullptr);
    ActivateWindow(hwnd);

    // The system menu's close command (what the close box sends).
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::vector<SeenEvent> closed = EventsWithCode(PumpEvents(30), WindowClosedEvent);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].object, 0);
    EXPECT_EQ(closed[0].window, 0);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(IsWindowVisible(hwnd));

    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(CountOf(PumpEvents(30), WindowClosedEvent), 1u);
    EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(WindowMessagesTest, MinimiseThenRestoreGivesMinimizedRestoredResized) {
    HWND hwnd = OpenWindow(0);
    ASSERT_NE(hwnd, nullptr);
    ShowWindow(hwnd, SW_MINIMIZE);
    std::vector<SeenEvent> minimised = PumpEvents(30);
    EXPECT_EQ(RecordOf(0)->sizedState, 1);
    ShowWindow(hwnd, SW_RESTORE);
    std::vector<SeenEvent> restored = PumpEvents(30);
    minimised.insert(minimised.end(), restored.begin(), restored.end());
    std::vector<int32_t> sizing = OnlyCodes(
        minimised, {WindowMinimizedEvent, WindowMaximizedEvent, WindowRestoredEvent, WindowResizedEvent});
    EXPECT_EQ(sizing, (std::vector<int32_t>{WindowMinimizedEvent, WindowRestoredEvent, WindowResizedEvent}));
    for (const SeenEvent& e : minimised) {
        if (e.code == WindowMinimizedEvent || e.code == WindowRestoredEvent || e.code == WindowResizedEvent) {
            EXPECT_EQ(e.window, 0);
            EXPECT_EQ(e.object, 0);
        }
    }
    EXPECT_EQ(RecordOf(0)->sizedState, 0);
}

TEST_F(WindowMessagesTest, MaximiseThenRestoreAndPlainResizes) {
    HWND hwnd = OpenWindow(0, 0x00CF0000 | CenterOnScreenFlag, 300, 200);
    ASSERT_NE(hwnd, nullptr);
    ShowWindow(hwnd, SW_MAXIMIZE);
    std::vector<int32_t> sizing = OnlyCodes(
        PumpEvents(30), {WindowMinimizedEvent, WindowMaximizedEvent, WindowRestoredEvent, WindowResizedEvent});
    EXPECT_EQ(sizing, (std::vector<int32_t>{WindowMaximizedEvent, WindowResizedEvent}));
    ShowWindow(hwnd, SW_RESTORE);
    sizing = OnlyCodes(PumpEvents(30), {WindowMinimizedEvent, WindowMaximizedEvent, WindowRestoredEvent,
                                        WindowResizedEvent});
    EXPECT_EQ(sizing, (std::vector<int32_t>{WindowRestoredEvent, WindowResizedEvent}));

    // Not minimised or maximised before: a size change is only a resize.
    SetWindowPos(hwnd, nullptr, 0, 0, 350, 250, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    sizing = OnlyCodes(PumpEvents(30), {WindowMinimizedEvent, WindowMaximizedEvent, WindowRestoredEvent,
                                        WindowResizedEvent});
    EXPECT_EQ(sizing, (std::vector<int32_t>{WindowResizedEvent}));

    SetWindowPos(hwnd, nullptr, 17, 19, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    std::vector<SeenEvent> moved = EventsWithCode(PumpEvents(30), WindowMovedEvent);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].object, 0);
    EXPECT_EQ(moved[0].window, 0);
}

TEST_F(WindowMessagesTest, TheFirstActivationHappensBeforeTheWindowHasItsNumber) {
    HWND other = OpenWindow(1, MainWindowFlags, 100, 100);
    ASSERT_NE(other, nullptr);
    HWND hwnd = reinterpret_cast<HWND>(OpenNumberedWindow(0, 0, 0, 200, 100, L"", MainWindowFlags));
    ASSERT_NE(hwnd, nullptr);
    ASSERT_EQ(GetActiveWindow(), hwnd);
    std::vector<SeenEvent> activated = EventsWithCode(PumpEvents(30), WindowActivatedEvent);
    ASSERT_FALSE(activated.empty());
    EXPECT_EQ(activated[0].window, -1);
    // Later activations carry the number.
    ActivateWindow(other);
    std::vector<SeenEvent> later = EventsWithCode(ActivateWindow(hwnd), WindowActivatedEvent);
    ASSERT_FALSE(later.empty());
    EXPECT_EQ(later.back().window, 0);
}

TEST_F(WindowMessagesTest, FocusGoesBackToTheSavedControlOnReactivation) {
    HWND main = OpenWindow(0);
    ASSERT_NE(main, nullptr);
    HWND first = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 640, 200, L"", TextBoxFlags));
    HWND second = reinterpret_cast<HWND>(CreateTextBox(1, 0, 200, 640, 200, L"", TextBoxFlags));
    ASSERT_TRUE(first && second);
    ActivateWindow(main);
    SetFocus(second);
    PumpEvents(20);
    ASSERT_EQ(GetFocus(), second);

    HWND other = reinterpret_cast<HWND>(OpenNumberedWindow(1, 0, 0, 200, 100, L"other", MainWindowFlags));
    ASSERT_NE(other, nullptr);
    std::vector<SeenEvent> deactivated = EventsWithCode(ActivateWindow(other), WindowDeactivatedEvent);
    EXPECT_EQ(GetPropW(main, L"Zorv_Focus"), second);
    EXPECT_NE(GetFocus(), second);
    ASSERT_FALSE(deactivated.empty());
    EXPECT_EQ(deactivated.front().window, 0);

    std::vector<SeenEvent> activated = EventsWithCode(ActivateWindow(main), WindowActivatedEvent);
    EXPECT_EQ(GetFocus(), second);
    ASSERT_FALSE(activated.empty());
    EXPECT_EQ(activated.back().window, 0);
}

class TabKeysTest : public WindowMessagesTest {
protected:
    HWND main = nullptr;
    void OpenWithBoxes(int count) {
        main = OpenWindow(0);
        ASSERT_NE(main, nullptr);
        for (int i = 0; i < count; i++) {
            boxes[i] = reinterpret_cast<HWND>(CreateTextBox(i, 0, 100 * i, 640, 100, L"", TextBoxFlags));
            ASSERT_NE(boxes[i], nullptr);
        }
        ActivateWindow(main);
        SetFocus(boxes[0]);
        PumpEvents(20);
        ASSERT_EQ(GetFocus(), boxes[0]);
        // The keyboard reaches the box: typed text arrives.
        PressKey('A');
        PumpEvents(50);
        ASSERT_EQ(ReadGadgetText(0), L"a") << "keyboard input does not reach the focused text box";
    }
    void Press(WORD key, bool shift = false) {
        PressKey(key, shift);
        PumpEvents(50);
    }
    HWND boxes[3] = {};
};

TEST_F(TabKeysTest, TabAndShiftTabAlternateBetweenTwoTextBoxes) {
    ASSERT_NO_FATAL_FAILURE(OpenWithBoxes(2));
    PumpEvents();
    Press(VK_TAB);
    EXPECT_EQ(GetFocus(), boxes[1]);
    Press(VK_TAB);
    EXPECT_EQ(GetFocus(), boxes[0]) << "forward from the last tab stop wraps to the first";
    Press(VK_TAB, true);
    EXPECT_EQ(GetFocus(), boxes[1]) << "backward from the first tab stop wraps to the last";
    Press(VK_TAB, true);
    EXPECT_EQ(GetFocus(), boxes[0]);
    EXPECT_EQ(ReadGadgetText(0), L"a");
    EXPECT_EQ(ReadGadgetText(1), L"");
}

TEST_F(TabKeysTest, FocusChangesByTabRaiseGadgetFocusEvents) {
    ASSERT_NO_FATAL_FAILURE(OpenWithBoxes(2));
    PumpEvents();
    PressKey(VK_TAB);
    std::vector<SeenEvent> events = EventsWithCode(PumpEvents(50), GadgetNotifyEvent);
    bool lost = false, gained = false;
    for (const SeenEvent& e : events) {
        EXPECT_EQ(e.window, 0);
        if (e.object == 0 && e.subtype == FocusLostSubtype) lost = true;
        if (e.object == 1 && e.subtype == FocusGainedSubtype) gained = lost; // after the loss
    }
    EXPECT_TRUE(lost);
    EXPECT_TRUE(gained);
}

TEST_F(TabKeysTest, ASingleTabStopKeepsTheFocusAndTakesNoTab) {
    ASSERT_NO_FATAL_FAILURE(OpenWithBoxes(1));
    Press(VK_TAB);
    EXPECT_EQ(GetFocus(), boxes[0]);
    Press(VK_TAB, true);
    EXPECT_EQ(GetFocus(), boxes[0]);
    EXPECT_EQ(ReadGadgetText(0), L"a") << "no tab character reaches the text box";
}

TEST_F(TabKeysTest, DisabledAndHiddenControlsAreNoTabStops) {
    ASSERT_NO_FATAL_FAILURE(OpenWithBoxes(3));
    EnableWindow(boxes[1], FALSE);
    Press(VK_TAB);
    EXPECT_EQ(GetFocus(), boxes[2]);
    EnableWindow(boxes[1], TRUE);
    ShowWindow(boxes[0], SW_HIDE);
    Press(VK_TAB);
    EXPECT_EQ(GetFocus(), boxes[1]);
    Press(VK_TAB, true);
    EXPECT_EQ(GetFocus(), boxes[2]);
}

TEST_F(WindowMessagesTest, MoveFocusFromAControlThatIsNoTabStop) {
    HWND main = OpenWindow(0);
    ASSERT_NE(main, nullptr);
    HWND first = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 100, 20, L"", 0));
    HWND plain = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 30, 100, 20, main, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    HWND last = reinterpret_cast<HWND>(CreateTextBox(1, 0, 60, 100, 20, L"", 0));
    ASSERT_TRUE(first && plain && last);
    ActivateWindow(main);
    SetFocus(plain);
    MoveFocus(0);
    EXPECT_EQ(GetFocus(), plain) << "forward from a control that is no tab stop changes nothing";
    MoveFocus(1);
    EXPECT_EQ(GetFocus(), last) << "backward from it goes to the last tab stop";
    MoveFocus(1);
    EXPECT_EQ(GetFocus(), first);
    // The window itself focused (no control): forward takes the first tab stop.
    SetFocus(main);
    MoveFocus(0);
    EXPECT_EQ(GetFocus(), first);
}

TEST_F(WindowMessagesTest, CommandsBecomeMenuAndGadgetEventsOrMoveTheFocus) {
    HWND main = OpenWindow(0);
    ASSERT_NE(main, nullptr);
    HWND first = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 100, 20, L"", 0));
    HWND second = reinterpret_cast<HWND>(CreateTextBox(1, 0, 30, 100, 20, L"", 0));
    HWND menuButton = CreateWindowExW(0, L"Button", L"m", WS_CHILD, 0, 60, 50, 20, main,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(-10000)),
                                      GetModuleHandleW(nullptr), nullptr);
    HWND button = CreateWindowExW(0, L"Button", L"b", WS_CHILD, 60, 60, 50, 20, main,
                                  reinterpret_cast<HMENU>(42), GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(first && second && menuButton && button);
    ActivateWindow(main);
    SetFocus(first);
    PumpEvents();

    EXPECT_EQ(SendMessageW(main, WM_COMMAND, MAKEWPARAM(77, 0), 0), 0);
    EXPECT_EQ(SendMessageW(main, WM_COMMAND, MAKEWPARAM(88, 1), 0), 0);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(LOWORD(-10000), BN_CLICKED), reinterpret_cast<LPARAM>(menuButton));
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(42, BN_DOUBLECLICKED), reinterpret_cast<LPARAM>(button));
    std::vector<SeenEvent> events = PumpEvents();
    std::vector<SeenEvent> menu = EventsWithCode(events, MenuCommandEvent);
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].object, 77);
    EXPECT_EQ(menu[1].object, 88);
    EXPECT_EQ(menu[2].object, LOWORD(-10000));
    for (const SeenEvent& e : menu) EXPECT_EQ(e.window, 0);
    std::vector<SeenEvent> gadget = EventsWithCode(events, GadgetNotifyEvent);
    ASSERT_EQ(gadget.size(), 1u);
    EXPECT_EQ(gadget[0].object, 42);
    EXPECT_EQ(gadget[0].subtype, BN_DOUBLECLICKED);

    // The Tab accelerators' commands move the focus and raise no command event.
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(NextTabStopID, 1), 0);
    EXPECT_EQ(GetFocus(), second);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(PreviousTabStopID, 1), 0);
    EXPECT_EQ(GetFocus(), first);
    EXPECT_EQ(CountOf(PumpEvents(), MenuCommandEvent), 0u);
}

TEST_F(WindowMessagesTest, ControlNotificationsReachTheirGadgetOnlyWhileTheNumbersAgree) {
    HWND main = OpenWindow(0);
    HWND box = reinterpret_cast<HWND>(CreateTextBox(5, 0, 0, 100, 20, L"", 0));
    ASSERT_TRUE(main && box);
    GadgetRecord* gadget = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), 5));
    ASSERT_NE(gadget, nullptr);
    SetTextBoxColor(gadget, GadgetBackgroundColor, RGB(10, 20, 30));
    HDC dc = GetDC(box);
    LRESULT brush = SendMessageW(main, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box));
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(gadget->backgroundBrush));
    EXPECT_EQ(GetBkColor(dc), RGB(10, 20, 30));
    EXPECT_EQ(ForwardToGadget(box, main, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box)),
              reinterpret_cast<LRESULT>(gadget->backgroundBrush));
    // Without its "Zorv_ID" the control is no gadget control.
    RemovePropW(box, L"Zorv_ID");
    EXPECT_EQ(ForwardToGadget(box, main, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box)),
              NotHandled);
    SetPropW(box, L"Zorv_ID", reinterpret_cast<HANDLE>(5));
    ReleaseDC(box, dc);
    EXPECT_EQ(ForwardToGadget(nullptr, main, WM_CTLCOLOREDIT, 0, 0), NotHandled);
    NMHDR header = {box, 5, 0};
    EXPECT_EQ(SendMessageW(main, WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&header)), 0)
        << "a notification the gadget does not handle goes to the default procedure";
}

TEST_F(WindowMessagesTest, AControlWithoutTheGadgetPropertyNeverReachesGadgetZero) {
    HWND main = OpenWindow(0);
    HWND box = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 100, 20, L"", 0));
    // Another child control, made without a menu: its identifier is 0, like gadget 0's.
    HWND stranger = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 30, 100, 20, main, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(main && box && stranger);
    ASSERT_EQ(GetWindowLongPtrW(stranger, GWLP_ID), 0);
    GadgetRecord* gadget = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), 0));
    ASSERT_NE(gadget, nullptr);
    SetTextBoxColor(gadget, GadgetBackgroundColor, RGB(10, 20, 30));
    HDC dc = GetDC(stranger);
    const WPARAM dcParam = reinterpret_cast<WPARAM>(dc);
    EXPECT_EQ(ForwardToGadget(stranger, main, WM_CTLCOLOREDIT, dcParam, reinterpret_cast<LPARAM>(stranger)),
              NotHandled);
    EXPECT_NE(SendMessageW(main, WM_CTLCOLOREDIT, dcParam, reinterpret_cast<LPARAM>(stranger)),
              reinterpret_cast<LRESULT>(gadget->backgroundBrush));
    EXPECT_NE(GetBkColor(dc), RGB(10, 20, 30));
    // Gadget 0 itself, whose property holds the value 0, still gets its colours.
    EXPECT_EQ(ForwardToGadget(box, main, WM_CTLCOLOREDIT, dcParam, reinterpret_cast<LPARAM>(box)),
              reinterpret_cast<LRESULT>(gadget->backgroundBrush));
    ReleaseDC(stranger, dc);
    DestroyWindow(stranger);
}

LRESULT ThreadHook(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_USER + 5 ? 1234 : HookNotHandled;
}
LRESULT WindowHook(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_USER + 5 ? 5678 : HookNotHandled;
}

LRESULT ThrowingHook(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_USER + 5) throw std::runtime_error("a hook failed");
    return HookNotHandled;
}

TEST_F(WindowMessagesTest, AnExceptionInsideTheWindowProcedureDoesNotLeaveIt) {
    HWND main = OpenWindow(0);
    ASSERT_NE(main, nullptr);
    WindowLibrary()->messageHook = ThrowingHook;
    // Through the platform's message dispatch, which an exception cannot cross.
    EXPECT_EQ(SendMessageW(main, WM_USER + 5, 0, 0), 0);
    PostMessageW(main, WM_USER + 5, 0, 0);
    PumpEvents();
    SendMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(CountOf(PumpEvents(), WindowClosedEvent), 1u) << "the window goes on working";
}

TEST_F(WindowMessagesTest, MessageHooksAnswerFirstUnlessTheyPassTheMessageOn) {
    HWND main = OpenWindow(0);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(SendMessageW(main, WM_USER + 5, 0, 0), 0);
    WindowLibrary()->messageHook = ThreadHook;
    EXPECT_EQ(SendMessageW(main, WM_USER + 5, 0, 0), 1234);
    RecordOf(0)->messageHook = WindowHook;
    EXPECT_EQ(SendMessageW(main, WM_USER + 5, 0, 0), 5678) << "the window's own hook comes first";
    // Passed on: the toolkit's own handling still runs.
    SendMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(CountOf(PumpEvents(), WindowClosedEvent), 1u);
}

TEST_F(WindowMessagesTest, SizeLimitsFillTheTrackingSizes) {
    HWND main = OpenWindow(0);
    ASSERT_NE(main, nullptr);
    WindowRecord* record = RecordOf(0);
    record->minWidth = 300;
    record->minHeight = 200;
    record->maxHeight = 700;
    MINMAXINFO info = {};
    info.ptMinTrackSize = {11, 12};
    info.ptMaxTrackSize = {13, 14};
    EXPECT_EQ(SendMessageW(main, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(info.ptMinTrackSize.x, 300);
    EXPECT_EQ(info.ptMinTrackSize.y, 200);
    EXPECT_EQ(info.ptMaxTrackSize.x, 13) << "a zero limit leaves the member alone";
    EXPECT_EQ(info.ptMaxTrackSize.y, 700);

    HWND tool = OpenWindow(1, ToolWindowFlag | HiddenWindowFlag, 100, 100);
    ASSERT_NE(tool, nullptr);
    info.ptMinTrackSize = {11, 12};
    SendMessageW(tool, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 1);
    EXPECT_EQ(info.ptMinTrackSize.y, 12);
}

int paintHookCalls;
HWND paintHookWindow;
LRESULT PaintHook(HDC, HWND hwnd) {
    paintHookCalls++;
    paintHookWindow = hwnd;
    return 55;
}

TEST_F(WindowMessagesTest, BackgroundBrushAndPaintHookEraseTheBackground) {
    HWND main = OpenWindow(0, MainWindowFlags, 40, 30);
    ASSERT_NE(main, nullptr);
    PumpEvents();
    HDC screen = GetDC(main);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 30);
    HGDIOBJ old = SelectObject(memory, bitmap);

    EXPECT_EQ(SendMessageW(main, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0), 1)
        << "no brush and no hook: the default procedure erases with the class brush";
    std::vector<SeenEvent> erased = EventsWithCode(PumpEvents(), BackgroundErasedEvent);
    ASSERT_EQ(erased.size(), 1u);
    EXPECT_EQ(erased[0].window, 0);

    RecordOf(0)->paintHook = PaintHook;
    EXPECT_EQ(SendMessageW(main, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0), 55);
    EXPECT_EQ(paintHookCalls, 1);
    EXPECT_EQ(paintHookWindow, main);

    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    RecordOf(0)->backgroundBrush = brush;
    EXPECT_EQ(SendMessageW(main, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0), 1);
    EXPECT_EQ(paintHookCalls, 1) << "the brush wins over the hook";
    EXPECT_EQ(GetPixel(memory, 5, 5), RGB(1, 2, 3));
    EXPECT_EQ(CountOf(PumpEvents(), BackgroundErasedEvent), 1u) << "identical events in a row merge";

    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(main, screen);
    ReleaseWindow(0);
    EXPECT_EQ(GetObjectType(brush), 0u) << "releasing the window deletes its brush";
}

TEST_F(WindowMessagesTest, TimersMouseButtonsAndClickNotifications) {
    HWND main = OpenWindow(0);
    ASSERT_NE(main, nullptr);
    PumpEvents();
    SetTimer(main, 9, 10, nullptr);
    std::vector<SeenEvent> timers = EventsWithCode(PumpEvents(100), TimerElapsedEvent);
    KillTimer(main, 9);
    ASSERT_FALSE(timers.empty());
    EXPECT_EQ(timers[0].object, 9);
    EXPECT_EQ(timers[0].window, 0);

    EXPECT_EQ(SendMessageW(main, WM_LBUTTONUP, 0, 0), 0);
    EXPECT_EQ(SendMessageW(main, WM_LBUTTONDBLCLK, 0, 0), 0);
    EXPECT_EQ(SendMessageW(main, WM_RBUTTONUP, 0, 0), 0);
    std::vector<int32_t> buttons = OnlyCodes(PumpEvents(), {LeftButtonUpEvent, LeftDoubleClickedEvent, RightButtonUpEvent});
    EXPECT_EQ(buttons, (std::vector<int32_t>{LeftButtonUpEvent, LeftDoubleClickedEvent, RightButtonUpEvent}));

    const UINT mouse[4] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(SendMessageW(main, ClickNotifyMessage, 60 + i, mouse[i]), 0);
        MSG posted;
        EXPECT_TRUE(PeekMessageW(&posted, main, WM_NULL, WM_NULL, PM_REMOVE)) << "a WM_NULL follows";
        std::vector<SeenEvent> clicks = EventsWithCode(PumpEvents(), ClickNotifyEvent);
        ASSERT_EQ(clicks.size(), 1u);
        EXPECT_EQ(clicks[0].object, 60 + i);
        EXPECT_EQ(clicks[0].subtype, i);
    }
    SendMessageW(main, ClickNotifyMessage, 1, WM_MOUSEMOVE);
    MSG posted;
    EXPECT_TRUE(PeekMessageW(&posted, main, WM_NULL, WM_NULL, PM_REMOVE));
    EXPECT_EQ(CountOf(PumpEvents(), ClickNotifyEvent), 0u);
}

int sysColorChanges;
WNDPROC countedProc;
LRESULT CALLBACK CountSysColorChange(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOLORCHANGE) sysColorChanges++;
    return CallWindowProcW(countedProc, hwnd, message, wParam, lParam);
}

TEST_F(WindowMessagesTest, RowsForSizeDestroyAndColourChangesOfUnusualWindows) {
    HWND main = OpenWindow(0);
    HWND box = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 100, 20, L"", 0));
    ASSERT_TRUE(main && box);
    // A child window has no number of its own: WM_SIZE answers 1.
    EXPECT_EQ(HandleWindowMessage(box, WM_SIZE, SIZE_RESTORED, 0), 1);
    // A window that claims a number nobody opened.
    HWND stray = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SetPropW(stray, L"Zorv_WindowID", reinterpret_cast<HANDLE>(1000));
    EXPECT_EQ(HandleWindowMessage(stray, WM_SIZE, SIZE_RESTORED, 0), NotHandled);
    EXPECT_EQ(HandleWindowMessage(stray, WM_TIMER, 1, 0), NotHandled);
    EXPECT_EQ(HandleWindowMessage(stray, WM_GETMINMAXINFO, 0, 0), NotHandled);
    EXPECT_EQ(HandleWindowMessage(stray, WM_CLOSE, 0, 0), 0);
    DestroyWindow(stray);
    EXPECT_EQ(CountOf(PumpEvents(), WindowClosedEvent), 0u) << "only a numbered window's own close counts";

    SetPropW(main, L"Zorv_Focus", box);
    EXPECT_EQ(HandleWindowMessage(main, WM_NCDESTROY, 0, 0), 1);
    EXPECT_EQ(GetPropW(main, L"Zorv_Focus"), nullptr);

    countedProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountSysColorChange)));
    sysColorChanges = 0;
    EXPECT_EQ(HandleWindowMessage(main, WM_SYSCOLORCHANGE, 0, 0), NotHandled);
    EXPECT_EQ(sysColorChanges, 1);
    SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countedProc));
    EXPECT_EQ(HandleWindowMessage(main, WM_CTLCOLORDLG, 0, 0), NotHandled);
    EXPECT_EQ(HandleWindowMessage(main, WM_SYSCOMMAND, SC_CLOSE, 0), NotHandled);
}

} // namespace
