// block_pool_test.cpp: chunk carving, growth, free-list reuse, chunk release, shared pools, RunOnce.
#include <gtest/gtest.h>
#include <set>
#include <vector>
#include "runtime/block_pool.h"
#include "runtime/runtime_test_seams.h"

static PoolChunk* ChunkOf(void* block) { return *(reinterpret_cast<PoolChunk**>(block) - 1); }

static int ListLength(PoolChunk* list) {
    int n = 0;
    for (; list; list = list->next) ++n;
    return n;
}

// Destroys a private pool at the end of a test even when an assertion fails.
struct PoolOwner {
    BlockPool* pool;
    explicit PoolOwner(BlockPool* p) : pool(p) {}
    ~PoolOwner() { DestroyBlockPool(pool); }
    PoolOwner(const PoolOwner&) = delete;
    PoolOwner& operator=(const PoolOwner&) = delete;
};

// The chunk address in front of each block is 4 bytes on the 32-bit build and 8 on the 64-bit one.
static const bool WideAddresses = sizeof(void*) == 8;
// The slot size of a block of 28 bytes, the size most tests use.
static const int32_t Slot28 = WideAddresses ? 40 : 32;

TEST(BlockPool, SlotSizeIsBlockPlusChunkAddressRoundedToItsAlignment) {
    // block size, slot size on the 32-bit build, on the 64-bit build
    const int32_t cases[][3] = {{28, 32, 40}, {29, 36, 40}, {0, 4, 8}, {1, 8, 16}, {32, 36, 40}};
    for (auto& c : cases) {
        PoolOwner p(CreateBlockPool(c[0], 16, 256, 2));
        ASSERT_NE(nullptr, p.pool);
        EXPECT_EQ(WideAddresses ? c[2] : c[1], p.pool->slotSize) << "block size " << c[0];
        EXPECT_EQ(0, p.pool->totalSlots);
        EXPECT_EQ(nullptr, p.pool->availableChunks);
        EXPECT_EQ(nullptr, p.pool->fullChunks);
    }
    EXPECT_EQ(nullptr, CreateBlockPool(-1, 16, 256, 2));
}

TEST(BlockPool, OnlyLowBitsValueOneSerializes) {
    PoolOwner one(CreateBlockPool(8, 16, 256, 1)), two(CreateBlockPool(8, 16, 256, 2)),
        three(CreateBlockPool(8, 16, 256, 3)), five(CreateBlockPool(8, 16, 256, 5 & ~PoolShared));
    EXPECT_EQ(1, one.pool->serialized);
    EXPECT_EQ(0, two.pool->serialized);
    EXPECT_EQ(0, three.pool->serialized);
    EXPECT_EQ(1, five.pool->serialized);
    EXPECT_EQ(nullptr, one.pool->sharedEntry);
}

TEST(BlockPool, SixteenBlocksShareOneChunkAndTheSeventeenthMakesAnother) {
    PoolOwner p(CreateBlockPool(28, 16, 256, 2));
    std::vector<char*> blocks;
    for (int i = 0; i < 16; ++i) blocks.push_back(static_cast<char*>(AllocPoolBlock(p.pool)));
    PoolChunk* first = ChunkOf(blocks[0]);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(first, ChunkOf(blocks[i]));
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(blocks[i]) % sizeof(void*));
        if (i) {
            EXPECT_EQ(blocks[i - 1] + Slot28, blocks[i]) << "fresh slots are handed out in order";
        }
    }
    // A block filled to its last byte leaves the next slot's chunk address alone.
    for (char* block : blocks) memset(block, 0xAB, 28);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(first, ChunkOf(blocks[i])) << "block " << i;
    EXPECT_EQ(16, first->slotCount);
    EXPECT_EQ(16, p.pool->totalSlots);
    EXPECT_EQ(nullptr, p.pool->availableChunks);
    EXPECT_EQ(first, p.pool->fullChunks);

    char* seventeenth = static_cast<char*>(AllocPoolBlock(p.pool));
    PoolChunk* second = ChunkOf(seventeenth);
    EXPECT_NE(first, second);
    EXPECT_EQ(16, second->slotCount);
    EXPECT_EQ(32, p.pool->totalSlots);
    EXPECT_EQ(second, p.pool->availableChunks);
    EXPECT_EQ(1, ListLength(p.pool->fullChunks));
}

