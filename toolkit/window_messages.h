// window_messages.h: the window procedure of every toolkit window: messages to events, Tab navigation.
#pragma once
#include <windows.h>

// Toolkit-private window messages (nothing in this program sends them).
const UINT ClickNotifyMessage = 12501;   // lParam names a mouse message, wParam goes into the event
const UINT GadgetPrivateMessage = 13120; // forwarded to the gadget whose control is lParam

// The window procedure registered with every window class.
LRESULT CALLBACK TopLevelWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Turns one message into events; returns its result, or NotHandled for the default procedure.
LRESULT HandleWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The result of the parent-message handler of the gadget that owns control, or NotHandled when
// control is no gadget control (its "Zorv_ID" must equal its control identifier) or has no handler.
LRESULT ForwardToGadget(HWND control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
// Moves the focus to the next (0) or previous (1) enabled, visible tab stop of the active window,
// wrapping at either end.
void MoveFocus(int backward);
