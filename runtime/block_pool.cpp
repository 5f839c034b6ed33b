// block_pool.cpp: fixed-size block pools, the shared-pool list and the one-time initialisation.
#include "runtime/block_pool.h"
#include "runtime/intrusive_list.h"
#include "runtime/main_heap.h"
#include "runtime/runtime_test_seams.h"

static_assert(sizeof(PoolChunk) % PoolSlotAlignment == 0, "slots after the header stay aligned as an address");

// The shared-pool list lives from the first shared pool until the process ends.
static volatile RunOnceFlag sharedListOnce;
static CRITICAL_SECTION sharedListLock;
static SharedPoolEntry* sharedList;

static void InitSharedList() {
    InitializeCriticalSection(&sharedListLock);
    sharedList = nullptr;
}

static void LockPool(BlockPool* pool) {
    if (pool->serialized) EnterCriticalSection(&pool->lock);
}

static void UnlockPool(BlockPool* pool) {
    if (pool->serialized) LeaveCriticalSection(&pool->lock);
}

static bool ChunkIsFull(const PoolChunk* chunk) {
    return chunk->freeCount == 0 && chunk->freshCount == chunk->slotCount;
}

static char* SlotAt(PoolChunk* chunk, int32_t slotSize, int32_t index) {
    return reinterpret_cast<char*>(chunk + 1) + static_cast<size_t>(index) * slotSize;
}

// A chunk of slots slots, or null when the heap cannot supply it (or its size does not fit).
static PoolChunk* AllocChunk(int32_t slots, int32_t slotSize) {
    unsigned long long bytes = sizeof(PoolChunk) + static_cast<unsigned long long>(slots) * slotSize;
    if (slots < 1 || bytes > 0x7FFFFFFFull) return nullptr;
    PoolChunk* chunk = static_cast<PoolChunk*>(MainHeapAllocRaw(static_cast<size_t>(bytes)));
    if (!chunk) return nullptr;
    chunk->next = chunk->prev = nullptr;
    chunk->freeList = nullptr;
    chunk->slotCount = slots;
    chunk->freshCount = 0;
    chunk->freeCount = 0;
    return chunk;
}

static BlockPool* CreatePrivatePool(int32_t slotSize, int32_t minPerChunk, int32_t maxPerChunk,
                                    int32_t flags) {
    BlockPool* pool = static_cast<BlockPool*>(MainHeapAlloc(sizeof(BlockPool)));
    if (!pool) return nullptr;
    pool->fullChunks = nullptr;
    pool->availableChunks = nullptr;
    pool->sharedEntry = nullptr;
    pool->totalSlots = 0;
    pool->slotSize = slotSize;
    pool->minPerChunk = minPerChunk;
    pool->maxPerChunk = maxPerChunk;
    pool->serialized = (flags & PoolLockingMask) == PoolSerialized ? 1 : 0;
    if (pool->serialized) InitializeCriticalSection(&pool->lock);
    return pool;
}

static void DestroyPrivatePool(BlockPool* pool) {
    ClearBlockPool(pool);
    if (pool->serialized) DeleteCriticalSection(&pool->lock);
    MainHeapFree(pool);
}

BlockPool* CreateBlockPool(int32_t blockSize, int32_t minPerChunk, int32_t maxPerChunk, int32_t flags) {
    if (blockSize < 0 || blockSize > 0x7FFFFFF0) return nullptr;
    int32_t slotSize = (blockSize + PoolSlotAlignment + PoolSlotAlignment - 1) & ~(PoolSlotAlignment - 1);
    if (!(flags & PoolShared)) return CreatePrivatePool(slotSize, minPerChunk, maxPerChunk, flags);

    RunOnce(&sharedListOnce, InitSharedList);
    EnterCriticalSection(&sharedListLock);
    BlockPool* result = nullptr;
    for (SharedPoolEntry* entry = sharedList; entry; entry = entry->next) {
        if (entry->slotSize == slotSize && entry->flags == flags) {
            entry->references++;
            result = entry->pool;
            break;
        }
    }
    if (!result) {
        SharedPoolEntry* entry = static_cast<SharedPoolEntry*>(MainHeapAlloc(sizeof(SharedPoolEntry)));
        BlockPool* pool = entry ? CreatePrivatePool(slotSize, minPerChunk, maxPerChunk, flags & ~PoolShared)
                                : nullptr;
        if (pool) {
            entry->pool = pool;
            entry->slotSize = slotSize;
            entry->flags = flags;
            entry->references = 1;
            pool->sharedEntry = entry;
            LinkAtHead(&sharedList, entry);
            result = pool;
        } else {
            MainHeapFree(entry);
        }
    }
    LeaveCriticalSection(&sharedListLock);
    return result;
}

