// text_box.h: the gadget library and its one kind, the text box (a subclassed "Edit" control).
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "runtime/object_registry.h"

// Returns InitCommonControlsEx's result (callers ignore it).
BOOL InitGadgetLibrary();
void FreeGadgetLibrary();

// Creates an "Edit" control in the current gadget list. Fixed number: the control's HWND;
// AutoNumber: the new gadget number (its record address); 0 on failure.
intptr_t CreateTextBox(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                       const wchar_t* text, uint32_t flags);
// Replaces the text without raising gadget events; null empties it. Unknown numbers do nothing.
void ReplaceGadgetText(ObjectNumber number, const wchar_t* text);
// The whole text; empty for a number that names no gadget.
std::wstring ReadGadgetText(ObjectNumber number);
// DestroyWindow of the gadget's control (clean-up runs at WM_NCDESTROY); -1 releases all; 0 if none.
BOOL ReleaseGadget(ObjectNumber number);

// The nearest ancestor (or w itself) that carries the toolkit window number, else the top ancestor.
HWND FindOwnerWindow(HWND w);
// The toolkit window number of w; -1 when w has none.
ObjectNumber WindowNumberOf(HWND w);
void PostGadgetFocusEvent(HWND control, int32_t subtype);