TEST(BlockPool, ChunksGrowWithThePoolWithinTheLimits) {
    PoolOwner p(CreateBlockPool(4, 16, 40, 2));
    std::vector<void*> blocks;
    for (int i = 0; i < 512; ++i) blocks.push_back(AllocPoolBlock(p.pool));
    EXPECT_EQ(512, p.pool->totalSlots);
    EXPECT_EQ(16, ChunkOf(blocks.back())->slotCount);
    // 512 / 16 = 32 slots next; at 544 slots 544 / 16 = 34, cleared to 32.
    blocks.push_back(AllocPoolBlock(p.pool));
    EXPECT_EQ(32, ChunkOf(blocks.back())->slotCount);
    for (int i = 0; i < 32; ++i) blocks.push_back(AllocPoolBlock(p.pool));
    EXPECT_EQ(32, ChunkOf(blocks.back())->slotCount);
    // Grow to 768+ slots: 48 would be next, the maximum 40 wins.
    while (p.pool->totalSlots < 768) blocks.push_back(AllocPoolBlock(p.pool));
    while (p.pool->availableChunks) blocks.push_back(AllocPoolBlock(p.pool));
    blocks.push_back(AllocPoolBlock(p.pool));
    EXPECT_EQ(40, ChunkOf(blocks.back())->slotCount);
    std::set<void*> distinct(blocks.begin(), blocks.end());
    EXPECT_EQ(blocks.size(), distinct.size());
    EXPECT_EQ(0u, distinct.count(nullptr));
}

TEST(BlockPool, FreedBlocksComeBackLastInFirstOutBeforeFreshSlots) {
    PoolOwner p(CreateBlockPool(28, 16, 256, 2));
    char* a = static_cast<char*>(AllocPoolBlock(p.pool));
    char* b = static_cast<char*>(AllocPoolBlock(p.pool));
    char* c = static_cast<char*>(AllocPoolBlock(p.pool));
    FreePoolBlock(p.pool, b);
    FreePoolBlock(p.pool, a);
    EXPECT_EQ(a, AllocPoolBlock(p.pool));
    EXPECT_EQ(b, AllocPoolBlock(p.pool));
    EXPECT_EQ(c + Slot28, AllocPoolBlock(p.pool)) << "then the next fresh slot";
    EXPECT_EQ(16, p.pool->totalSlots);
}

TEST(BlockPool, ChunkIsReleasedWhenItsLastBlockReturns) {
    PoolOwner p(CreateBlockPool(28, 16, 256, 2));
    void* only = AllocPoolBlock(p.pool);
    FreePoolBlock(p.pool, only);
    EXPECT_EQ(0, p.pool->totalSlots) << "also the pool's only chunk";
    EXPECT_EQ(nullptr, p.pool->availableChunks);
    EXPECT_EQ(nullptr, p.pool->fullChunks);
    void* again = AllocPoolBlock(p.pool);
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(16, p.pool->totalSlots);

    // Two chunks: emptying the full first one releases it and leaves the second alone.
    std::vector<void*> firstChunk{again};
    for (int i = 0; i < 15; ++i) firstChunk.push_back(AllocPoolBlock(p.pool));
    void* inSecond = AllocPoolBlock(p.pool);
    EXPECT_EQ(32, p.pool->totalSlots);
    for (void* block : firstChunk) FreePoolBlock(p.pool, block);
    EXPECT_EQ(16, p.pool->totalSlots);
    EXPECT_EQ(nullptr, p.pool->fullChunks);
    EXPECT_EQ(ChunkOf(inSecond), p.pool->availableChunks);
    EXPECT_EQ(1, ListLength(p.pool->availableChunks));
}

TEST(BlockPool, FullChunkGettingABlockBackMovesToTheHeadOfAvailable) {
    PoolOwner p(CreateBlockPool(28, 16, 256, 2));
    std::vector<void*> first;
    for (int i = 0; i < 16; ++i) first.push_back(AllocPoolBlock(p.pool));
    void* inSecond = AllocPoolBlock(p.pool);
    ASSERT_EQ(ChunkOf(inSecond), p.pool->availableChunks);
    FreePoolBlock(p.pool, first[7]);
    EXPECT_EQ(ChunkOf(first[0]), p.pool->availableChunks);
    EXPECT_EQ(nullptr, p.pool->fullChunks);
    EXPECT_EQ(2, ListLength(p.pool->availableChunks));
    EXPECT_EQ(first[7], AllocPoolBlock(p.pool));
    EXPECT_EQ(ChunkOf(first[0]), p.pool->fullChunks) << "full again";
}

