// output_pool.h: buffers of gathered output that go from the scanning threads to the writer and back.
#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include "runtime/thread_sync.h"

// A file's output is gathered on a scanning thread and written on the writer's. Fresh memory for
// every file is costly here (each page of it is faulted in and, once large, comes zeroed from the
// system and goes back to it), so a written buffer comes back and is handed out again, its capacity
// kept. A buffer that grew past KeptOutputBytes is freed instead, and at most KeptOutputBuffers wait,
// so what the pool holds stays bounded whatever the texts and the number of files. Thread-safe.
class OutputPool {
public:
    OutputPool();
    OutputPool(const OutputPool&) = delete;
    OutputPool& operator=(const OutputPool&) = delete;
    // An empty buffer: one given back before, or a new one.
    std::string Take();
    // Takes a buffer back (emptied) or frees it.
    void Give(std::string&& given);

    static const size_t KeptOutputBytes = 4u << 20;
    static const size_t KeptOutputBuffers = 16;

private:
    ThreadLock lock_;
    std::vector<std::string> free_;  // its room is had up front: giving back never allocates
};
