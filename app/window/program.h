// program.h: start-up and shut-down order of the libraries, the work buffer, and the program's end.
#pragma once
#include <windows.h>
#include <cstdint>

// Takes the module handle and creates the main heap: the first two steps of the entry point. The
// libraries ask for the module handle themselves when they register classes and load resources.
HINSTANCE TakeModuleHandle();

// Starts the libraries in this order: memory, events, windows, gadgets, drag and drop (OleInitialize),
// files, parameters, then common controls and COM. Needs the main heap.
void ToolkitStartUp();
// Stops them in this order: files, drag and drop, gadgets, windows (every window destroyed), events,
// memory (the memory heap with every block still in it).
void ToolkitShutDown();

// The shut-down sequence: ToolkitShutDown, the main heap destroyed, ExitProcess(0).
[[noreturn]] void EndProgram();

// The block zTXt and compressed iTXt text is inflated into (WorkBufferSize bytes from the memory
// heap). Null until allocated, and when the memory heap could not supply it: the scan then shows
// those texts empty.
uint8_t* AllocateWorkBuffer();
uint8_t* WorkBuffer();
void ReleaseWorkBuffer();
