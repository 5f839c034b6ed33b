// toolkit_test_seams.h: TEST SEAMS of the toolkit library. Nothing in the program calls these; they let
// the tests reach state and operations that the program keeps to itself.
#pragma once
#include <windows.h>
#include <cstdint>
#include "runtime/object_registry.h"
#include "toolkit/events.h"
#include "toolkit/window_record.h"

struct GadgetKind;

// The event library's global record; null before InitEventLibrary.
EventState* EventLibrary();
// The hidden "PostEventClass" window that receives "Zorv_PostEventMessage"; null when none.
HWND PostEventWindow();

// Binds routine to the key "code:window:object:subtype" (-1 = any) in the callback map; the binding
// belongs to window (UnbindWindowCallbacks removes it). Runs while that pattern is posted, seeing the
// posted event as current. False when memory is short or the library is not started.
typedef void (*BoundCallback)();
bool BindEventCallback(int32_t code, ObjectNumber window, ObjectNumber object, int32_t subtype,
                       BoundCallback routine);

// Puts another window registry and library state in place of the window library's own.
void SetWindowLibraryGlobals(ObjectRegistry* registry, WindowLibraryState* state);

// The text box's kind table: empty until the first CreateTextBox, then fixed.
const GadgetKind* TextBoxKind();

// References held on the brush cache's entry of that brush; 0 when the cache does not hold it.
LONG ColorBrushReferences(HBRUSH brush);
