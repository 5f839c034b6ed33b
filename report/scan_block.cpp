// scan_block.cpp: field reads in a view that answer as the whole file would, or ask for a larger view.
#include "report/scan_block.h"
#include "report/text_chunk_record.h"
#include "runtime/zero_search.h"

bool ScanBlock::ReadFailed() const {
    return (readFailed && *readFailed) || (crcReader && crcReader->CrcReadFailed());
}

uint64_t ScanBlock::RangeInFile(uint64_t from, uint64_t limit) const {
    if (limit > fileLeft) limit = fileLeft;
    return from < limit ? limit - from : 0;
}

size_t ScanBlock::RangeInView(uint64_t from, uint64_t limit) const {
    if (limit > n) limit = n;
    return static_cast<size_t>(RangeInFile(from, limit));
}

size_t ScanBlock::HeldRange(uint64_t from, uint64_t limit) {
    size_t held = RangeInView(from, limit);
    if (held < RangeInFile(from, limit)) needsMore = true;
    return held;
}

size_t ScanBlock::FieldLength(uint64_t from, uint64_t limit) {
    size_t held = RangeInView(from, limit);
    size_t length = held ? BytesBeforeZero(bytes + from, held) : 0;
    // No zero in the view: the field goes on in the file, or ends with it.
    if (length == held && held < RangeInFile(from, limit)) needsMore = true;
    return length;
}
