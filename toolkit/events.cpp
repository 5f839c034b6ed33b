// events.cpp: the event queue, bound callbacks, the wait for events and the post-event window.
//
// Everything here runs on the GUI thread: window procedures post from inside DispatchMessageW and
// the main loop fetches. No lock is taken; another thread hands over an event only through the
// post-event window.
#include "toolkit/events.h"
#include "runtime/block_pool.h"
#include "runtime/hash_map.h"
#include "runtime/main_heap.h"
#include "toolkit/exception_barrier.h"
#include "toolkit/keyboard.h"
#include "toolkit/toolkit_test_seams.h"
#include <cstdio>

static_assert(sizeof(EventRecord) == (sizeof(void*) == 4 ? 28 : 56),
              "event records are 28-byte pool blocks (56 bytes on the 64-bit build)");

// The event pool: private and without a lock (the low two flag bits 2 select no locking).
static const int32_t EventPoolFlags = 2;
static_assert((EventPoolFlags & PoolLockingMask) != PoolSerialized && !(EventPoolFlags & PoolShared),
              "the event pool is private and unlocked");
// The callback map's key kind (stored, never read), its buckets and flags (case-sensitive text keys).
static const int32_t CallbackMapKeyKind = 7;
static const int32_t CallbackMapBuckets = 1024;
static const int32_t CallbackMapFlags = 0;
// Events with codes from here on are never merged into the tail.
static const int32_t FirstUnmergedCode = 0x10000;
// The wait for a message: QS_ALLINPUT | QS_ALLPOSTMESSAGE as the Windows 7 headers have them. Later
// headers widen QS_ALLINPUT (touch and pointer input), so the bits are spelled out and pinned.
static const DWORD MessageWakeMask = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER |
                                     QS_PAINT | QS_SENDMESSAGE | QS_HOTKEY | QS_ALLPOSTMESSAGE | QS_RAWINPUT;
static_assert(MessageWakeMask == 0x5FF, "the wake mask of the wait for a message");

// A bound callback; the nodes of one key form a list in the main heap, owned by its map entry.
struct CallbackNode {
    CallbackNode* next;
    BoundCallback routine;
};

// Value of a callback map entry.
struct BoundCallbacks {
    CallbackNode* callbacks;
    int32_t window; // the window the binding belongs to
};

static EventState* eventState;
static HashMap* callbackMap;
static HWND postEventWindow;
static UINT postEventMessage;
static bool lastWaitReturnedEvent;

static const char PostEventClassName[] = "PostEventClass";

// Test seams (toolkit_test_seams.h).
EventState* EventLibrary() { return eventState; }
HWND PostEventWindow() { return postEventWindow; }

static void InitEventState(void* record) {
    EventState* state = static_cast<EventState*>(record);
    state->pool = CreateBlockPool(sizeof(EventRecord), 16, 256, EventPoolFlags);
    // One block taken for good keeps the pool's first chunk alive, so a queue that keeps emptying
    // does not return its chunk to the heap and fetch it again each time.
    AllocPoolBlock(state->pool);
}

static void FreeCallbackList(BoundCallbacks* bound) {
    CallbackNode* node = bound->callbacks;
    while (node) {
        CallbackNode* next = node->next;
        MainHeapFree(node);
        node = next;
    }
    bound->callbacks = nullptr;
}

// The map's entries own their callback lists: free those before the map itself.
static void FreeCallbackMap() {
    if (!callbackMap) return;
    ResetHashMapIteration(callbackMap);
    while (void* value = NextHashMapValue(callbackMap)) FreeCallbackList(static_cast<BoundCallbacks*>(value));
    FreeHashMap(callbackMap);
}

void InitEventLibrary() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = EventWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = PostEventClassName;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    if (!postEventWindow || !IsWindow(postEventWindow)) {
        // 1 x 1 and never shown: it exists only to receive the post-event message.
        postEventWindow = CreateWindowExA(0, PostEventClassName, nullptr, WS_CAPTION, 0, 0, 1, 1, nullptr,
                                          nullptr, instance, nullptr);
    }
    postEventMessage = RegisterWindowMessageA("Zorv_PostEventMessage");
    if (!eventState) eventState = static_cast<EventState*>(CreateLibraryState(sizeof(EventState), InitEventState));
    FreeCallbackMap();
    CreateHashMap(&callbackMap, sizeof(BoundCallbacks), CallbackMapKeyKind, nullptr, CallbackMapBuckets,
                  CallbackMapFlags);
}

void FreeEventLibrary() {
    if (postEventWindow) DestroyWindow(postEventWindow);
    postEventWindow = nullptr;
}

