// toolkit_test_support.h: starting the toolkit libraries once per test process, pumping events, real input.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <algorithm>
#include <cstdint>
#include <vector>
#include "toolkit/events.h"
#include "toolkit/toolkit_test_seams.h"
#include "toolkit/numbered_windows.h"
#include "toolkit/gadget_library.h"
#include "toolkit/text_box.h"
#include "toolkit/window_record.h"

// The libraries in their start-up order, once per process (they have no second start).
inline void StartToolkitLibraries() {
    static bool started = false;
    if (started) return;
    started = true;
    InitEventLibrary();
    InitWindowLibrary();
    InitGadgetLibrary();
    OleInitialize(nullptr);
}

// One event as WaitEventTimeout handed it out.
struct SeenEvent {
    int32_t code;
    ObjectNumber object;
    ObjectNumber window;
    int32_t subtype;
};

// The event just returned by WaitEventTimeout, or false when it returned a message number.
inline bool CurrentEvent(int32_t returned, SeenEvent* seen) {
    const EventState* state = EventLibrary();
    if (returned == 0 || !state || state->current.code != returned) return false;
    *seen = SeenEvent{state->current.code, state->current.object, state->current.window, state->current.subtype};
    return true;
}

// Dispatches messages for at least milliseconds, then until nothing is left; the events
// WaitEventTimeout returned, oldest first (message numbers are left out).
inline std::vector<SeenEvent> PumpEvents(DWORD milliseconds = 0) {
    std::vector<SeenEvent> events;
    SeenEvent seen;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        if (CurrentEvent(WaitEventTimeout(10), &seen)) events.push_back(seen);
    }
    // A bounded flush: a window that keeps posting must not hang the test.
    for (int i = 0; i < 10000; i++) {
        int32_t code = WaitEventTimeout(0);
        if (CurrentEvent(code, &seen)) events.push_back(seen);
        // 0 is also the number of WM_NULL: stop only when nothing is left.
        MSG pending;
        if (code == 0 && !EventLibrary()->head && !PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE)) break;
    }
    return events;
}

inline size_t CountOf(const std::vector<SeenEvent>& events, int32_t code) {
    return static_cast<size_t>(
        std::count_if(events.begin(), events.end(), [code](const SeenEvent& e) { return e.code == code; }));
}

// The codes of the events whose code is in wanted, in their order.
inline std::vector<int32_t> OnlyCodes(const std::vector<SeenEvent>& events, std::initializer_list<int32_t> wanted) {
    std::vector<int32_t> result;
    for (const SeenEvent& e : events)
        if (std::find(wanted.begin(), wanted.end(), e.code) != wanted.end()) result.push_back(e.code);
    return result;
}

// The events with that code.
inline std::vector<SeenEvent> EventsWithCode(const std::vector<SeenEvent>& events, int32_t code) {
    std::vector<SeenEvent> result;
    for (const SeenEvent& e : events)
        if (e.code == code) result.push_back(e);
    return result;
}

// Real key strokes through the input queue, as a user makes them.
inline void PressKey(WORD key, bool shift = false) {
    INPUT inputs[4] = {};
    int n = 0;
    auto add = [&](WORD vk, DWORD flags) {
        inputs[n].type = INPUT_KEYBOARD;
        inputs[n].ki.wVk = vk;
        inputs[n].ki.dwFlags = flags;
        n++;
    };
    if (shift) add(VK_SHIFT, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(n), inputs, sizeof(INPUT));
}

// Brings a window to the front and makes it active, then lets the activation messages run;
// the events they raised.
inline std::vector<SeenEvent> ActivateWindow(HWND hwnd) {
    SetForegroundWindow(hwnd);
    SetActiveWindow(hwnd);
    return PumpEvents(50);
}

// The text of any window (for controls not made by the gadget library too).
inline std::wstring WindowText(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(hwnd, &text[0], length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

// Tests that open windows: the libraries start once; every window, hook and queued event of a test
// is gone before the next test.
class OpenWindowsTest : public testing::Test {
protected:
    static void SetUpTestSuite() { StartToolkitLibraries(); }
    void TearDown() override {
        WindowLibrary()->messageHook = nullptr;
        ReleaseWindow(-1);
        PumpEvents();
    }
};
