// compressed_text.cpp: zTXt and iTXt report lines; zlib inflation into the work buffer and beyond.
#include "report/compressed_text.h"
#include <algorithm>
#include <cstring>
#include <zlib.h>
#include "runtime/memory_blocks.h"
#include "runtime/zero_search.h"

// Bytes from `from` up to the first 0x00, or up to the end of the block when there is none.
static size_t FieldLength(const uint8_t* block, size_t n, size_t from) {
    return from < n ? BytesBeforeZero(block + from, n - from) : 0;
}

// The declared data left from offset `from` on (length - (from - d)), never past the block's end.
static size_t DataLeft(size_t n, size_t d, uint32_t length, size_t from) {
    if (from >= n) return 0;
    int64_t rest = static_cast<int64_t>(length) - static_cast<int64_t>(from - d);
    if (rest <= 0) return 0;
    return static_cast<size_t>(std::min<int64_t>(rest, static_cast<int64_t>(n - from)));
}

// A field measured by FieldLength; one that starts at or past the end adds nothing.
static void AppendField(std::wstring& line, const uint8_t* block, size_t n, size_t from, size_t length, int encoding) {
    if (from < n) AppendDecodedBytes(line, block + from, length, encoding);
}

bool InflateSpace::Grow(int32_t capacity, const uint8_t* from, size_t used) {
    uint8_t* grown = static_cast<uint8_t*>(MemAlloc(capacity));
    if (!grown) return false;
    memcpy(grown, from, used);
    MemFree(larger_);
    larger_ = grown;
    largerCapacity_ = capacity;
    return true;
}

void InflateSpace::Forget() {
    MemFree(larger_);
    larger_ = nullptr;
    largerCapacity_ = 0;
}

// The bytes a zlib stream inflated to: in the work buffer, or in a larger block of its own.
struct InflatedBytes {
    const uint8_t* bytes = nullptr;
    size_t count = 0;  // bytes before the first 0x00
    size_t range = 0;  // all the bytes: a UTF-8 text is converted with the 0x00 that ends it
    InflateOutcome outcome = InflateOutcome::NotInflated;
};

// What a stopped inflate call means; full: all the room given was written.
static InflateOutcome OutcomeOf(int result, const z_stream& stream, bool full) {
    if (result == Z_STREAM_END) return InflateOutcome::Complete;
    if (result == Z_OK || result == Z_BUF_ERROR) {
        if (full) return InflateOutcome::Limit;
        if (stream.avail_in == 0) return InflateOutcome::Truncated;
    }
    return InflateOutcome::Damaged;
}

// The first inflate call (Z_FINISH, 32760 bytes of room in the work buffer) is the whole story for
// text that fits, damaged or not: the text is what that call wrote. Only when the work buffer fills
// does inflation go on, into a larger block, until the stream ends, fails, runs out of input or
// reaches MaxInflatedText (or memory runs out: the text is then what fitted, Limit).
static void Inflate(const uint8_t* input, size_t inputLength, InflateSpace* space, InflatedBytes* out) {
    uint8_t* workBuffer = space->WorkBuffer();
    if (!workBuffer) return;
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = static_cast<uInt>(inputLength);
    stream.next_out = workBuffer;
    stream.avail_out = WorkBufferInflateRoom;
    if (inflateInit2(&stream, 15) != Z_OK) {
        out->outcome = InflateOutcome::Damaged;
        return;
    }
    int result = inflate(&stream, Z_FINISH);
    const uint8_t* text = workBuffer;
    bool full = (result == Z_OK || result == Z_BUF_ERROR) && stream.avail_out == 0;
    if (full) {
        int32_t capacity = 4 * WorkBufferInflateRoom;
        while (space->Grow(capacity, text, stream.total_out)) {
            text = space->Larger();
            stream.next_out = space->Larger() + stream.total_out;
            stream.avail_out = static_cast<uInt>(space->LargerCapacity() - static_cast<int32_t>(stream.total_out));
            result = inflate(&stream, Z_FINISH);
            full = (result == Z_OK || result == Z_BUF_ERROR) && stream.avail_out == 0;
            if (!full || capacity == MaxInflatedText) break;
            capacity = capacity > MaxInflatedText / 2 ? MaxInflatedText : capacity * 2;
        }
    }
    out->outcome = OutcomeOf(result, stream, full);
    out->bytes = text;
    out->range = stream.total_out;
    out->count = BytesBeforeZero(text, out->range);
    inflateEnd(&stream);
}

size_t ReportZtxtChunk(const uint8_t* block, size_t n, size_t d, uint32_t length, InflateSpace* space,
                       TextChunkRecord* record) {
    TextChunkRecord& r = *record;
    StartChunkRecord(&r, block, n, d - 4, ChunkType::CompressedText, length);
    r.compressed = true;
    if (d >= n || block[d] == 0) {
        r.form = LineForm::NoKeyword;
        return std::min(d, n);
    }
    size_t k = FieldLength(block, n, d);
    size_t method = d + k + 1;
    if (method >= n || block[method] != 0) {
        r.form = LineForm::UnknownMethod;
        return std::min(method, n);
    }
    size_t compressed = method + 1;  // <= n
    InflatedBytes text;
    Inflate(block + compressed, DataLeft(n, d, length, compressed), space, &text);
    r.inflate = text.outcome;
    AppendField(r.keyword, block, n, d, k, TextAnsi);
    AppendDecodedBytes(r.text, text.bytes, text.count, TextAnsi);
    r.ansiKeyword = ByteRange{block + d, k};
    r.ansiText = ByteRange{text.bytes, text.count};
    return compressed;
}

size_t ReportItxtChunk(const uint8_t* block, size_t n, size_t d, uint32_t length, InflateSpace* space,
                       TextChunkRecord* record) {
    TextChunkRecord& r = *record;
    StartChunkRecord(&r, block, n, d - 4, ChunkType::InternationalText, length);
    if (d >= n || block[d] == 0) {
        r.form = LineForm::NoKeyword;
        return std::min(d, n);
    }
    size_t k = FieldLength(block, n, d);
    size_t flagAt = d + k + 1;
    r.compressed = flagAt < n && block[flagAt] == 1;
    bool inflated = r.compressed && flagAt + 1 < n && block[flagAt + 1] == 0;
    size_t tag = d + k + 3;
    size_t tagLength = FieldLength(block, n, tag);
    size_t translated = tag + tagLength + 1;
    size_t translatedLength = FieldLength(block, n, translated);
    size_t t = translated + translatedLength + 1;
    size_t count = DataLeft(n, d, length, t);
    InflatedBytes text;
    if (count > 0 && inflated) {
        Inflate(block + t, count, space, &text);
    } else if (count > 0) {
        text.bytes = block + t;
        text.range = count;
        text.count = BytesBeforeZero(block + t, count);
    }
    r.inflate = text.outcome;
    AppendField(r.language, block, n, tag, tagLength, TextAnsi);
    AppendField(r.keyword, block, n, d, k, TextAnsi);
    AppendField(r.translatedKeyword, block, n, translated, translatedLength, TextUtf8);
    if (translated < n) r.utf8Translated = ByteRange{block + translated, translatedLength};
    AppendDecodedRange(r.text, text.bytes, text.range, TextUtf8);
    r.utf8Text = ByteRange{text.bytes, text.count};
    return std::min(t, n);
}