static void FormatCallbackKey(char (&key)[64], int32_t code, ObjectNumber window, ObjectNumber object,
                              int32_t subtype) {
    snprintf(key, sizeof key, "%d:%d:%d:%d", static_cast<int>(code), static_cast<int>(window),
             static_cast<int>(object), static_cast<int>(subtype));
}

void RunBoundCallbacks(int32_t code, ObjectNumber window, ObjectNumber object, int32_t subtype) {
    if (!callbackMap) return;
    char key[64];
    FormatCallbackKey(key, code, window, object, subtype);
    // A routine may bind, unbind or post (which looks keys up again), so the list is found anew
    // before each call and the walk stops when the entry or its next node is gone.
    for (int index = 0;; ++index) {
        BoundCallbacks* bound = static_cast<BoundCallbacks*>(HashMapLookupA(callbackMap, key));
        if (!bound) return;
        CallbackNode* node = bound->callbacks;
        for (int i = 0; node && i < index; ++i) node = node->next;
        if (!node) return;
        // A routine that throws ends itself only: the others still run, the post completes and
        // restores the current event, and nothing reaches the window procedure that posted.
        if (node->routine) RunStoppingExceptions(node->routine);
    }
}

// Test seam (toolkit_test_seams.h): nothing in the program binds a callback.
bool BindEventCallback(int32_t code, ObjectNumber window, ObjectNumber object, int32_t subtype,
                       BoundCallback routine) {
    if (!callbackMap || !routine) return false;
    char key[64];
    FormatCallbackKey(key, code, window, object, subtype);
    CallbackNode* node = static_cast<CallbackNode*>(MainHeapAlloc(sizeof(CallbackNode)));
    if (!node) return false;
    BoundCallbacks* bound = static_cast<BoundCallbacks*>(HashMapLookupA(callbackMap, key));
    if (!bound) bound = static_cast<BoundCallbacks*>(HashMapInsertA(callbackMap, key));
    if (!bound) {
        MainHeapFree(node);
        return false;
    }
    bound->window = static_cast<int32_t>(window);
    node->routine = routine;
    CallbackNode** link = &bound->callbacks; // appended: routines run in the order bound
    while (*link) link = &(*link)->next;
    *link = node;
    return true;
}

void UnbindWindowCallbacks(ObjectNumber window) {
    if (!callbackMap) return;
    ResetHashMapIteration(callbackMap);
    while (void* value = NextHashMapValue(callbackMap)) {
        BoundCallbacks* bound = static_cast<BoundCallbacks*>(value);
        if (bound->window != window) continue;
        FreeCallbackList(bound);
        DeleteCurrentHashMapEntry(callbackMap);
    }
}

// Data of an event that never becomes current goes to its release routine here.
static void ReleaseUnqueuedData(void* data, EventDataRelease release) {
    if (data && release) release(data);
}

void EnqueueEvent(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype, void* data,
                  EventDataRelease release, int force) {
    EventState* s = eventState;
    if (!s || (s->suspendCount != 0 && !force)) {
        ReleaseUnqueuedData(data, release);
        return;
    }
    bool queued = false;
    void* tailData = nullptr;
    EventRecord* tail = s->tail;
    if (tail && code < FirstUnmergedCode && tail->code == code && tail->object == object && tail->window == window &&
        tail->subtype == subtype) {
        tailData = tail->data; // merged: the tail keeps its own data and release routine
    } else if (EventRecord* record = static_cast<EventRecord*>(AllocPoolBlock(s->pool))) {
        record->next = nullptr;
        record->code = code;
        record->object = object;
        record->window = window;
        record->subtype = subtype;
        record->data = data;
        record->release = release;
        if (tail) tail->next = record;
        else s->head = record;
        s->tail = record;
        queued = true;
    }

    // The callbacks see the posted event as current; the main loop's current event is put back.
    const CurrentEvent saved = s->current;
    s->current = CurrentEvent{code, window, object, subtype, data, release};
    RunBoundCallbacks(code, window, object, subtype);
    RunBoundCallbacks(code, window, object, -1);
    RunBoundCallbacks(code, window, -1, -1);
    RunBoundCallbacks(code, -1, -1, -1);
    RunBoundCallbacks(code, -1, object, subtype);
    s->current = saved;

    // Merged or not queued at all: release the copy now, unless it is the very data the tail owns.
    if (!queued && data != tailData) ReleaseUnqueuedData(data, release);
}

void RaiseEvent(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype) {
    EnqueueEvent(code, object, window, subtype, nullptr, nullptr, 0);
}

void RaiseEventWithData(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype, void* data,
                        EventDataRelease release) {
    EnqueueEvent(code, object, window, subtype, data, release, 0);
}

