// main_heap.h: the process's main private heap and the library state records kept in it.
#pragma once
#include <windows.h>
#include <cstddef>

// Creates the main heap (HeapCreate(0, 4096, 0)). Called first by the entry point (and by test mains).
HANDLE CreateMainHeap();
// Destroys the main heap with everything still in it. Called last.
void DestroyMainHeap();
HANDLE MainHeap();

// Zero-filled block from the main heap; null when the heap cannot supply it.
void* MainHeapAlloc(size_t size);
// Block from the main heap that is not cleared (file buffers, pool chunks).
void* MainHeapAllocRaw(size_t size);
// Grows or shrinks a main-heap block; new bytes are zero-filled.
void* MainHeapReAlloc(void* block, size_t size);
// Frees a main-heap block; freeing null does nothing. Returns the heap's result.
BOOL MainHeapFree(void* block);

// A library's global state: a zero-filled record of size bytes from the main heap, never freed.
// initCallback, when given, is called with the record before it is returned.
void* CreateLibraryState(size_t size, void (*initCallback)(void* record));
