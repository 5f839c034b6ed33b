// text_box.h: the text box, the gadget library's one kind (a subclassed "Edit" control).
#pragma once
#include <windows.h>
#include <cstdint>
#include "runtime/object_registry.h"

// Creates an "Edit" control in the current gadget list. Fixed number: the control's HWND;
// AutoNumber: the new gadget number (its record address); 0 on failure.
intptr_t CreateTextBox(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                       const wchar_t* text, uint32_t flags);

struct GadgetKind;
struct GadgetRecord;

const int32_t TextBoxKindNumber = 2;
const int32_t TextBoxMaxLengthAttribute = 1; // EM_GETLIMITTEXT / EM_LIMITTEXT
const int32_t GadgetTextColor = 1;           // "which" of the colour handlers
const int32_t GadgetBackgroundColor = 2;
// Control style bits every text box gets.
const uint32_t TextBoxBaseStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;
static_assert(TextBoxBaseStyle == 0x50030080, "the text box's base style");
// A flag bit that drops the sunken client edge. It still passes into the style, as every flag does:
// it is the bit of WS_GROUP, which every text box has anyway.
const uint32_t TextBoxNoEdgeFlag = 0x20000;
static_assert(TextBoxNoEdgeFlag == WS_GROUP, "the no-edge flag costs no style bit of its own");

// The character Ctrl+A types (Ctrl with a letter gives the letter's place in the alphabet).
const WPARAM SelectAllCharacter = 1;

// Between GadgetWindowProc and the stock Edit procedure: turns focus changes into gadget events and
// makes Ctrl+A select the whole text.
LRESULT CALLBACK TextBoxWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

// The text box's parent-message handler: answers WM_CTLCOLOREDIT (and WM_CTLCOLORSTATIC while
// enabled) when a colour was set; NotHandled otherwise.
LRESULT HandleTextBoxColors(GadgetRecord* gadget, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
// which: GadgetTextColor or GadgetBackgroundColor; (COLORREF)-1 restores the platform default.
void SetTextBoxColor(GadgetRecord* gadget, int32_t which, COLORREF color);
COLORREF GetTextBoxColor(GadgetRecord* gadget, int32_t which);
// Gives the background brush back to the brush cache; the kind's release handler.
void FreeTextBoxExtras(GadgetRecord* gadget);
