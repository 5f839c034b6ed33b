// block_pool.h: fixed-size blocks carved out of larger main-heap chunks, private or shared.
#pragma once
#include <windows.h>
#include <cstdint>

// Pool flags. The low two bits select locking: only the value 1 means a serialized pool.
enum BlockPoolFlags : int32_t {
    PoolSerialized = 1,
    PoolShared = 4,
    PoolLockingMask = 3, // the two locking bits; 0 and 2 mean no lock
};

// Format notes: a chunk is one main-heap allocation of this header followed by slotCount slots of
// the pool's slot size. Each slot is the address of its chunk followed by the caller's block; while
// a slot is free its first word links the chunk's free list instead.
struct PoolChunk {
    PoolChunk* next;
    PoolChunk* prev;
    void* freeList;     // free slots, singly linked through their first word
    int32_t slotCount;
    int32_t freshCount; // slots handed out from the never-used tail; the next fresh one is this index
    int32_t freeCount;  // length of the free list
};

struct SharedPoolEntry;

struct BlockPool {
    PoolChunk* fullChunks;      // no block left to hand out
    PoolChunk* availableChunks; // allocation always uses the head
    SharedPoolEntry* sharedEntry; // null for a private pool
    int32_t totalSlots;
    int32_t slotSize;           // block size + 4, a multiple of 4
    int32_t minPerChunk;
    int32_t maxPerChunk;
    int32_t serialized;         // 1 when lock is used
    CRITICAL_SECTION lock;      // initialised only when serialized
};

// One per distinct shared pool, in one global list under one global critical section.
struct SharedPoolEntry {
    SharedPoolEntry* next;
    SharedPoolEntry* prev;
    BlockPool* pool;
    int32_t slotSize;
    int32_t flags;              // the whole flags word the pool was asked for
    int32_t references;
};

// A pool handing out blocks of blockSize bytes, minPerChunk..maxPerChunk per chunk. With PoolShared
// an existing shared pool of the same slot size and the same whole flags word is returned instead
// (one more reference). Null when a record cannot be allocated or blockSize is negative.
BlockPool* CreateBlockPool(int32_t blockSize, int32_t minPerChunk, int32_t maxPerChunk, int32_t flags);
// A 4-byte aligned block that is not cleared; null only when not even a one-slot chunk can be had.
void* AllocPoolBlock(BlockPool* pool);
// Gives a block back to the pool it came from; a chunk whose blocks are all back is freed at once.
// Null pool or block does nothing.
void FreePoolBlock(BlockPool* pool, void* block);
// Frees every chunk at once; blocks handed out earlier become invalid.
void ClearBlockPool(BlockPool* pool);
// Destroys a private pool, or drops one reference to a shared pool (destroyed with the last one).
void DestroyBlockPool(BlockPool* pool);

// A slot starts with the address of its chunk, so blocks are aligned as an address is: slot sizes are
// multiples of 4 on the 32-bit build and of 8 on the 64-bit one.
const int32_t PoolSlotAlignment = static_cast<int32_t>(sizeof(void*));

// The flag word of RunOnce: as wide as the platform's INIT_ONCE, which it doubles as (32 bits on the
// 32-bit build, 64 on the 64-bit one). It starts at 0.
typedef LONG_PTR RunOnceFlag;

// Runs init exactly once per flag word, also when several threads call at the same time; every
// caller returns only after init has finished. Uses the platform's one-time initialisation when
// Kernel32 exports it, else an interlocked three-state flag word.
typedef void (*RunOnceFunction)();
void RunOnce(volatile RunOnceFlag* flagWord, RunOnceFunction init);
