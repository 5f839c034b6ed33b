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

struct GadgetKind;
struct GadgetRecord;

const int32_t TextBoxKindNumber = 2;
const int32_t TextBoxMaxLengthAttribute = 1; // EM_GETLIMITTEXT / EM_LIMITTEXT
const int32_t GadgetTextColor = 1;           // "which" of the colour handlers
const int32_t GadgetBackgroundColor = 2;
// Control style bits every text box gets: WS_CHILD, WS_VISIBLE, WS_GROUP, WS_TABSTOP, ES_AUTOHSCROLL.
const uint32_t TextBoxBaseStyle = 0x50030080;
// A flag bit that drops the sunken client edge (it still passes into the style, as every flag does).
const uint32_t TextBoxNoEdgeFlag = 0x20000;

// The text box's kind table: empty until the first CreateTextBox, then fixed.
const GadgetKind* TextBoxKind();

// Ties a created control to its record: number, kind, GadgetWindowProc subclass, control ID,
// "Zorv_ID" and the default font. Returns the number for AutoNumber (the record address), else the HWND.
intptr_t AttachGadget(ObjectNumber number, GadgetRecord* record, HWND control, const GadgetKind* kind);

// First procedure of every gadget control: forwards to the previous one, and cleans up at WM_NCDESTROY.
LRESULT CALLBACK GadgetWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// Between GadgetWindowProc and the stock Edit procedure: turns focus changes into gadget events.
LRESULT CALLBACK TextBoxWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

// The text box's parent-message handler: answers WM_CTLCOLOREDIT (and WM_CTLCOLORSTATIC while
// enabled) when a colour was set; NotHandled otherwise.
LRESULT HandleTextBoxColors(GadgetRecord* gadget, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
// which: GadgetTextColor or GadgetBackgroundColor; (COLORREF)-1 restores the platform default.
void SetTextBoxColor(GadgetRecord* gadget, int32_t which, COLORREF color);
COLORREF GetTextBoxColor(GadgetRecord* gadget, int32_t which);
// Gives the background brush back to the brush cache; the kind's release handler.
void FreeTextBoxExtras(GadgetRecord* gadget);
