// byte_source.h: where the PNG readers get a file's bytes: a block in memory, or views a loader shows.
#pragma once
#include <cstddef>
#include <cstdint>

// The readers ask for the ranges they need and nothing else, so a loader that maps or reads a large
// file in views gives them only those ranges; a file in memory gives them at once.
class ByteSource {
public:
    // The file's size: every range asked for lies inside [0, Size()), which the readers check first.
    virtual uint64_t Size() const = 0;
    // Makes [at, at + count) readable at *bytes, until the next call. False when the range cannot be
    // shown (no room for it, or reading it failed); the readers then end with a code that says so.
    virtual bool Show(uint64_t at, size_t count, const uint8_t** bytes) = 0;
    // True once bytes shown stopped being the file's (a mapped file cut short by another process):
    // what was read from them describes no file, and the caller throws it away.
    virtual bool Failed() const { return false; }

protected:
    ~ByteSource() = default;
};

// A whole file in one block of memory.
class MemoryBytes : public ByteSource {
public:
    MemoryBytes(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Show(uint64_t at, size_t count, const uint8_t** bytes) override {
        if (at > size_ || count > size_ - at) return false;
        *bytes = bytes_ + at;
        return true;
    }

private:
    const uint8_t* bytes_;
    size_t size_;
};

// Format notes: PNG numbers are big-endian.
inline uint32_t ReadPngNumber32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline uint16_t ReadPngNumber16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
