// bench_window.h: the libraries a text-box benchmark needs, and the program's main window opened with them.
#pragma once
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"
#include "toolkit/events.h"
#include "toolkit/gadget_library.h"
#include "toolkit/numbered_windows.h"

// Starts the heap, event, window and gadget libraries and opens window 0 as the program does; false
// when it cannot be opened (no display).
inline bool OpenBenchWindow() {
    CreateMainHeap();
    InitMemoryLibrary();
    InitEventLibrary();
    InitWindowLibrary();
    InitGadgetLibrary();
    return OpenNumberedWindow(0, 0, 0, 640, 480, L"PNG text chunks", 0xCA0001) != 0;
}
