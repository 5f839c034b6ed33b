// test_main.cpp: every test executable starts the heaps the libraries expect, then runs its tests.
#include <gtest/gtest.h>
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"

int main(int argc, char** argv) {
    CreateMainHeap();
    InitMemoryLibrary();
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    FreeMemoryLibrary();
    DestroyMainHeap();
    return result;
}
