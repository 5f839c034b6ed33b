// events.h: the toolkit's event queue between window procedures and the program's main loop.
#pragma once
#include <windows.h>
#include <cstdint>
#include "runtime/object_registry.h"

enum EventCode : int32_t {
    GadgetNotifyEvent = 13100,
    MenuCommandEvent = 13101,
    ClickNotifyEvent = 13102,
    WindowActivatedEvent = 13104,
    DropOnWindowEvent = 13105,
    DropOnGadgetEvent = 13106,
    WindowMinimizedEvent = 13107,
    WindowMaximizedEvent = 13108,
    WindowRestoredEvent = 13109,
    TimerElapsedEvent = 13110,
    RightButtonUpEvent = 13111,
    LeftButtonUpEvent = 13112,
    LeftDoubleClickedEvent = 13113,
    WindowDeactivatedEvent = 13114,
    BackgroundErasedEvent = 13115,
    WindowClosedEvent = 13116,
    WindowMovedEvent = 13117,
    WindowResizedEvent = 13118,
};

enum EventSubtype : int32_t {
    FocusGainedSubtype = 14000,
    FocusLostSubtype = 14001,
};

// Frees the data an event carries; called when the event stops being current (or never becomes it).
typedef void (*EventDataRelease)(void* data);

// One queued event: a block of the event pool. All fields are 32-bit on the 32-bit build (28 bytes);
// on the 64-bit one the addresses and object numbers are 64-bit (56 bytes).
struct EventRecord {
    EventRecord* next;
    int32_t code;
    ObjectNumber object;
    ObjectNumber window;
    int32_t subtype;
    void* data;
    EventDataRelease release;
};

struct BlockPool;

// The event last returned by WaitEvent; its data stays valid until the next fetch, which hands it
// to its release routine.
struct CurrentEvent {
    int32_t code;             // 0 when the last fetch found nothing
    ObjectNumber window;
    ObjectNumber object;
    int32_t subtype;          // -1 after every fetch that found nothing
    void* data;
    EventDataRelease release;
};

// The event library's global record: the pool, the queue and the current event.
struct EventState {
    BlockPool* pool;
    EventRecord* head;
    EventRecord* tail;
    int32_t suspendCount;     // events are queued only while 0, or when forced
    CurrentEvent current;
};

// Start-up: the hidden post-event window, its registered message, the state record with the event
// pool, and the callback map. A second call keeps the existing queue (only the callback map is made
// anew, and the window again if it was destroyed).
void InitEventLibrary();
// Destroys the post-event window.
void FreeEventLibrary();

// The oldest queued event's code; otherwise fetches and dispatches one message and returns its
// number; 0 when nothing arrived in time. -1 waits without limit.
int32_t WaitEventTimeout(int32_t milliseconds);
int32_t WaitEvent();
// Whether the last WaitEventTimeout returned a queued event's code. Event codes and message numbers
// share one number space: a message numbered like an event (anyone may post one) returns that
// number too, and only this tells the two apart.
bool LastWaitReturnedEvent();

// Posting: queued unless suspended (and not forced); merged into the tail when code < 65536 and
// code, object, window and subtype equal the tail's. Data of an event that is not queued is handed
// to its release routine (unless it is the tail's own data), after the bound callbacks have run.
void RaiseEvent(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype);
void RaiseEventWithData(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype,
                        void* data, EventDataRelease release);
void EnqueueEvent(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype,
                  void* data, EventDataRelease release, int force);

// Releases the current event's data, then makes the oldest queued event current (removing it);
// returns its code, or 0 with current subtype -1 when the queue is empty.
int32_t TakeNextEvent();
void* DataOfCurrentEvent();

void SuspendEvents();
void ResumeEvents();

// -1 in a pattern matches any value. Purged events' data goes to their release routines.
void PurgeEvents(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype);
void PurgeWindowEvents(ObjectNumber window);
void UnbindWindowCallbacks(ObjectNumber window);
void RunBoundCallbacks(int32_t code, ObjectNumber window, ObjectNumber object, int32_t subtype);

// Window procedure of "PostEventClass". For the registered post-event message, lParam is a block of
// the main heap whose 32-bit words 1 to 5 hold code, object, window, subtype and data (word 0 is not
// read); the event is raised without a release routine and the block is freed here. A block the
// main heap does not own is left alone.
LRESULT CALLBACK EventWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
