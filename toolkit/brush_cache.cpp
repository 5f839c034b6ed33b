// brush_cache.cpp: the colour-keyed brush list behind the text box background colours.
#include "toolkit/brush_cache.h"
#include "runtime/intrusive_list.h"
#include "toolkit/toolkit_test_seams.h"

struct BrushCacheEntry {
    COLORREF color;
    HBRUSH brush;
    LONG references;
};

// Newest entry at the head. The lock is held only for one acquire or release.
static ListNode* brushEntries;
static CRITICAL_SECTION brushLock;
static bool brushCacheReady;

void InitBrushCache() {
    if (brushCacheReady) return;
    InitializeCriticalSection(&brushLock);
    brushCacheReady = true;
}

static BrushCacheEntry* FindEntryByColor(COLORREF color) {
    for (ListNode* node = brushEntries; node; node = node->next) {
        BrushCacheEntry* entry = static_cast<BrushCacheEntry*>(PayloadOfNode(node));
        if (entry->color == color) return entry;
    }
    return nullptr;
}

static BrushCacheEntry* FindEntryByBrush(HBRUSH brush) {
    for (ListNode* node = brushEntries; node; node = node->next) {
        BrushCacheEntry* entry = static_cast<BrushCacheEntry*>(PayloadOfNode(node));
        if (entry->brush == brush) return entry;
    }
    return nullptr;
}

HBRUSH AcquireColorBrush(COLORREF color) {
    if (!brushCacheReady) return nullptr;
    EnterCriticalSection(&brushLock);
    HBRUSH result = nullptr;
    BrushCacheEntry* entry = FindEntryByColor(color);
    if (entry && entry->brush) {
        entry->references++;
        result = entry->brush;
    } else {
        // A brush that cannot be made leaves no entry behind, so a later call tries again.
        HBRUSH brush = CreateSolidBrush(color);
        if (brush) {
            entry = static_cast<BrushCacheEntry*>(AddListNode(&brushEntries, sizeof(BrushCacheEntry)));
            if (entry) {
                entry->color = color;
                entry->brush = brush;
                entry->references = 1;
                result = brush;
            } else {
                DeleteObject(brush);
            }
        }
    }
    LeaveCriticalSection(&brushLock);
    return result;
}

void ReleaseColorBrush(HBRUSH brush) {
    if (!brushCacheReady || !brush) return;
    EnterCriticalSection(&brushLock);
    BrushCacheEntry* entry = FindEntryByBrush(brush);
    if (entry && --entry->references <= 0) {
        DeleteObject(entry->brush);
        RemoveListNode(&brushEntries, entry);
    }
    LeaveCriticalSection(&brushLock);
}

// Test seam (toolkit_test_seams.h).
LONG ColorBrushReferences(HBRUSH brush) {
    if (!brushCacheReady || !brush) return 0;
    EnterCriticalSection(&brushLock);
    BrushCacheEntry* entry = FindEntryByBrush(brush);
    LONG references = entry ? entry->references : 0;
    LeaveCriticalSection(&brushLock);
    return references;
}