int32_t TakeNextEvent() {
    EventState* s = eventState;
    if (!s) return 0;
    s->current.code = 0;
    if (s->current.data && s->current.release) {
        // Cleared before the call so that a routine which fetches again cannot release it twice.
        void* data = s->current.data;
        EventDataRelease release = s->current.release;
        s->current.data = nullptr;
        s->current.release = nullptr;
        release(data);
    }
    s->current.subtype = -1;
    EventRecord* record = s->head;
    if (record) {
        s->current = CurrentEvent{record->code, record->window, record->object, record->subtype,
                                  record->data, record->release};
        s->head = record->next;
        if (!s->head) s->tail = nullptr;
        FreePoolBlock(s->pool, record);
    }
    return s->current.code;
}

void* DataOfCurrentEvent() { return eventState ? eventState->current.data : nullptr; }

void SuspendEvents() {
    if (eventState) eventState->suspendCount++;
}

void ResumeEvents() {
    if (eventState) eventState->suspendCount--;
}

// Unlinks every queued event that matches, fixes the tail, then releases the purged events' data
// and returns their blocks (a release routine may post again, so the queue is consistent first).
template <typename Match> static void PurgeMatching(Match matches) {
    EventState* s = eventState;
    if (!s) return;
    EventRecord* purged = nullptr;
    EventRecord** purgedTail = &purged;
    EventRecord* last = nullptr;
    for (EventRecord** link = &s->head; *link;) {
        EventRecord* record = *link;
        if (matches(record)) {
            *link = record->next;
            record->next = nullptr;
            *purgedTail = record;
            purgedTail = &record->next;
        } else {
            last = record;
            link = &record->next;
        }
    }
    s->tail = last;
    while (purged) {
        EventRecord* next = purged->next;
        ReleaseUnqueuedData(purged->data, purged->release);
        FreePoolBlock(s->pool, purged);
        purged = next;
    }
}

void PurgeEvents(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype) {
    PurgeMatching([=](const EventRecord* e) {
        return (code == -1 || e->code == code) && (object == -1 || e->object == object) &&
               (window == -1 || e->window == window) && (subtype == -1 || e->subtype == subtype);
    });
}

void PurgeWindowEvents(ObjectNumber window) {
    PurgeMatching([=](const EventRecord* e) { return e->window == window; });
}

int32_t WaitEventTimeout(int32_t milliseconds) {
    int32_t code = TakeNextEvent();
    lastWaitReturnedEvent = code != 0;
    if (code) return code;

    const UINT removeNoYield = PM_REMOVE | PM_NOYIELD;
    MSG msg = {};
    if (milliseconds == -1) {
        GetMessageW(&msg, nullptr, 0, 0); // WM_QUIT is handled like any other message
    } else if (!PeekMessageW(&msg, nullptr, 0, 0, removeNoYield)) {
        if (milliseconds == 0) return 0;
        // One wait only: input that wakes it but that the peek does not remove ends the call with 0.
        DWORD woke = MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds),
                                               MessageWakeMask);
        if (woke == WAIT_TIMEOUT) return 0;
        if (!PeekMessageW(&msg, nullptr, 0, 0, removeNoYield)) return 0;
    }

    HWND active = GetActiveWindow();
    HACCEL table = AcceleratorsForWindow(active);
    if (table && TranslateAcceleratorW(active, table, &msg)) {
        if (active) UpdateKeyboardCues(active, 1);
    } else {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int32_t>(msg.message);
}

int32_t WaitEvent() { return WaitEventTimeout(-1); }

bool LastWaitReturnedEvent() { return lastWaitReturnedEvent; }

LRESULT CALLBACK EventWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (postEventMessage && message == postEventMessage && lParam) {
        // Format notes: words 1..5 of the sender's main-heap block are code, object, window,
        // subtype, data, each as wide as an address (32 bits on the 32-bit build, 64 on the 64-bit
        // one), so that a data address or a record-address number arrives whole. A pointer the main
        // heap does not own is not read (a registered message can arrive from anywhere).
        void* block = reinterpret_cast<void*>(lParam);
        HANDLE heap = MainHeap();
        if (heap && HeapValidate(heap, 0, block) && HeapSize(heap, 0, block) >= 6 * sizeof(intptr_t)) {
            const intptr_t* words = static_cast<const intptr_t*>(block);
            int32_t code = static_cast<int32_t>(words[1]), subtype = static_cast<int32_t>(words[4]);
            ObjectNumber object = words[2], window = words[3];
            void* data = reinterpret_cast<void*>(words[5]);
            RaiseEventWithData(code, object, window, subtype, data, nullptr);
            HeapFree(heap, 0, block);
        }
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