TEST(BlockPool, UnaffordableChunkFallsBackToOneSlot) {
    // 4096 slots of 1 MiB cannot be had in a 32-bit process; single 1 MiB slots can.
    PoolOwner p(CreateBlockPool(1 << 20, 4096, 8192, 2));
    char* a = static_cast<char*>(AllocPoolBlock(p.pool));
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(1, ChunkOf(a)->slotCount);
    EXPECT_EQ(ChunkOf(a), p.pool->fullChunks) << "a one-slot chunk is full at once";
    EXPECT_EQ(nullptr, p.pool->availableChunks);
    a[0] = 1;
    a[(1 << 20) - 1] = 2; // the whole block is usable
    char* b = static_cast<char*>(AllocPoolBlock(p.pool));
    ASSERT_NE(nullptr, b);
    EXPECT_NE(ChunkOf(a), ChunkOf(b));
    EXPECT_EQ(2, p.pool->totalSlots);
    FreePoolBlock(p.pool, a);
    EXPECT_EQ(1, p.pool->totalSlots);
    EXPECT_EQ(ChunkOf(b), p.pool->fullChunks);

    PoolOwner huge(CreateBlockPool(0x7FFFFFF0, 16, 16, 2));
    EXPECT_EQ(nullptr, AllocPoolBlock(huge.pool)) << "not even one slot fits";
    EXPECT_EQ(0, huge.pool->totalSlots);
}

TEST(BlockPool, ClearFreesEveryChunk) {
    PoolOwner p(CreateBlockPool(12, 16, 256, 2));
    for (int i = 0; i < 40; ++i) AllocPoolBlock(p.pool);
    EXPECT_EQ(48, p.pool->totalSlots);
    ClearBlockPool(p.pool);
    EXPECT_EQ(0, p.pool->totalSlots);
    EXPECT_EQ(nullptr, p.pool->availableChunks);
    EXPECT_EQ(nullptr, p.pool->fullChunks);
    EXPECT_NE(nullptr, AllocPoolBlock(p.pool));
    EXPECT_EQ(16, p.pool->totalSlots);
}

TEST(BlockPool, NullArgumentsDoNothing) {
    EXPECT_EQ(nullptr, AllocPoolBlock(nullptr));
    FreePoolBlock(nullptr, nullptr);
    ClearBlockPool(nullptr);
    DestroyBlockPool(nullptr);
    PoolOwner p(CreateBlockPool(8, 16, 256, 2));
    FreePoolBlock(p.pool, nullptr);
    EXPECT_EQ(0, p.pool->totalSlots);
}

TEST(SharedBlockPool, SameSlotSizeAndFlagsShareOnePoolCountedByReference) {
    // Slot size 1004 (block sizes 997 to 1000; 1008 on the 64-bit build) is used by no other test.
    BlockPool* a = CreateBlockPool(997, 16, 64, PoolShared);
    BlockPool* b = CreateBlockPool(1000, 32, 32, PoolShared);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, b);
    EXPECT_EQ(WideAddresses ? 1008 : 1004, a->slotSize);
    EXPECT_EQ(16, a->minPerChunk) << "the first creation's limits hold";
    ASSERT_NE(nullptr, a->sharedEntry);
    EXPECT_EQ(2, a->sharedEntry->references);
    EXPECT_EQ(PoolShared, a->sharedEntry->flags);
    EXPECT_EQ(0, a->serialized);

    BlockPool* serializedToo = CreateBlockPool(1000, 16, 64, PoolShared | PoolSerialized);
    EXPECT_NE(a, serializedToo) << "the whole flags word must match";
    EXPECT_EQ(1, serializedToo->serialized);
    DestroyBlockPool(serializedToo);

    DestroyBlockPool(a);
    EXPECT_EQ(1, b->sharedEntry->references);
    void* block = AllocPoolBlock(b);
    ASSERT_NE(nullptr, block);
    memset(block, 0xAB, 1000);
    FreePoolBlock(b, block);
    DestroyBlockPool(b);

    // The last reference destroyed the pool and unregistered it: a new one takes the new limits.
    BlockPool* fresh = CreateBlockPool(1000, 48, 48, PoolShared);
    ASSERT_NE(nullptr, fresh);
    EXPECT_EQ(48, fresh->minPerChunk);
    EXPECT_EQ(1, fresh->sharedEntry->references);
    DestroyBlockPool(fresh);
}

