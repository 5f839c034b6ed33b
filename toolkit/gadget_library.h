// gadget_library.h: the gadget library: numbered child controls tied to records, their text and clean-up.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "runtime/object_registry.h"

struct GadgetKind;
struct GadgetRecord;

// Returns InitCommonControlsEx's result (callers ignore it).
BOOL InitGadgetLibrary();
void FreeGadgetLibrary();

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

// Ties a created control to its record: number, kind, GadgetWindowProc subclass, control ID,
// "Zorv_ID" and the default font. Returns the number for AutoNumber (the record address), else the HWND.
intptr_t AttachGadget(ObjectNumber number, GadgetRecord* record, HWND control, const GadgetKind* kind);

// First procedure of every gadget control: forwards to the previous one, and cleans up at WM_NCDESTROY.
LRESULT CALLBACK GadgetWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

struct GadgetLibraryState {
    HWND currentGadgetList;   // parent of new gadgets
    HFONT defaultFont;
    HWND* containerStack;
    int32_t stackDepth;
    int32_t stackCapacity;
    HWND auxiliaryWindow;
    int32_t perListFlag;
};

// Set by InitGadgetLibrary; null before.
ObjectRegistry* GadgetRegistry();
GadgetLibraryState* GadgetLibrary();
void SetGadgetLibraryGlobals(ObjectRegistry* registry, GadgetLibraryState* state);
