// events_test.cpp: the event queue (coalescing, suspension, release of data, purging), bound callbacks,
// the wait for events with its message fetch, and the post-event window.
#include <gtest/gtest.h>
#include <vector>
#include "runtime/block_pool.h"
#include "runtime/main_heap.h"
#include "toolkit/events.h"
#include "toolkit/toolkit_test_seams.h"

namespace {

struct Fetched {
    int32_t code;
    ObjectNumber object, window;
    int32_t subtype;
    void* data;
    bool operator==(const Fetched& o) const {
        return code == o.code && object == o.object && window == o.window && subtype == o.subtype && data == o.data;
    }
};

std::ostream& operator<<(std::ostream& out, const Fetched& f) {
    return out << "{" << f.code << "," << f.object << "," << f.window << "," << f.subtype << "," << f.data << "}";
}

// Every queued event, oldest first; leaves the queue empty.
std::vector<Fetched> DrainQueue() {
    std::vector<Fetched> out;
    EventState* s = EventLibrary();
    while (TakeNextEvent()) {
        out.push_back({s->current.code, s->current.object, s->current.window, s->current.subtype, s->current.data});
    }
    return out;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Release routine that records what it was given.
std::vector<void*> released;
void RecordRelease(void* data) { released.push_back(data); }

int dataA, dataB, dataC; // their addresses serve as event data

class Events : public testing::Test {
protected:
    void SetUp() override {
        static bool started = false;
        if (!started) InitEventLibrary();
        started = true;
        ASSERT_NE(nullptr, EventLibrary());
        PumpMessages();
        DrainQueue();
        TakeNextEvent();
        EventLibrary()->suspendCount = 0;
        released.clear();
    }
    void TearDown() override {
        DrainQueue();
        TakeNextEvent();
        for (ObjectNumber w : {-1, 1, 2, 3, 4}) UnbindWindowCallbacks(w);
        EventLibrary()->suspendCount = 0;
    }
};

TEST_F(Events, IdenticalConsecutiveEventsMergeIntoTheTail) {
    RaiseEvent(13100, 5, 0, 1);
    RaiseEvent(13100, 5, 0, 1);
    EXPECT_EQ((std::vector<Fetched>{{13100, 5, 0, 1, nullptr}}), DrainQueue());

    RaiseEvent(13100, 5, 0, 1);
    RaiseEvent(13101, 5, 0, 1);
    RaiseEvent(13100, 5, 0, 1);
    EXPECT_EQ(3u, DrainQueue().size()) << "only the tail is compared";

    RaiseEvent(13100, 5, 0, 1);
    RaiseEvent(13100, 6, 0, 1);
    RaiseEvent(13100, 6, 1, 1);
    RaiseEvent(13100, 6, 1, 2);
    EXPECT_EQ(4u, DrainQueue().size()) << "object, window and subtype all count";

    RaiseEvent(65535, 0, 0, 0);
    RaiseEvent(65535, 0, 0, 0);
    RaiseEvent(-7, 0, 0, 0);
    RaiseEvent(-7, 0, 0, 0);
    RaiseEvent(65536, 0, 0, 0);
    RaiseEvent(65536, 0, 0, 0);
    EXPECT_EQ((std::vector<Fetched>{{65535, 0, 0, 0, nullptr},
                                    {-7, 0, 0, 0, nullptr},
                                    {65536, 0, 0, 0, nullptr},
                                    {65536, 0, 0, 0, nullptr}}),
              DrainQueue())
        << "codes of 65536 and more never merge; the comparison is signed";
}

TEST_F(Events, MergedEventKeepsTheTailsDataAndReleasesItsOwn) {
    RaiseEventWithData(DropOnGadgetEvent, 0, 0, 0, &dataA, RecordRelease);
    RaiseEventWithData(DropOnGadgetEvent, 0, 0, 0, &dataB, RecordRelease);
    EXPECT_EQ(std::vector<void*>{&dataB}, released) << "the merged copy is released at once";
    RaiseEventWithData(DropOnGadgetEvent, 0, 0, 0, &dataA, RecordRelease);
    EXPECT_EQ(std::vector<void*>{&dataB}, released) << "the tail's own data is not released";
    EXPECT_EQ(DropOnGadgetEvent, TakeNextEvent());
    EXPECT_EQ(&dataA, DataOfCurrentEvent());
    EXPECT_EQ(0, TakeNextEvent());
    EXPECT_EQ((std::vector<void*>{&dataB, &dataA}), released);
}

TEST_F(Events, CurrentDataIsReleasedExactlyOnceAtTheNextFetch) {
    RaiseEventWithData(DropOnGadgetEvent, 4, 0, 0, &dataA, RecordRelease);
    RaiseEventWithData(DropOnGadgetEvent, 4, 0, 1, &dataB, nullptr);
    RaiseEvent(WindowClosedEvent, 0, 0, 0);
    EXPECT_EQ(DropOnGadgetEvent, TakeNextEvent());
    EXPECT_EQ(&dataA, DataOfCurrentEvent());
    EXPECT_TRUE(released.empty()) << "valid while current";
    EXPECT_EQ(DropOnGadgetEvent, TakeNextEvent());
    EXPECT_EQ(std::vector<void*>{&dataA}, released);
    EXPECT_EQ(&dataB, DataOfCurrentEvent());
    EXPECT_EQ(WindowClosedEvent, TakeNextEvent());
    EXPECT_EQ(nullptr, DataOfCurrentEvent());
    EXPECT_EQ(0, TakeNextEvent());
    EXPECT_EQ(0, TakeNextEvent());
    EXPECT_EQ(std::vector<void*>{&dataA}, released) << "data without a routine is not released";
}

TEST_F(Events, FetchOnEmptyQueueClearsCodeAndSubtypeButKeepsObjectAndWindow) {
    RaiseEvent(GadgetNotifyEvent, 9, 3, 7);
    EXPECT_EQ(GadgetNotifyEvent, TakeNextEvent());
    EventState* s = EventLibrary();
    EXPECT_EQ(9, s->current.object);
    EXPECT_EQ(3, s->current.window);
    EXPECT_EQ(7, s->current.subtype);
    EXPECT_EQ(0, TakeNextEvent());
    EXPECT_EQ(0, s->current.code);
    EXPECT_EQ(-1, s->current.subtype);
    EXPECT_EQ(9, s->current.object);
    EXPECT_EQ(3, s->current.window);
}

TEST_F(Events, SuspensionDropsEventsUnlessForced) {
    SuspendEvents();
    SuspendEvents();
    RaiseEvent(13101, 1, 0, 0);
    RaiseEventWithData(13105, 0, 0, 0, &dataA, RecordRelease);
    EXPECT_EQ(std::vector<void*>{&dataA}, released) << "dropped data is released at once";
    EnqueueEvent(13102, 2, 0, 0, nullptr, nullptr, 1);
    ResumeEvents();
    RaiseEvent(13103, 3, 0, 0);
    ResumeEvents();
    RaiseEvent(13104, 4, 0, 0);
    EXPECT_EQ((std::vector<Fetched>{{13102, 2, 0, 0, nullptr}, {13104, 4, 0, 0, nullptr}}), DrainQueue());

    // More resumes than suspends: the counter goes negative and events stay suppressed until 0.
    ResumeEvents();
    RaiseEvent(13110, 0, 0, 0);
    EXPECT_EQ(-1, EventLibrary()->suspendCount);
    SuspendEvents();
    RaiseEvent(13111, 0, 0, 0);
    EXPECT_EQ((std::vector<Fetched>{{13111, 0, 0, 0, nullptr}}), DrainQueue());
}

TEST_F(Events, PurgeMatchesEachFieldOrAnyAndReleasesData) {
    RaiseEvent(GadgetNotifyEvent, 5, 0, 1);
    RaiseEventWithData(GadgetNotifyEvent, 5, 1, 2, &dataA, RecordRelease);
    RaiseEvent(GadgetNotifyEvent, 6, 0, 1);
    RaiseEvent(MenuCommandEvent, 5, 0, 0);
    RaiseEvent(GadgetNotifyEvent, 5, 2, 3);
    PurgeEvents(GadgetNotifyEvent, 5, -1, -1);
    EXPECT_EQ(std::vector<void*>{&dataA}, released);
    // The tail must be the last survivor: an identical event merges into it, a new one follows it.
    RaiseEvent(MenuCommandEvent, 5, 0, 0);
    RaiseEvent(WindowMovedEvent, 0, 0, 0);
    EXPECT_EQ((std::vector<Fetched>{{GadgetNotifyEvent, 6, 0, 1, nullptr},
                                    {MenuCommandEvent, 5, 0, 0, nullptr},
                                    {WindowMovedEvent, 0, 0, 0, nullptr}}),
              DrainQueue());

    RaiseEvent(13100, 1, 1, 1);
    RaiseEvent(13101, 2, 1, 2);
    RaiseEvent(13102, 3, 1, 1);
    PurgeEvents(-1, -1, -1, 1);
    EXPECT_EQ((std::vector<Fetched>{{13101, 2, 1, 2, nullptr}}), DrainQueue());

    RaiseEvent(13100, 1, 1, 1);
    PurgeEvents(-1, -1, -1, -1);
    EXPECT_EQ(nullptr, EventLibrary()->head);
    EXPECT_EQ(nullptr, EventLibrary()->tail);
    RaiseEvent(13100, 1, 1, 1);
    EXPECT_EQ(1u, DrainQueue().size()) << "an emptied queue takes new events";
}

TEST_F(Events, PurgeWindowEventsRemovesThatWindowsEventsOnly) {
    RaiseEvent(WindowMovedEvent, 0, 0, 0);
    RaiseEvent(GadgetNotifyEvent, 1, 0, 0);
    RaiseEvent(WindowActivatedEvent, 0, 1, 0);
    RaiseEvent(WindowClosedEvent, 0, 0, 0);
    RaiseEventWithData(DropOnGadgetEvent, 0, 0, 0, &dataC, RecordRelease);
    PurgeWindowEvents(0);
    EXPECT_EQ(std::vector<void*>{&dataC}, released);
    EXPECT_EQ((std::vector<Fetched>{{WindowActivatedEvent, 0, 1, 0, nullptr}}), DrainQueue());
}

// --- bound callbacks ---

std::vector<std::string> calls;
Fetched seenCurrent;

void SeeCurrent(const char* name) {
    calls.push_back(name);
    EventState* s = EventLibrary();
    seenCurrent = {s->current.code, s->current.object, s->current.window, s->current.subtype, s->current.data};
}
void Exact() { SeeCurrent("exact"); }
void AnySubtype() { SeeCurrent("any subtype"); }
void AnyObject() { SeeCurrent("any object"); }
void AnyWindow() { SeeCurrent("any window"); }
void WindowFree() { SeeCurrent("window free"); }
void NotAPattern() { SeeCurrent("not a pattern"); }
void Second() { calls.push_back("second"); }

TEST_F(Events, BoundCallbacksSeeThePostedEventAndLeaveTheCurrentOneAlone) {
    calls.clear();
    ASSERT_TRUE(BindEventCallback(GadgetNotifyEvent, -1, 9, 100, WindowFree));
    ASSERT_TRUE(BindEventCallback(GadgetNotifyEvent, -1, -1, -1, AnyWindow));
    ASSERT_TRUE(BindEventCallback(GadgetNotifyEvent, 3, -1, -1, AnyObject));
    ASSERT_TRUE(BindEventCallback(GadgetNotifyEvent, 3, 9, -1, AnySubtype));
    ASSERT_TRUE(BindEventCallback(GadgetNotifyEvent, 3, 9, 100, Exact));
    ASSERT_TRUE(BindEventCallback(GadgetNotifyEvent, 3, 9, 100, Second));
    ASSERT_TRUE(BindEventCallback(GadgetNotifyEvent, -1, 9, -1, NotAPattern));

    // The loop's current event, with data still owned by it.
    RaiseEventWithData(WindowMovedEvent, 1, 1, 0, &dataA, RecordRelease);
    ASSERT_EQ(WindowMovedEvent, TakeNextEvent());

    RaiseEventWithData(GadgetNotifyEvent, 9, 3, 100, &dataB, nullptr);
    EXPECT_EQ((std::vector<std::string>{"exact", "second", "any subtype", "any object", "any window", "window free"}),
              calls);
    EXPECT_EQ((Fetched{GadgetNotifyEvent, 9, 3, 100, &dataB}), seenCurrent);
    EventState* s = EventLibrary();
    EXPECT_EQ((Fetched{WindowMovedEvent, 1, 1, 0, &dataA}),
              (Fetched{s->current.code, s->current.object, s->current.window, s->current.subtype, s->current.data}));
    EXPECT_EQ(RecordRelease, s->current.release);

    // Merged events run the callbacks too; suspended ones do not.
    calls.clear();
    RaiseEvent(GadgetNotifyEvent, 9, 3, 100);
    EXPECT_EQ(6u, calls.size());
    calls.clear();
    SuspendEvents();
    RaiseEvent(GadgetNotifyEvent, 9, 3, 100);
    ResumeEvents();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(1u, DrainQueue().size());
    EXPECT_EQ(std::vector<void*>{&dataA}, released);
}

void CountCall() { calls.push_back("x"); }

TEST_F(Events, UnbindWindowCallbacksRemovesOnlyThatWindowsBindings) {
    // Many keys so that chains and bucket heads are deleted during one walk.
    for (int object = 0; object < 200; ++object) {
        ASSERT_TRUE(BindEventCallback(13110, 3, object, -1, CountCall));
        ASSERT_TRUE(BindEventCallback(13110, 4, object, -1, CountCall));
    }
    calls.clear();
    for (int object = 0; object < 200; ++object) RaiseEvent(13110, object, 3, 0);
    EXPECT_EQ(200u, calls.size());
    UnbindWindowCallbacks(3);
    calls.clear();
    for (int object = 0; object < 200; ++object) {
        RaiseEvent(13110, object, 3, 0);
        RaiseEvent(13110, object, 4, 0);
    }
    EXPECT_EQ(200u, calls.size()) << "window 4 keeps its bindings";
    UnbindWindowCallbacks(4);
    calls.clear();
    RaiseEvent(13110, 7, 4, 0);
    EXPECT_TRUE(calls.empty());
}

void UnbindWhileRunning() {
    calls.push_back("unbind");
    UnbindWindowCallbacks(2);
}

TEST_F(Events, ACallbackMayUnbindItsOwnKey) {
    calls.clear();
    BindEventCallback(13112, 2, 0, 0, UnbindWhileRunning);
    BindEventCallback(13112, 2, 0, 0, CountCall);
    RaiseEvent(13112, 0, 2, 0);
    EXPECT_EQ(std::vector<std::string>{"unbind"}, calls);
    RaiseEvent(13112, 0, 2, 0);
    EXPECT_EQ(std::vector<std::string>{"unbind"}, calls);
}

// --- waiting, messages and the post-event window ---

std::vector<UINT> windowMessages;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER && message < 0xC000) windowMessages.push_back(message);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateRecordingWindow() {
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"EventsTestWindow";
        atom = RegisterClassW(&wc);
    }
    return CreateWindowExW(0, L"EventsTestWindow", L"events", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST_F(Events, WaitWithZeroTimeoutReturnsAtOnceWhenNothingIsPending) {
    EXPECT_EQ(0, WaitEventTimeout(0));
    EXPECT_EQ(0, WaitEventTimeout(20)) << "a timed wait with nothing arriving also gives 0";
}

TEST_F(Events, QueuedEventsComeBeforeMessagesAndWaitReturnsTheDispatchedMessage) {
    HWND window = CreateRecordingWindow();
    ASSERT_NE(nullptr, window);
    windowMessages.clear();
    PostMessageW(window, WM_USER + 5, 0, 0);
    PostMessageW(window, WM_USER + 6, 0, 0);
    RaiseEvent(WindowClosedEvent, 0, 0, 0);
    EXPECT_EQ(WindowClosedEvent, WaitEventTimeout(0));
    EXPECT_TRUE(windowMessages.empty());
    EXPECT_EQ(WM_USER + 5, WaitEvent());
    EXPECT_EQ(std::vector<UINT>{WM_USER + 5}, windowMessages) << "dispatched to its window";
    EXPECT_EQ(WM_USER + 6, WaitEventTimeout(100));
    EXPECT_EQ(0, WaitEventTimeout(0));
    DestroyWindow(window);
    PumpMessages();
}

TEST_F(Events, AMessageNumberedLikeAnEventIsToldApartFromTheEvent) {
    HWND window = CreateRecordingWindow();
    ASSERT_NE(nullptr, window);
    PostMessageW(window, WindowClosedEvent, 0, 0);
    RaiseEvent(WindowClosedEvent, 0, 0, 0);
    EXPECT_EQ(WindowClosedEvent, WaitEventTimeout(0));
    EXPECT_TRUE(LastWaitReturnedEvent());
    EXPECT_EQ(WindowClosedEvent, WaitEventTimeout(100)) << "the message, dispatched";
    EXPECT_FALSE(LastWaitReturnedEvent());
    EXPECT_EQ(0, WaitEventTimeout(0));
    EXPECT_FALSE(LastWaitReturnedEvent());
    DestroyWindow(window);
    PumpMessages();
}

TEST_F(Events, PostEventWindowIsAHiddenOneByOneCaptionWindow) {
    HWND post = PostEventWindow();
    ASSERT_NE(nullptr, post);
    char name[32] = {};
    GetClassNameA(post, name, sizeof name);
    EXPECT_STREQ("PostEventClass", name);
    EXPECT_FALSE(IsWindowVisible(post));
    EXPECT_EQ(nullptr, GetParent(post));
    EXPECT_TRUE(GetWindowLongW(post, GWL_STYLE) & WS_CAPTION);
}

intptr_t* PostEventBlock(int32_t code, intptr_t object, intptr_t window, int32_t subtype, void* data) {
    intptr_t* block = static_cast<intptr_t*>(HeapAlloc(MainHeap(), 0, 6 * sizeof(intptr_t)));
    block[0] = 0x5A5A5A5A; // not read
    block[1] = code;
    block[2] = object;
    block[3] = window;
    block[4] = subtype;
    block[5] = reinterpret_cast<intptr_t>(data);
    return block;
}

DWORD WINAPI PostFromAnotherThread(void*) {
    UINT message = RegisterWindowMessageA("Zorv_PostEventMessage");
    return PostMessageW(PostEventWindow(), message, 0,
                        reinterpret_cast<LPARAM>(PostEventBlock(MenuCommandEvent, 77, 2, 0, &dataC)))
               ? 0
               : 1;
}

TEST_F(Events, MessageToThePostEventWindowArrivesAsAnEvent) {
    UINT message = RegisterWindowMessageA("Zorv_PostEventMessage");
    ASSERT_NE(0u, message);
    ASSERT_TRUE(PostMessageW(PostEventWindow(), message, 0,
                             reinterpret_cast<LPARAM>(PostEventBlock(GadgetNotifyEvent, 5, 1, 14000, &dataA))));
    EXPECT_EQ(static_cast<int32_t>(message), WaitEventTimeout(200));
    EXPECT_EQ(GadgetNotifyEvent, WaitEventTimeout(0));
    EventState* s = EventLibrary();
    EXPECT_EQ((Fetched{GadgetNotifyEvent, 5, 1, 14000, &dataA}),
              (Fetched{s->current.code, s->current.object, s->current.window, s->current.subtype, s->current.data}));
    EXPECT_EQ(nullptr, s->current.release);

    HANDLE thread = CreateThread(nullptr, 0, PostFromAnotherThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD failed = 1;
    GetExitCodeThread(thread, &failed);
    CloseHandle(thread);
    EXPECT_EQ(0u, failed);
    EXPECT_EQ(static_cast<int32_t>(message), WaitEventTimeout(200));
    EXPECT_EQ(MenuCommandEvent, WaitEventTimeout(0));
    EXPECT_EQ(77, s->current.object);
    EXPECT_EQ(&dataC, DataOfCurrentEvent());
}

TEST_F(Events, PostEventMessageWithABlockTheMainHeapDoesNotOwnIsIgnored) {
    UINT message = RegisterWindowMessageA("Zorv_PostEventMessage");
    intptr_t onStack[6] = {0, GadgetNotifyEvent, 1, 1, 1, 0};
    SendMessageW(PostEventWindow(), message, 0, reinterpret_cast<LPARAM>(onStack));
    SendMessageW(PostEventWindow(), message, 0, 0);
    void* small = HeapAlloc(MainHeap(), 0, 8);
    SendMessageW(PostEventWindow(), message, 0, reinterpret_cast<LPARAM>(small));
    HeapFree(MainHeap(), 0, small);
    EXPECT_TRUE(DrainQueue().empty());
}

} // namespace
