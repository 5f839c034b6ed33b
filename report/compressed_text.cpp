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

// A gathering block of the memory heap for text that overflows the work buffer.
namespace {
class InflateBlock {
public:
    InflateBlock() = default;
    InflateBlock(const InflateBlock&) = delete;
    InflateBlock& operator=(const InflateBlock&) = delete;
    ~InflateBlock() { MemFree(bytes_); }
    // Grows to capacity bytes keeping the first `used`; false (block unchanged) when out of memory.
    bool Grow(int32_t capacity, const uint8_t* from, size_t used) {
        uint8_t* grown = static_cast<uint8_t*>(MemAlloc(capacity));
        if (!grown) return false;
        memcpy(grown, from, used);
        MemFree(bytes_);
        bytes_ = grown;
        capacity_ = capacity;
        return true;
    }
    uint8_t* Bytes() const { return bytes_; }
    int32_t Capacity() const { return capacity_; }

private:
    uint8_t* bytes_ = nullptr;
    int32_t capacity_ = 0;
};
}  // namespace

// The bytes a zlib stream inflated to: in the work buffer, or in a larger block of its own.
struct InflatedBytes {
    const uint8_t* bytes = nullptr;
    size_t count = 0;
    InflateOutcome outcome = InflateOutcome::NotInflated;
    InflateBlock larger;
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
static void Inflate(const uint8_t* input, size_t inputLength, uint8_t* workBuffer, InflatedBytes* out) {
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
        while (out->larger.Grow(capacity, text, stream.total_out)) {
            text = out->larger.Bytes();
            stream.next_out = out->larger.Bytes() + stream.total_out;
            stream.avail_out = static_cast<uInt>(out->larger.Capacity() - static_cast<int32_t>(stream.total_out));
            result = inflate(&stream, Z_FINISH);
            full = (result == Z_OK || result == Z_BUF_ERROR) && stream.avail_out == 0;
            if (!full || capacity == MaxInflatedText) break;
            capacity = capacity > MaxInflatedText / 2 ? MaxInflatedText : capacity * 2;
        }
    }
    out->outcome = OutcomeOf(result, stream, full);
    out->bytes = text;
    out->count = BytesBeforeZero(text, stream.total_out);
    inflateEnd(&stream);
}

size_t ReportZtxtChunk(const uint8_t* block, size_t n, size_t d, uint32_t length, ReportSink* sink,
                       uint8_t* workBuffer, TextChunkRecord* scratch) {
    TextChunkRecord own;
    TextChunkRecord& r = scratch ? *scratch : own;
    StartChunkRecord(&r, block, n, d - 4, ChunkType::CompressedText, length);
    r.compressed = true;
    if (d >= n || block[d] == 0) {
        r.form = LineForm::NoKeyword;
        sink->AppendReportLine(r);
        return std::min(d, n);
    }
    size_t k = FieldLength(block, n, d);
    size_t method = d + k + 1;
    if (method >= n || block[method] != 0) {
        r.form = LineForm::UnknownMethod;
        sink->AppendReportLine(r);
        return std::min(method, n);
    }
    size_t compressed = method + 1;  // <= n
    InflatedBytes text;
    Inflate(block + compressed, DataLeft(n, d, length, compressed), workBuffer, &text);
    r.inflate = text.outcome;
    AppendField(r.keyword, block, n, d, k, TextAnsi);
    AppendDecodedBytes(r.text, text.bytes, text.count, TextAnsi);
    sink->AppendReportLine(r);
    return compressed;
}

size_t ReportItxtChunk(const uint8_t* block, size_t n, size_t d, uint32_t length, ReportSink* sink,
                       uint8_t* workBuffer, TextChunkRecord* scratch) {
    TextChunkRecord own;
    TextChunkRecord& r = scratch ? *scratch : own;
    StartChunkRecord(&r, block, n, d - 4, ChunkType::InternationalText, length);
    if (d >= n || block[d] == 0) {
        r.form = LineForm::NoKeyword;
        sink->AppendReportLine(r);
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
        Inflate(block + t, count, workBuffer, &text);
    } else if (count > 0) {
        text.bytes = block + t;
        text.count = BytesBeforeZero(block + t, count);
    }
    r.inflate = text.outcome;
    AppendField(r.language, block, n, tag, tagLength, TextAnsi);
    AppendField(r.keyword, block, n, d, k, TextAnsi);
    AppendField(r.translatedKeyword, block, n, translated, translatedLength, TextUtf8);
    if (translated < n) r.utf8Translated = ByteRange{block + translated, translatedLength};
    AppendDecodedBytes(r.text, text.bytes, text.count, TextUtf8);
    r.utf8Text = ByteRange{text.bytes, text.count};
    sink->AppendReportLine(r);
    return std::min(t, n);
}
