// gadget_library.h: the gadget library: numbered child controls tied to records, their text and clean-up.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <cstdint>
#include <string>
#include "runtime/object_registry.h"

struct GadgetKind;
struct GadgetRecord;

// The common control classes the gadget library starts (and the program once more at its start-up).
const DWORD GadgetControlClasses =
    ICC_TAB_CLASSES | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES;
static_assert(GadgetControlClasses == 0x0B48, "the common control classes started");

// Returns InitCommonControlsEx's result (callers ignore it).
BOOL InitGadgetLibrary();
void FreeGadgetLibrary();

// Replaces the text without raising gadget events; null empties it. Unknown numbers do nothing.
void ReplaceGadgetText(ObjectNumber number, const wchar_t* text);
// Adds text at the end of an edit control's text, without raising gadget events and without undo;
// the caret ends behind it. Its cost grows with the text added and the length of the last line, not
// with the whole text (see bench/report_fill_bench). Null or empty text, unknown numbers: nothing.
void AppendGadgetText(ObjectNumber number, const wchar_t* text);
// Replaces the text as ReplaceGadgetText does; a multi-line edit control gets a text buffer of room
// characters (at least the text's), so that text added later up to that size never makes the control
// move all it holds into a larger one. Where no such buffer can be made, the same as ReplaceGadgetText.
void ReplaceGadgetTextWithRoom(ObjectNumber number, const wchar_t* text, size_t room);
// Puts text into an edit control's text at character position at (at most its length), without
// raising gadget events and without undo. The user's selection, moved with the text it is on, and
// first visible line stay. Null or empty text, unknown numbers: nothing.
void InsertGadgetText(ObjectNumber number, size_t at, const wchar_t* text);
// The whole text; empty for a number that names no gadget.
std::wstring ReadGadgetText(ObjectNumber number);
// DestroyWindow of the gadget's control (clean-up runs at WM_NCDESTROY); -1 releases all; 0 if none.
BOOL ReleaseGadget(ObjectNumber number);

// Raises GadgetNotifyEvent with the subtype for the control's gadget, in the window that owns it.
void PostGadgetFocusEvent(HWND control, int32_t subtype);

// Ties a created control to its record: number, kind, GadgetWindowProc subclass, control ID,
// "Zorv_ID" and the default font. Returns the number for AutoNumber (the record address), else the HWND.
intptr_t AttachGadget(ObjectNumber number, GadgetRecord* record, HWND control, const GadgetKind* kind);

// First procedure of every gadget control: forwards to the previous one, and cleans up at WM_NCDESTROY.
LRESULT CALLBACK GadgetWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

struct GadgetLibraryState {
    HWND currentGadgetList;   // parent of new gadgets
    HFONT defaultFont;
    HWND* containerStack;     // nothing in this program pushes onto it; each gadget list keeps its own
    int32_t stackDepth;
    int32_t stackCapacity;
    HWND auxiliaryWindow;     // nothing in this program creates it
    int32_t perListFlag;
};

// Set by InitGadgetLibrary; null before.
ObjectRegistry* GadgetRegistry();
GadgetLibraryState* GadgetLibrary();

// The list state a window keeps while another window is the current gadget list: the saved copies of
// the live GadgetLibraryState fields of the same names.
struct GadgetListState {
    HWND currentGadgetList;
    HWND* containerStack; // main-heap array, or null while the live state holds it
    int32_t stackDepth;
    int32_t stackCapacity;
};

// The operations on the live list state below serve the window library's SetCurrentGadgetList and its
// clean-up of destroyed windows; each does nothing before InitGadgetLibrary.

// The window new gadgets go into: the first container stack entry while the stack is not empty, else
// the current gadget-list window; null before InitGadgetLibrary.
HWND CurrentGadgetTarget();
// Moves the live list state into saved: the live state is left without a stack.
void SaveGadgetList(GadgetListState* saved);
// Makes saved the live list state (the live stack freed), and saved gives up its stack. Without saved:
// a fresh list in window, with the live stack (a new one of 10 entries when there is none) emptied.
// Either way the per-list flag is cleared.
void EnterGadgetList(HWND window, GadgetListState* saved);
// For a window being destroyed: it stops being where new gadgets go, and its saved stack is freed.
void ForgetGadgetList(HWND window, GadgetListState* saved);
