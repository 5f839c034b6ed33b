// guarded_views.h: a file held in memory, shown to the search in views of a chosen size, each placed
// against a guard page so that a read past a view's end faults.
#pragma once
#include <zlib.h>
#include <algorithm>
#include <string>
#include "report/chunk_scan.h"
#include "report/text_chunk_record.h"
#include "tests/fuzz/fuzz_support.h"

namespace fuzz {

class GuardedViews : public ViewSource, public ChunkCrcReader {
public:
    // viewSize: the bytes a view holds unless the search asks for more; each view starts `lead` bytes
    // (or fewer) before the offset asked for, as a loader that aligns its views does.
    GuardedViews(const std::string& file, size_t viewSize, size_t lead = 0)
        : file_(file), viewSize_(viewSize), lead_(lead), guarded_(file.size()) {}

    ScanBlock First() {
        ScanBlock view;
        if (!Show(0, 8, &view)) view = ScanBlock();
        return view;
    }
    bool Show(uint64_t from, uint64_t count, ScanBlock* view) override {
        const size_t start = static_cast<size_t>(from) - std::min(static_cast<size_t>(from), lead_);
        const size_t length = std::min(file_.size() - start, std::max<size_t>(viewSize_, from - start + count));
        const uint8_t* bytes = guarded_.Place(file_.data() + start, length);
        if (!bytes) return false;
        *view = ScanBlock();
        view->bytes = bytes;
        view->n = length;
        view->start = start;
        view->fileLeft = file_.size() - start;
        view->crcReader = this;
        shown++;
        return true;
    }
    CrcCheck CheckCrc(uint64_t typeCodeAt, uint32_t length) const override {
        const uint8_t* at = reinterpret_cast<const uint8_t*>(file_.data()) + typeCodeAt;
        uLong crc = crc32(crc32(0L, Z_NULL, 0), at, 4 + length);
        const uint8_t* stored = at + 4 + length;
        uint32_t value = (uint32_t(stored[0]) << 24) | (uint32_t(stored[1]) << 16) | (uint32_t(stored[2]) << 8) | stored[3];
        return value == static_cast<uint32_t>(crc) ? CrcCheck::Ok : CrcCheck::Bad;
    }

    int shown = 0;

private:
    const std::string& file_;
    size_t viewSize_;
    size_t lead_;
    GuardedBuffer guarded_;
};

}  // namespace fuzz
