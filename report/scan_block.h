// scan_block.h: the bytes of a file the search holds at once, and reading its fields as the whole file would.
#pragma once
#include <cstddef>
#include <cstdint>

class ChunkCrcReader;

// A file larger than the address space allows is searched in views that slide along it. The parsers see
// one view: bytes[0, n) are the file's bytes from `start` on, and the file goes on for fileLeft bytes
// from bytes[0] (fileLeft == n when the view holds the file's end). Every answer is the whole file's:
// a field search or data range that runs on past n while the file goes on does not stop at n; it
// raises needsMore instead, and the search shows a larger view from the chunk on and parses it again.
// Offsets are the view's own (0 = bytes[0]); they may lie past n.
struct ScanBlock {
    const uint8_t* bytes = nullptr;
    size_t n = 0;
    uint64_t start = 0;
    uint64_t fileLeft = 0;
    // Null, or a flag the loader raises once the view's bytes stopped being the file's (see file_loader.h).
    const volatile long* readFailed = nullptr;
    const ChunkCrcReader* crcReader = nullptr;  // for chunks the view does not hold whole; may be null
    bool needsMore = false;

    // A whole block: the file is bytes[0, n).
    static ScanBlock Whole(const uint8_t* bytes, size_t n, const volatile long* readFailed = nullptr) {
        ScanBlock b;
        b.bytes = bytes;
        b.n = n;
        b.fileLeft = n;
        b.readFailed = readFailed;
        return b;
    }
    // Whether the view's bytes, or a CRC read for a chunk it does not hold whole, failed.
    bool ReadFailed() const;
    // Whether offset `at` is held; raises needsMore when it is not but the file has it.
    bool Holds(uint64_t at) {
        if (at < n) return true;
        if (at < fileLeft) needsMore = true;
        return false;
    }
    // The file's end, as an offset of the view: a limit that is never past it.
    uint64_t Clamp(uint64_t at) const { return at < fileLeft ? at : fileLeft; }
    // The number of bytes from `from` up to the first 0x00, or up to `limit` (capped at the file's end)
    // when there is none before it. A search that reaches n with the limit beyond raises needsMore.
    size_t FieldLength(uint64_t from, uint64_t limit = UINT64_MAX);
    // The bytes from `from` up to `limit`, capped at the file's end (RangeInFile) and at the view's
    // (RangeInView). HeldRange raises needsMore when the view holds fewer than the file: for a range
    // read whole. A reader that may stop early (inflation) takes RangeInView and decides itself.
    uint64_t RangeInFile(uint64_t from, uint64_t limit) const;
    size_t RangeInView(uint64_t from, uint64_t limit) const;
    size_t HeldRange(uint64_t from, uint64_t limit);
};
