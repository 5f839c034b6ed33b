// message_box.cpp: a message box around which the calling thread's other windows are disabled.
#include "runtime/message_box.h"
#include "runtime/intrusive_list.h"
#include <cstdint>

// One window that a box of some thread has affected. The list is process-wide and unlocked: every
// thread touches only the entries tagged with its own id.
struct DisabledWindowEntry {
    uint32_t thread;
    HWND window;
    uint8_t wasTopmost;
    uint8_t disabledByBox;
};

static ListNode* disabledWindows;

static DisabledWindowEntry* EntryOf(ListNode* node) {
    return static_cast<DisabledWindowEntry*>(PayloadOfNode(node));
}

static BOOL CALLBACK RecordThreadWindow(HWND window, LPARAM threadId) {
    DWORD thread = static_cast<DWORD>(threadId);
    if (GetWindowThreadProcessId(window, nullptr) != thread || !IsWindowVisible(window)) return TRUE;
    DisabledWindowEntry* entry =
        static_cast<DisabledWindowEntry*>(AddListNode(&disabledWindows, sizeof(DisabledWindowEntry)));
    // Without memory for the entry the window is left alone; the others are still handled.
    if (!entry) return TRUE;
    entry->thread = thread;
    entry->window = window;
    if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) entry->wasTopmost = 1;
    // The foreground window is left to MessageBoxW, which disables its owner itself.
    if (window != GetForegroundWindow() && IsWindowEnabled(window)) {
        entry->disabledByBox = 1;
        EnableWindow(window, FALSE);
    }
    return TRUE;
}

void SetThreadWindowsDisabled(BOOL disabled) {
    uint32_t thread = GetCurrentThreadId();
    if (disabled) {
        EnumWindows(RecordThreadWindow, static_cast<LPARAM>(thread));
        // Topmost windows of the thread must not cover the box. Lowering them must not activate them
        // either: the foreground window, read next, becomes the box's owner.
        for (ListNode* node = disabledWindows; node; node = node->next) {
            DisabledWindowEntry* entry = EntryOf(node);
            if (entry->thread == thread && entry->wasTopmost) {
                SetWindowPos(entry->window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            }
        }
        return;
    }
    ListNode* node = disabledWindows;
    while (node) {
        ListNode* next = node->next;  // the node may be freed below
        DisabledWindowEntry* entry = EntryOf(node);
        if (entry->thread == thread) {
            if (entry->disabledByBox) EnableWindow(entry->window, TRUE);
            if (entry->wasTopmost) {
                // Raised back without taking the activation from the window that had it before the box.
                SetWindowPos(entry->window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            }
            RemoveListNode(&disabledWindows, entry);
        }
        node = next;
    }
}

HWND ForegroundWindowOfProcess() {
    HWND foreground = GetForegroundWindow();
    if (!foreground) return nullptr;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId() ? foreground : nullptr;
}

int ShowMessageBox(const wchar_t* title, const wchar_t* text, UINT style) {
    SetThreadWindowsDisabled(TRUE);
    HWND owner = ForegroundWindowOfProcess();
    int result = MessageBoxW(owner, text, title, style);
    SetThreadWindowsDisabled(FALSE);
    return result;
}