TEST(SharedBlockPool, BlockSizes29And32ShareOneSlotSize) {
    BlockPool* a = CreateBlockPool(29, 16, 65536, PoolShared);
    BlockPool* b = CreateBlockPool(32, 16, 65536, PoolShared);
    EXPECT_EQ(a, b);
    const int32_t slot = WideAddresses ? 40 : 36;
    EXPECT_EQ(slot, a->slotSize);
    char* x = static_cast<char*>(AllocPoolBlock(a));
    char* y = static_cast<char*>(AllocPoolBlock(b));
    EXPECT_EQ(x + slot, y) << "both draw from the same chunk";
    FreePoolBlock(b, y);
    FreePoolBlock(a, x);
    DestroyBlockPool(a);
    DestroyBlockPool(b);
}

// --- serialized pools and RunOnce under several threads ---

struct ThreadStart {
    HANDLE go;
    LPTHREAD_START_ROUTINE body;
    void* argument;
};

static DWORD WINAPI WaitThenRun(void* parameter) {
    ThreadStart* start = static_cast<ThreadStart*>(parameter);
    WaitForSingleObject(start->go, INFINITE);
    return start->body(start->argument);
}

// Runs body on count threads released at the same moment; returns the sum of their exit codes.
static DWORD RunTogether(int count, LPTHREAD_START_ROUTINE body, void* argument) {
    ThreadStart start{CreateEventW(nullptr, TRUE, FALSE, nullptr), body, argument};
    std::vector<HANDLE> threads;
    for (int i = 0; i < count; ++i) threads.push_back(CreateThread(nullptr, 0, WaitThenRun, &start, 0, nullptr));
    Sleep(20);
    SetEvent(start.go);
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    DWORD sum = 0;
    for (HANDLE t : threads) {
        DWORD code = 0;
        GetExitCodeThread(t, &code);
        sum += code;
        CloseHandle(t);
    }
    CloseHandle(start.go);
    return sum;
}

static DWORD WINAPI HammerPool(void* parameter) {
    BlockPool* pool = static_cast<BlockPool*>(parameter);
    DWORD faults = 0;
    for (int round = 0; round < 200; ++round) {
        void* blocks[40];
        for (int i = 0; i < 40; ++i) {
            blocks[i] = AllocPoolBlock(pool);
            if (blocks[i]) *static_cast<DWORD*>(blocks[i]) = GetCurrentThreadId() * 64 + i;
        }
        for (int i = 0; i < 40; ++i) {
            if (!blocks[i] || *static_cast<DWORD*>(blocks[i]) != GetCurrentThreadId() * 64 + i) ++faults;
            FreePoolBlock(pool, blocks[i]);
        }
    }
    return faults;
}

TEST(BlockPool, SerializedPoolSurvivesSeveralThreads) {
    PoolOwner p(CreateBlockPool(8, 16, 256, PoolSerialized));
    EXPECT_EQ(0u, RunTogether(4, HammerPool, p.pool));
    EXPECT_EQ(0, p.pool->totalSlots) << "every chunk went back";
}

static volatile LONG initCalls;
static volatile LONG initFinished;
static volatile RunOnceFlag onceWord;

static void SlowInit() {
    InterlockedIncrement(&initCalls);
    Sleep(50); // the other threads arrive while this runs
    InterlockedExchange(&initFinished, 1);
}

static DWORD WINAPI CallRunOnce(void* useFallback) {
    if (useFallback) RunOnceInterlocked(&onceWord, SlowInit);
    else RunOnce(&onceWord, SlowInit);
    return initFinished == 1 ? 0 : 1; // 1 counts a caller that returned before init had finished
}

TEST(RunOnce, ConcurrentFirstCallsRunTheFunctionOnce) {
    for (int fallback = 0; fallback < 2; ++fallback) {
        initCalls = 0;
        initFinished = 0;
        onceWord = 0;
        EXPECT_EQ(0u, RunTogether(8, CallRunOnce, reinterpret_cast<void*>(static_cast<intptr_t>(fallback))))
            << "fallback " << fallback;
        EXPECT_EQ(1, initCalls) << "fallback " << fallback;
        CallRunOnce(reinterpret_cast<void*>(static_cast<intptr_t>(fallback)));
        EXPECT_EQ(1, initCalls) << "a later call does not run it again";
    }
    EXPECT_EQ(2, onceWord) << "the fallback leaves its word at done";
}

TEST(RunOnce, FallbackSkipsAWordAlreadyDone) {
    initCalls = 0;
    onceWord = 2;
    RunOnceInterlocked(&onceWord, SlowInit);
    EXPECT_EQ(0, initCalls);
}
