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

void InitEventLibrary();
void FreeEventLibrary();

// The oldest queued event's code; otherwise fetches and dispatches one message and returns its
// number; 0 when nothing arrived in time. -1 waits without limit.
int32_t WaitEventTimeout(int32_t milliseconds);
int32_t WaitEvent();

void RaiseEvent(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype);
void RaiseEventWithData(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype,
                        void* data, EventDataRelease release);
void EnqueueEvent(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype,
                  void* data, EventDataRelease release, int force);

int32_t TakeNextEvent();
void* DataOfCurrentEvent();

void SuspendEvents();
void ResumeEvents();

// -1 in a pattern matches any value.
void PurgeEvents(int32_t code, ObjectNumber object, ObjectNumber window, int32_t subtype);
void PurgeWindowEvents(ObjectNumber window);
void UnbindWindowCallbacks(ObjectNumber window);
void RunBoundCallbacks(int32_t code, ObjectNumber window, ObjectNumber object, int32_t subtype);

LRESULT CALLBACK EventWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
