// main_heap.cpp: the main private heap: registries, records, lists, file buffers, event blocks.
#include "runtime/main_heap.h"

static HANDLE mainHeap;

HANDLE CreateMainHeap() {
    if (!mainHeap) mainHeap = HeapCreate(0, 4096, 0);
    return mainHeap;
}

void DestroyMainHeap() {
    if (mainHeap) HeapDestroy(mainHeap);
    mainHeap = nullptr;
}

HANDLE MainHeap() { return mainHeap; }

void* MainHeapAlloc(size_t size) {
    return mainHeap ? HeapAlloc(mainHeap, HEAP_ZERO_MEMORY, size) : nullptr;
}

void* MainHeapAllocRaw(size_t size) {
    return mainHeap ? HeapAlloc(mainHeap, 0, size) : nullptr;
}

void* MainHeapReAlloc(void* block, size_t size) {
    if (!block) return MainHeapAlloc(size);
    return mainHeap ? HeapReAlloc(mainHeap, HEAP_ZERO_MEMORY, block, size) : nullptr;
}

BOOL MainHeapFree(void* block) {
    if (!block || !mainHeap) return FALSE;
    return HeapFree(mainHeap, 0, block);
}

void* CreateLibraryState(size_t size, void (*initCallback)(void* record)) {
    void* record = MainHeapAlloc(size);
    if (record && initCallback) initCallback(record);
    return record;
}
