// event_bench.cpp: what a posted-and-fetched event costs, with and without coalescing, and through
// the post-event window.
#include <windows.h>
#include <cstdio>
#include "runtime/main_heap.h"
#include "toolkit/events.h"
#include "toolkit/toolkit_test_seams.h"
#include "bench/bench_support.h"

static int Drain() {
    int n = 0;
    while (TakeNextEvent()) ++n;
    return n;
}

// Posts batches of batch events (all different when distinct, else all identical) and fetches them.
static void PostAndFetch(const char* label, int batch, bool distinct, int rounds) {
    long long posted = 0, fetched = 0;
    double start = Seconds();
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < batch; ++i) RaiseEvent(GadgetNotifyEvent, distinct ? i : 0, 0, 0);
        posted += batch;
        fetched += Drain();
    }
    double elapsed = Seconds() - start;
    printf("%-44s %9.1f ns per posted event  (%lld posted, %lld fetched)\n", label, elapsed * 1e9 / posted, posted,
           fetched);
}

// The share of the five callback-map lookups that every posted event makes (nothing is bound).
static void CallbackLookups(int count) {
    double start = Seconds();
    for (int i = 0; i < count; ++i) {
        RunBoundCallbacks(GadgetNotifyEvent, 0, i, 0);
        RunBoundCallbacks(GadgetNotifyEvent, 0, i, -1);
        RunBoundCallbacks(GadgetNotifyEvent, 0, -1, -1);
        RunBoundCallbacks(GadgetNotifyEvent, -1, -1, -1);
        RunBoundCallbacks(GadgetNotifyEvent, -1, i, 0);
    }
    double elapsed = Seconds() - start;
    printf("%-44s %9.1f ns per event\n", "of which: five callback-map lookups", elapsed * 1e9 / count);
}

static void ThroughPostEventWindow(int count) {
    UINT message = RegisterWindowMessageA("Zorv_PostEventMessage");
    HWND window = PostEventWindow();
    int events = 0;
    double start = Seconds();
    for (int i = 0; i < count; ++i) {
        intptr_t* block = static_cast<intptr_t*>(HeapAlloc(MainHeap(), 0, 6 * sizeof(intptr_t)));
        block[1] = MenuCommandEvent;
        block[2] = i;
        block[3] = 0;
        block[4] = 0;
        block[5] = 0;
        PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(block));
        WaitEventTimeout(0);                   // dispatches the message
        if (WaitEventTimeout(0) == MenuCommandEvent) ++events;
    }
    double elapsed = Seconds() - start;
    printf("%-44s %9.1f ns per event  (%d of %d arrived)\n", "post-event window message, then fetch",
           elapsed * 1e9 / count, events, count);
}

// The same message round trip to a window of a plain class, for comparison: the platform's share.
static LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

static void ThroughPlainWindow(int count) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"EventBenchPlain";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, L"EventBenchPlain", L"", WS_CAPTION, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    int dispatched = 0;
    double start = Seconds();
    for (int i = 0; i < count; ++i) {
        PostMessageW(window, WM_USER, 0, 0);
        if (WaitEventTimeout(0) == WM_USER) ++dispatched;
        WaitEventTimeout(0);
    }
    double elapsed = Seconds() - start;
    printf("%-44s %9.1f ns per message  (%d of %d dispatched)\n", "plain window message (comparison)",
           elapsed * 1e9 / count, dispatched, count);
    DestroyWindow(window);
}

int main() {
    PrintBuildTimed();
    CreateMainHeap();
    InitEventLibrary();
    for (int pass = 0; pass < 2; ++pass) {
        printf(pass ? "\n" : "warm-up pass:\n");
        if (pass) printf("measured pass:\n");
        PostAndFetch("one event posted, then fetched", 1, true, 200000);
        PostAndFetch("100 distinct events posted, then fetched", 100, true, 2000);
        PostAndFetch("10000 distinct events posted, then fetched", 10000, true, 20);
        PostAndFetch("100 identical events (coalesced), fetched", 100, false, 2000);
        CallbackLookups(200000);
        ThroughPostEventWindow(20000);
        ThroughPlainWindow(20000);
    }
    FreeEventLibrary();
    DestroyMainHeap();
    return 0;
}
