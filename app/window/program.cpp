// program.cpp: the fixed start-up and shut-down order of the libraries, and the work buffer.
#include "app/window/program.h"
#include <commctrl.h>
#include <objbase.h>
#include "report/compressed_text.h"
#include "runtime/files.h"
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"
#include "runtime/parameters.h"
#include "toolkit/drop_target.h"
#include "toolkit/events.h"
#include "toolkit/gadget_library.h"
#include "toolkit/numbered_windows.h"

static uint8_t* workBuffer;

HINSTANCE TakeModuleHandle() {
    HINSTANCE module = GetModuleHandleW(nullptr);
    CreateMainHeap();
    return module;
}

void ToolkitStartUp() {
    InitMemoryLibrary();
    InitEventLibrary();
    InitWindowLibrary();
    InitGadgetLibrary();
    InitDragDrop();
    InitFileLibrary();
    InitParameterLibrary();
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), GadgetControlClasses};
    InitCommonControlsEx(&controls);
    // COM is already started by OleInitialize, so this returns S_FALSE and only adds a reference to
    // the thread's apartment. Nothing takes it back: OleUninitialize at shut-down ends OLE but leaves
    // the apartment in place (under Wine it is still the main single-threaded apartment afterwards),
    // and the process ends with it.
    CoInitialize(nullptr);
}

void ToolkitShutDown() {
    FreeFileLibrary();
    // OLE goes while the main window and its drop registration still exist. The apartment outlives
    // it (see the extra CoInitialize above), so the text box's later RevokeDragDrop, when the gadgets
    // go with the window, still succeeds (S_OK under Wine).
    FreeDragDrop();
    FreeGadgetLibrary();
    FreeWindowLibrary();
    FreeEventLibrary();
    FreeMemoryLibrary();
}

void EndProgram() {
    ToolkitShutDown();
    // The work buffer, if still held, went with the memory heap.
    workBuffer = nullptr;
    DestroyMainHeap();
    ExitProcess(0);
}

uint8_t* AllocateWorkBuffer() {
    if (!workBuffer) workBuffer = static_cast<uint8_t*>(MemAlloc(WorkBufferSize));
    return workBuffer;
}

uint8_t* WorkBuffer() { return workBuffer; }

void ReleaseWorkBuffer() {
    MemFree(workBuffer);
    workBuffer = nullptr;
}
