// output_pool.cpp: the pool of output buffers shared by the scanning threads and the writer.
#include "app/console/output_pool.h"
#include <new>

OutputPool::OutputPool() {
    try {
        free_.reserve(KeptOutputBuffers);
    } catch (const std::bad_alloc&) {
        // No room for the list: every buffer is then freed once written, as if there were no pool.
    }
}

std::string OutputPool::Take() {
    std::lock_guard<ThreadLock> lock(lock_);
    if (free_.empty()) return std::string();
    std::string bytes = std::move(free_.back());
    free_.pop_back();
    return bytes;
}

void OutputPool::Give(std::string&& given) {
    std::string bytes = std::move(given);  // freed here unless kept
    if (bytes.capacity() > KeptOutputBytes) return;
    bytes.clear();
    std::lock_guard<ThreadLock> lock(lock_);
    if (free_.size() < free_.capacity()) free_.push_back(std::move(bytes));
}
