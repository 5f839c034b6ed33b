// message_box_test.cpp: the thread's windows are disabled around a real message box and restored after it.
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include "runtime/message_box.h"

namespace {

const wchar_t* const WindowClassName = L"RuntimeMessageBoxTestWindow";

// What one window looked like at some moment.
struct WindowState {
    bool enabled = false;
    bool topmost = false;
};

WindowState StateOf(HWND window) {
    WindowState state;
    state.enabled = IsWindowEnabled(window) != FALSE;
    state.topmost = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    return state;
}

// Waits for an object while the calling thread keeps answering messages sent to its windows.
bool WaitPumping(HANDLE object, DWORD milliseconds) {
    DWORD end = GetTickCount() + milliseconds;
    for (;;) {
        DWORD now = GetTickCount();
        if (static_cast<int32_t>(end - now) <= 0) return false;
        DWORD result = MsgWaitForMultipleObjects(1, &object, FALSE, end - now, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) return true;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

HWND MakeWindow(const wchar_t* title, DWORD exStyle, bool visible) {
    HWND window = CreateWindowExW(exStyle, WindowClassName, title, WS_OVERLAPPEDWINDOW, 40, 40, 200, 120,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window && visible) ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

// A helper thread that waits for the message box of the given thread, notes the windows' states
// while it shows, and then presses one of its buttons.
struct BoxPresser {
    DWORD boxThread = 0;
    int button = IDOK;
    HWND watched[4] = {};
    WindowState during[4];
    HWND box = nullptr;
    HWND owner = nullptr;
    std::wstring text;
    std::atomic<bool> found{false};

    static BOOL CALLBACK FindBox(HWND window, LPARAM context) {
        BoxPresser* presser = reinterpret_cast<BoxPresser*>(context);
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (std::wstring(className) == L"#32770" && IsWindowVisible(window)) {
            presser->box = window;
            return FALSE;
        }
        return TRUE;
    }
    static DWORD WINAPI Run(void* context) {
        BoxPresser* presser = static_cast<BoxPresser*>(context);
        for (int attempt = 0; attempt < 500 && !presser->box; attempt++) {
            EnumThreadWindows(presser->boxThread, FindBox, reinterpret_cast<LPARAM>(presser));
            if (!presser->box) Sleep(20);
        }
        if (!presser->box) return 1;
        Sleep(50);  // let the box's thread finish showing it
        for (int i = 0; i < 4; i++) {
            if (presser->watched[i]) presser->during[i] = StateOf(presser->watched[i]);
        }
        presser->owner = GetWindow(presser->box, GW_OWNER);
        wchar_t text[256] = {};
        GetDlgItemTextW(presser->box, 0xFFFF, text, 256);
        presser->text = text;
        presser->found = true;
        HWND button = GetDlgItem(presser->box, presser->button);
        if (button) {
            PostMessageW(button, BM_CLICK, 0, 0);
        } else {
            PostMessageW(presser->box, WM_CLOSE, 0, 0);
        }
        return 0;
    }
};

// Shows a box on this thread while a presser thread answers it; returns the box's result.
int ShowAndPress(BoxPresser& presser, const wchar_t* text, UINT style) {
    presser.boxThread = GetCurrentThreadId();
    HANDLE thread = CreateThread(nullptr, 0, BoxPresser::Run, &presser, 0, nullptr);
    int result = ShowMessageBox(L"Box test", text, style);
    WaitForSingleObject(thread, 15000);
    CloseHandle(thread);
    return result;
}

class MessageBoxTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = WindowClassName;
        RegisterClassW(&windowClass);
    }
    void SetUp() override {
        plain = MakeWindow(L"plain", 0, true);
        preDisabled = MakeWindow(L"pre-disabled", 0, true);
        topmost = MakeWindow(L"topmost", WS_EX_TOPMOST, true);
        hidden = MakeWindow(L"hidden", 0, false);
        ASSERT_TRUE(plain && preDisabled && topmost && hidden);
        EnableWindow(preDisabled, FALSE);
        EnableWindow(hidden, TRUE);
    }
    void TearDown() override {
        for (HWND window : {plain, preDisabled, topmost, hidden}) DestroyWindow(window);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    void ExpectRestored() {
        EXPECT_TRUE(StateOf(plain).enabled);
        EXPECT_FALSE(StateOf(preDisabled).enabled);
        EXPECT_TRUE(StateOf(topmost).enabled);
        EXPECT_TRUE(StateOf(topmost).topmost);
        EXPECT_FALSE(StateOf(plain).topmost);
        EXPECT_TRUE(StateOf(hidden).enabled);
    }
    HWND plain = nullptr, preDisabled = nullptr, topmost = nullptr, hidden = nullptr;
};

}  // namespace

TEST_F(MessageBoxTest, DisableAndRestoreWithoutABox) {
    SetThreadWindowsDisabled(TRUE);
    EXPECT_FALSE(StateOf(plain).enabled);
    EXPECT_FALSE(StateOf(preDisabled).enabled);
    EXPECT_FALSE(StateOf(topmost).enabled);
    EXPECT_FALSE(StateOf(topmost).topmost);
    EXPECT_TRUE(StateOf(hidden).enabled);  // hidden windows are never touched
    SetThreadWindowsDisabled(FALSE);
    ExpectRestored();
    // The entries are gone: restoring again changes nothing.
    EnableWindow(plain, FALSE);
    SetThreadWindowsDisabled(FALSE);
    EXPECT_FALSE(StateOf(plain).enabled);
}

TEST_F(MessageBoxTest, BoxWithoutOwnerDisablesEveryVisibleWindowOfTheThread) {
    ASSERT_EQ(nullptr, ForegroundWindowOfProcess()) << "none of the windows was activated";
    BoxPresser presser;
    presser.watched[0] = plain;
    presser.watched[1] = preDisabled;
    presser.watched[2] = topmost;
    presser.watched[3] = hidden;
    EXPECT_EQ(IDOK, ShowAndPress(presser, L"Hello box", 0));
    ASSERT_TRUE(presser.found) << "the message box never appeared";
    EXPECT_EQ(L"Hello box", presser.text);
    EXPECT_EQ(nullptr, presser.owner);
    EXPECT_FALSE(presser.during[0].enabled);
    EXPECT_FALSE(presser.during[1].enabled);
    EXPECT_FALSE(presser.during[2].enabled);
    EXPECT_FALSE(presser.during[2].topmost);
    EXPECT_TRUE(presser.during[3].enabled);
    ExpectRestored();
}

TEST_F(MessageBoxTest, ForegroundWindowOwnsTheBoxAndIsNotDisabledByTheList) {
    SetForegroundWindow(plain);
    if (GetForegroundWindow() != plain) GTEST_SKIP() << "this display cannot make a window foreground";
    EXPECT_EQ(plain, ForegroundWindowOfProcess());
    BoxPresser presser;
    presser.watched[0] = plain;
    presser.watched[1] = topmost;
    EXPECT_EQ(IDOK, ShowAndPress(presser, L"Owned box", 0));
    ASSERT_TRUE(presser.found);
    EXPECT_EQ(plain, presser.owner);
    // The owner is disabled by the box itself; the other window by the list.
    EXPECT_FALSE(presser.during[0].enabled);
    EXPECT_FALSE(presser.during[1].enabled);
    ExpectRestored();
}

TEST_F(MessageBoxTest, ResultIsTheChosenButton) {
    BoxPresser presser;
    presser.button = IDNO;
    EXPECT_EQ(IDNO, ShowAndPress(presser, L"Yes or no", MB_YESNO));
    ASSERT_TRUE(presser.found);
    ExpectRestored();
}

TEST_F(MessageBoxTest, WindowsOfOtherThreadsAreLeftToTheirThread) {
    struct Other {
        HWND window = nullptr;
        HANDLE disabled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE restore = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        WindowState afterRestore;
        static DWORD WINAPI Run(void* context) {
            Other* other = static_cast<Other*>(context);
            other->window = MakeWindow(L"other thread", 0, true);
            SetThreadWindowsDisabled(TRUE);
            SetEvent(other->disabled);
            WaitPumping(other->restore, 15000);
            SetThreadWindowsDisabled(FALSE);
            other->afterRestore = StateOf(other->window);
            DestroyWindow(other->window);
            return 0;
        }
    } other;
    HANDLE thread = CreateThread(nullptr, 0, Other::Run, &other, 0, nullptr);
    ASSERT_TRUE(WaitPumping(other.disabled, 15000));
    ASSERT_NE(nullptr, other.window);
    EXPECT_FALSE(StateOf(other.window).enabled);
    EXPECT_TRUE(StateOf(plain).enabled);  // the other thread left this thread's windows alone
    // This thread's own disable and restore leave the other thread's entry in place.
    SetThreadWindowsDisabled(TRUE);
    EXPECT_FALSE(StateOf(plain).enabled);
    SetThreadWindowsDisabled(FALSE);
    EXPECT_TRUE(StateOf(plain).enabled);
    EXPECT_FALSE(StateOf(other.window).enabled);
    SetEvent(other.restore);
    EXPECT_TRUE(WaitPumping(thread, 15000));
    EXPECT_TRUE(other.afterRestore.enabled);
    CloseHandle(thread);
    CloseHandle(other.disabled);
    CloseHandle(other.restore);
}
