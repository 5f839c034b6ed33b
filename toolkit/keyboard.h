// keyboard.h: accelerators and keyboard cues applied by the event wait loop.
#pragma once
#include <windows.h>

// The Tab accelerator table of the given (active) window, or null when none applies.
HACCEL AcceleratorsForWindow(HWND hwnd);
// Shows (1) or hides (0) focus rectangles and access-key underlines.
void UpdateKeyboardCues(HWND hwnd, int show);
