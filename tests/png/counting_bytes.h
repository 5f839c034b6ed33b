// counting_bytes.h: a file in memory that counts what the readers ask for, or fails from an offset on.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include "png/byte_source.h"

class CountingBytes : public ByteSource {
public:
    explicit CountingBytes(const std::string& file) : file_(file) {}
    uint64_t Size() const override { return file_.size(); }
    bool Show(uint64_t at, size_t count, const uint8_t** bytes) override {
        if (at > file_.size() || count > file_.size() - at) {
            outside = true;  // a reader asked for a range it had not checked
            return false;
        }
        if (at + count > failFrom) {
            failed = true;
            return false;
        }
        shown += count;
        highest = std::max<uint64_t>(highest, at + count);
        *bytes = reinterpret_cast<const uint8_t*>(file_.data()) + at;
        return true;
    }
    bool Failed() const override { return failed; }

    uint64_t shown = 0;    // bytes shown, summed over every call
    uint64_t highest = 0;  // the end of the farthest range shown
    uint64_t failFrom = UINT64_MAX;  // ranges reaching past this offset fail
    bool outside = false;
    bool failed = false;

private:
    const std::string& file_;
};
