// failing_allocator.cpp: the test executables' operator new, which can be told to fail once.
#include "tests/failing_allocator.h"
#include <cstdlib>
#include <new>

static bool armed;
static bool failed;
static int countdown;

void FailAllocationAfter(int allocations) {
    countdown = allocations;
    failed = false;
    armed = true;
}

bool StopFailingAllocations() {
    armed = false;
    return failed;
}

void* operator new(std::size_t size) {
    if (armed && countdown-- == 0) {
        armed = false;
        failed = true;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
