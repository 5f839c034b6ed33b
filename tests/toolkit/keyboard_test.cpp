// keyboard_test.cpp: the accelerator table chosen for the active window, the wait loop applying it,
// and the keyboard-cue updates.
#include <gtest/gtest.h>
#include <vector>
#include <richedit.h>
#include "runtime/object_registry.h"
#include "toolkit/events.h"
#include "toolkit/toolkit_test_seams.h"
#include "toolkit/keyboard.h"
#include "toolkit/window_record.h"

namespace {

std::vector<WPARAM> uiStateUpdates; // wParam of every WM_UPDATEUISTATE received
std::vector<WPARAM> commands;
std::vector<WPARAM> keyDowns;
const wchar_t UiStateProperty[] = L"KeyboardTestUiState";

// Wine's default window procedure keeps no UI state (WM_QUERYUISTATE always answers 0), so the test
// windows keep it themselves, the way the platform documents the two messages.
LRESULT CALLBACK CueProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYUISTATE:
        return reinterpret_cast<LRESULT>(GetPropW(hwnd, UiStateProperty));
    case WM_UPDATEUISTATE: {
        uiStateUpdates.push_back(wParam);
        uintptr_t state = reinterpret_cast<uintptr_t>(GetPropW(hwnd, UiStateProperty));
        if (LOWORD(wParam) == UIS_SET) state |= HIWORD(wParam);
        if (LOWORD(wParam) == UIS_CLEAR) state &= ~static_cast<uintptr_t>(HIWORD(wParam));
        SetPropW(hwnd, UiStateProperty, reinterpret_cast<HANDLE>(state));
        return 0;
    }
    case WM_NCDESTROY:
        RemovePropW(hwnd, UiStateProperty);
        break;
    case WM_COMMAND:
        commands.push_back(wParam);
        break;
    case WM_KEYDOWN:
        keyDowns.push_back(wParam);
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateCueWindow(HWND parent = nullptr) {
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = CueProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KeyboardTestWindow";
        atom = RegisterClassW(&wc);
    }
    DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW;
    return CreateWindowExW(0, L"KeyboardTestWindow", L"keys", style, 0, 0, 200, 200, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

LRESULT UiState(HWND hwnd) { return SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0); }

void SetUiState(HWND hwnd, uintptr_t state) { SetPropW(hwnd, UiStateProperty, reinterpret_cast<HANDLE>(state)); }

TEST(UpdateKeyboardCues, SendsTheUpdateOnlyWhenSomethingChanges) {
    HWND window = CreateCueWindow();
    ASSERT_NE(nullptr, window);
    const WPARAM hideBoth = 0x30001, showBoth = 0x30002;

    struct Case {
        uintptr_t before;
        int show;
        std::vector<WPARAM> sent;
        uintptr_t after;
    };
    const Case cases[] = {
        {0, 1, {}, 0},
        {UISF_HIDEFOCUS, 1, {showBoth}, 0},
        {UISF_HIDEACCEL, 1, {showBoth}, 0},
        {3, 1, {showBoth}, 0},
        {0, 0, {hideBoth}, 3},
        {UISF_HIDEFOCUS, 0, {hideBoth}, 3},
        {UISF_HIDEACCEL, 0, {hideBoth}, 3},
        {3, 0, {}, 3},
        {3 | UISF_ACTIVE, 0, {}, 3 | UISF_ACTIVE},
    };
    for (const Case& c : cases) {
        SetUiState(window, c.before);
        uiStateUpdates.clear();
        UpdateKeyboardCues(window, c.show);
        EXPECT_EQ(c.sent, uiStateUpdates) << "state " << c.before << " show " << c.show;
        EXPECT_EQ(static_cast<LRESULT>(c.after), UiState(window)) << "state " << c.before << " show " << c.show;
    }
    DestroyWindow(window);
}

// Gives a plain window the identity and record of toolkit window number, with a Tab accelerator
// table, in a registry of its own (the window library's globals are put back afterwards).
class Accelerators : public testing::Test {
protected:
    ObjectRegistry* savedRegistry = nullptr;
    WindowLibraryState* savedState = nullptr;
    ObjectRegistry* registry = nullptr;
    HWND window = nullptr;
    HACCEL table = nullptr;
    static const ObjectNumber number = 7;