void* AllocPoolBlock(BlockPool* pool) {
    if (!pool) return nullptr;
    LockPool(pool);
    PoolChunk* chunk = pool->availableChunks;
    char* slot;
    if (chunk) {
        if (chunk->freeCount > 0) {
            slot = static_cast<char*>(chunk->freeList);
            chunk->freeList = *reinterpret_cast<void**>(slot);
            chunk->freeCount--;
        } else {
            slot = SlotAt(chunk, pool->slotSize, chunk->freshCount);
            chunk->freshCount++;
        }
        if (ChunkIsFull(chunk)) {
            UnlinkNode(&pool->availableChunks, chunk);
            LinkAtHead(&pool->fullChunks, chunk);
        }
    } else {
        // One sixteenth of what the pool holds, in whole multiples of 16, within the limits.
        int32_t slots = (pool->totalSlots / 16) & ~15;
        if (slots < pool->minPerChunk) slots = pool->minPerChunk;
        else if (slots > pool->maxPerChunk) slots = pool->maxPerChunk;
        if (slots < 1) slots = 1;
        chunk = AllocChunk(slots, pool->slotSize);
        if (!chunk && slots != 1) chunk = AllocChunk(1, pool->slotSize);
        if (!chunk) {
            UnlockPool(pool);
            return nullptr;
        }
        pool->totalSlots += chunk->slotCount;
        chunk->freshCount = 1;
        LinkAtHead(chunk->slotCount > 1 ? &pool->availableChunks : &pool->fullChunks, chunk);
        slot = SlotAt(chunk, pool->slotSize, 0);
    }
    UnlockPool(pool);
    *reinterpret_cast<PoolChunk**>(slot) = chunk;
    return slot + sizeof(PoolChunk*);
}

void FreePoolBlock(BlockPool* pool, void* block) {
    if (!pool || !block) return;
    LockPool(pool);
    char* slot = static_cast<char*>(block) - sizeof(PoolChunk*);
    PoolChunk* chunk = *reinterpret_cast<PoolChunk**>(slot);
    bool wasFull = ChunkIsFull(chunk);
    *reinterpret_cast<void**>(slot) = chunk->freeList;
    chunk->freeList = slot;
    chunk->freeCount++;
    if (chunk->freeCount == chunk->freshCount) {
        UnlinkNode(wasFull ? &pool->fullChunks : &pool->availableChunks, chunk);
        pool->totalSlots -= chunk->slotCount;
        MainHeapFree(chunk);
    } else if (wasFull) {
        UnlinkNode(&pool->fullChunks, chunk);
        LinkAtHead(&pool->availableChunks, chunk);
    }
    UnlockPool(pool);
}

void ClearBlockPool(BlockPool* pool) {
    if (!pool) return;
    LockPool(pool);
    PoolChunk* lists[2] = {pool->fullChunks, pool->availableChunks};
    for (PoolChunk* chunk : lists) {
        while (chunk) {
            PoolChunk* next = chunk->next;
            MainHeapFree(chunk);
            chunk = next;
        }
    }
    pool->fullChunks = nullptr;
    pool->availableChunks = nullptr;
    pool->totalSlots = 0;
    UnlockPool(pool);
}

void DestroyBlockPool(BlockPool* pool) {
    if (!pool) return;
    SharedPoolEntry* entry = pool->sharedEntry;
    if (!entry) {
        DestroyPrivatePool(pool);
        return;
    }
    // Lock order: the shared list first, then (inside ClearBlockPool) the pool's own lock.
    EnterCriticalSection(&sharedListLock);
    if (--entry->references <= 0) {
        pool->sharedEntry = nullptr;
        DestroyPrivatePool(pool);
        UnlinkNode(&sharedList, entry);
        MainHeapFree(entry);
    }
    LeaveCriticalSection(&sharedListLock);
}

// Test seam (runtime_test_seams.h): the fallback of RunOnce on its own.
// The word is pointer-wide, so the pointer-wide interlocked operations serve both builds.
static LONG_PTR CompareExchangeFlag(volatile RunOnceFlag* flagWord, LONG_PTR value, LONG_PTR expected) {
    return reinterpret_cast<LONG_PTR>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile*>(flagWord), reinterpret_cast<PVOID>(value),
        reinterpret_cast<PVOID>(expected)));
}

void RunOnceInterlocked(volatile RunOnceFlag* flagWord, RunOnceFunction init) {
    LONG_PTR old = CompareExchangeFlag(flagWord, 1, 0);
    if (old == 0) {
        init();
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(flagWord), reinterpret_cast<PVOID>(2));
    } else if (old == 1) {
        while (CompareExchangeFlag(flagWord, 2, 2) != 2) Sleep(0);
    }
}

typedef BOOL(WINAPI* InitOnceExecuteOnceRoutine)(PINIT_ONCE once, PINIT_ONCE_FN callback,
                                                 PVOID parameter, PVOID* context);

static BOOL CALLBACK RunOnceAdapter(PINIT_ONCE, PVOID parameter, PVOID*) {
    (*static_cast<RunOnceFunction*>(parameter))();
    return TRUE;
}

void RunOnce(volatile RunOnceFlag* flagWord, RunOnceFunction init) {
    static_assert(sizeof(INIT_ONCE) == sizeof(RunOnceFlag), "the flag word doubles as the INIT_ONCE");
    HMODULE kernel = LoadLibraryA("Kernel32.dll");
    FARPROC found = kernel ? GetProcAddress(kernel, "InitOnceExecuteOnce") : nullptr;
    if (found) {
        InitOnceExecuteOnceRoutine executeOnce = reinterpret_cast<InitOnceExecuteOnceRoutine>(
            reinterpret_cast<void*>(found));
        executeOnce(reinterpret_cast<PINIT_ONCE>(const_cast<RunOnceFlag*>(flagWord)), RunOnceAdapter, &init,
                    nullptr);
        FreeLibrary(kernel);
        return;
    }
    if (kernel) FreeLibrary(kernel);
    RunOnceInterlocked(flagWord, init);
}
