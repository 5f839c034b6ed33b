// test_main.cpp: every test executable starts the heaps the libraries expect, then runs its tests.
#include <gtest/gtest.h>
#include <cstdio>
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"

int main(int argc, char** argv) {
    CreateMainHeap();
    InitMemoryLibrary();
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    // CTest runs each case by its name: a filter that matches no case (one renamed since CTest listed
    // the cases) would run nothing and pass.
    if (result == 0 && !GTEST_FLAG_GET(list_tests) && testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        fprintf(stderr, "no test case matches the filter \"%s\"\n", GTEST_FLAG_GET(filter).c_str());
        result = 1;
    }
    FreeMemoryLibrary();
    DestroyMainHeap();
    return result;
}