    void SetUp() override {
        static bool started = false;
        if (!started && !EventLibrary()) InitEventLibrary();
        started = true;
        savedRegistry = WindowRegistry();
        savedState = WindowLibrary();
        registry = CreateObjectRegistry(sizeof(WindowRecord), 4, nullptr);
        SetWindowLibraryGlobals(registry, savedState);
        window = CreateCueWindow();
        ASSERT_NE(nullptr, window);
        ACCEL keys[2] = {{FVIRTKEY, VK_TAB, NextTabStopID}, {FVIRTKEY | FSHIFT, VK_TAB, PreviousTabStopID}};
        table = CreateAcceleratorTableW(keys, 2);
        WindowRecord* record = static_cast<WindowRecord*>(ClaimObject(registry, number));
        ASSERT_NE(nullptr, record);
        record->hwnd = window;
        record->acceleratorTable = table;
        SetPropW(window, PropWindowId, reinterpret_cast<HANDLE>(number + 1));
        BYTE keysUp[256] = {};
        SetKeyboardState(keysUp);
    }
    void TearDown() override {
        BYTE keysUp[256] = {};
        SetKeyboardState(keysUp);
        RemovePropW(window, PropWindowId);
        DestroyWindow(window);
        DestroyAcceleratorTable(table);
        SetWindowLibraryGlobals(savedRegistry, savedState);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    void PressOnly(std::initializer_list<int> keys) {
        BYTE state[256] = {};
        for (int key : keys) state[key] = 0x80;
        SetKeyboardState(state);
    }
};

TEST_F(Accelerators, TheRecordsTableForAToolkitWindowOfThisProcess) {
    EXPECT_EQ(table, AcceleratorsForWindow(window));
    EXPECT_EQ(nullptr, AcceleratorsForWindow(nullptr));
    RemovePropW(window, PropWindowId);
    EXPECT_EQ(nullptr, AcceleratorsForWindow(window)) << "no identity property";
    SetPropW(window, PropWindowId, reinterpret_cast<HANDLE>(number + 2));
    EXPECT_EQ(nullptr, AcceleratorsForWindow(window)) << "no record for that number";
    SetPropW(window, PropWindowId, reinterpret_cast<HANDLE>(number + 1));
    SetWindowLibraryGlobals(nullptr, savedState);
    EXPECT_EQ(nullptr, AcceleratorsForWindow(window)) << "window library not started";
}

TEST_F(Accelerators, NeverForAWindowOfAnotherProcess) {
    HWND desktop = GetDesktopWindow();
    DWORD process = 0;
    GetWindowThreadProcessId(desktop, &process);
    if (process == GetCurrentProcessId()) GTEST_SKIP() << "the desktop window belongs to this process here";
    ASSERT_TRUE(SetPropW(desktop, PropWindowId, reinterpret_cast<HANDLE>(number + 1)));
    HACCEL found = AcceleratorsForWindow(desktop);
    RemovePropW(desktop, PropWindowId);
    EXPECT_EQ(nullptr, found);
}

TEST_F(Accelerators, FocusWithHotkeyPropertyGetsNoTable) {
    HWND child = CreateCueWindow(window);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(child);
    ASSERT_EQ(child, GetFocus());
    EXPECT_EQ(table, AcceleratorsForWindow(window));
    SetPropW(child, PropHotkey, reinterpret_cast<HANDLE>(1));
    EXPECT_EQ(nullptr, AcceleratorsForWindow(window));
    RemovePropW(child, PropHotkey);
}

TEST_F(Accelerators, WritableRichEditKeepsPlainTab) {
    ASSERT_NE(nullptr, LoadLibraryW(L"riched20.dll"));
    HWND rich = CreateWindowExW(0, RICHEDIT_CLASSW, L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 100, 50,
                                window, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, rich);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(rich);
    ASSERT_EQ(rich, GetFocus());

    PressOnly({VK_TAB});
    EXPECT_EQ(nullptr, AcceleratorsForWindow(window)) << "writable: Tab goes to the control";
    PressOnly({VK_TAB, VK_SHIFT});
    EXPECT_EQ(table, AcceleratorsForWindow(window)) << "Shift+Tab still moves the focus";
    PressOnly({});
    EXPECT_EQ(table, AcceleratorsForWindow(window)) << "Tab not down";
    SendMessageW(rich, EM_SETOPTIONS, ECOOP_OR, ECO_READONLY);
    PressOnly({VK_TAB});
    EXPECT_EQ(table, AcceleratorsForWindow(window)) << "read-only: Tab moves the focus";
}

TEST_F(Accelerators, ModifierDownShowsTheCues) {
    SetUiState(window, 3);
    AcceleratorsForWindow(window);
    EXPECT_EQ(3, UiState(window) & 3) << "no modifier down";
    for (int key : {VK_CONTROL, VK_SHIFT, VK_MENU}) {
        SetUiState(window, 3);
        PressOnly({key});
        AcceleratorsForWindow(window);
        EXPECT_EQ(0, UiState(window) & 3) << "key " << key;
    }
}

TEST_F(Accelerators, WaitLoopTranslatesTabForTheActiveWindow) {
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    ASSERT_EQ(window, GetActiveWindow());
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    while (TakeNextEvent()) {
    }
    SetUiState(window, 3);
    commands.clear();
    keyDowns.clear();

    PostMessageW(window, WM_KEYDOWN, VK_TAB, 0x000F0001);
    EXPECT_EQ(WM_KEYDOWN, WaitEventTimeout(200));
    EXPECT_EQ(std::vector<WPARAM>{MAKEWPARAM(NextTabStopID, 1)}, commands) << "the accelerator's command";
    EXPECT_TRUE(keyDowns.empty()) << "a translated key is not dispatched";
    EXPECT_EQ(0, UiState(window) & 3) << "cues shown after an accelerator";

    // Without a table the key is dispatched as it is.
    RemovePropW(window, PropWindowId);
    commands.clear();
    PostMessageW(window, WM_KEYDOWN, VK_TAB, 0x000F0001);
    EXPECT_EQ(WM_KEYDOWN, WaitEventTimeout(200));
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(std::vector<WPARAM>{VK_TAB}, keyDowns);
}

} // namespace
