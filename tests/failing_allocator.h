// failing_allocator.h: makes one chosen operator new of a test throw std::bad_alloc.
#pragma once

// The allocation after `allocations` more successful ones throws std::bad_alloc, once; then
// operator new works again. Counting runs only while armed.
void FailAllocationAfter(int allocations);
// Disarms; true when the armed failure happened.
bool StopFailingAllocations();

// Runs operation with a failure at each allocation in turn (the first, the second, ...) until a run
// meets no failure; calls check(failed) after each run, outside the armed window.
template <typename Operation, typename Check> void FailEachAllocationOf(Operation operation, Check check) {
    for (int allocations = 0; allocations < 100000; ++allocations) {
        FailAllocationAfter(allocations);
        operation();
        const bool failed = StopFailingAllocations();
        check(failed);
        if (!failed) return;
    }
}
