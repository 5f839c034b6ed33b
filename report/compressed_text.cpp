// compressed_text.cpp: zTXt and iTXt report lines; zlib inflation into the work buffer and beyond.
#include "report/compressed_text.h"
#include <algorithm>
#include <cstring>
#include <zlib.h>
#include "runtime/adler32.h"
#include "runtime/memory_blocks.h"
#include "runtime/zero_search.h"

// A field measured by FieldLength; one that starts at or past the end adds nothing.
static void AppendField(std::wstring& line, const ScanBlock& b, uint64_t from, size_t length, int encoding) {
    if (from < b.n) AppendDecodedBytes(line, b.bytes + from, length, encoding);
}

bool InflateSpace::Grow(int32_t capacity, const uint8_t* from, size_t used) {
    if (capacity <= largerCapacity_) {
        if (from != larger_) memcpy(larger_, from, used);
        return true;
    }
    uint8_t* grown = static_cast<uint8_t*>(MemAlloc(capacity));
    if (!grown) return false;
    memcpy(grown, from, used);
    MemFree(larger_);
    larger_ = grown;
    largerCapacity_ = capacity;
    return true;
}

void InflateSpace::Forget() {
    if (largerCapacity_ > keep_) Free();
}

void InflateSpace::Free() {
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

// Whether the Adler-32 of what an ended stream inflated to is the one its last four bytes give (zlib,
// told not to check it, still reads them: the input an ended stream read ends with them).
static bool CheckMatches(const z_stream& stream, const uint8_t* text) {
    return ReadBigEndian32(stream.next_in - 4) == Adler32(1, text, stream.total_out);
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
    // The stream's check is summed below, several times faster than zlib sums it.
    inflateValidate(&stream, 0);
    int result = inflate(&stream, Z_FINISH);
    const uint8_t* text = workBuffer;
    bool full = (result == Z_OK || result == Z_BUF_ERROR) && stream.avail_out == 0;
    if (full) {
        // A kept block may be larger than asked for: the next size doubles what there is.
        int32_t capacity = 4 * WorkBufferInflateRoom;
        while (space->Grow(capacity, text, stream.total_out)) {
            text = space->Larger();
            const int32_t room = space->LargerCapacity();
            stream.next_out = space->Larger() + stream.total_out;
            stream.avail_out = static_cast<uInt>(room - static_cast<int32_t>(stream.total_out));
            result = inflate(&stream, Z_FINISH);
            full = (result == Z_OK || result == Z_BUF_ERROR) && stream.avail_out == 0;
            if (!full || room >= MaxInflatedText) break;
            capacity = room > MaxInflatedText / 2 ? MaxInflatedText : room * 2;
        }
    }
    out->outcome = OutcomeOf(result, stream, full);
    if (out->outcome == InflateOutcome::Complete && !CheckMatches(stream, text)) out->outcome = InflateOutcome::Damaged;
    out->bytes = text;
    out->range = stream.total_out;
    out->count = BytesBeforeZero(text, out->range);
    inflateEnd(&stream);
}

// Inflates the data from `from` to the chunk's end, as much of it as the view holds. Inflation that ran
// out of those bytes while the file has more would have gone on in the whole file: needsMore.
static void InflateData(ScanBlock& b, uint64_t from, uint64_t dataEnd, InflateSpace* space, InflatedBytes* out) {
    size_t held = b.RangeInView(from, dataEnd);
    Inflate(b.bytes + (from < b.n ? from : b.n), held, space, out);
    if (out->outcome == InflateOutcome::Truncated && held < b.RangeInFile(from, dataEnd)) b.needsMore = true;
}

uint64_t ReportZtxtChunk(ScanBlock& b, size_t d, uint32_t length, InflateSpace* space, TextChunkRecord* record,
                         bool asciiAsBytes) {
    TextChunkRecord& r = *record;
    StartChunkRecord(&r, b, d - 4, ChunkType::CompressedText, length);
    r.compressed = true;
    if (!b.Holds(d) || b.bytes[d] == 0) {
        r.form = LineForm::NoKeyword;
        return b.Clamp(d);
    }
    size_t k = b.FieldLength(d);
    uint64_t method = d + k + 1;
    if (!b.Holds(method) || b.bytes[method] != 0) {
        r.form = LineForm::UnknownMethod;
        return b.Clamp(method);
    }
    size_t compressed = static_cast<size_t>(method) + 1;  // <= n
    InflatedBytes text;
    InflateData(b, compressed, static_cast<uint64_t>(d) + length, space, &text);
    r.inflate = text.outcome;
    r.textCutAtNul = text.count < text.range;
    AppendField(r.keyword, b, d, k, TextAnsi);
    if (!(asciiAsBytes && KeepTextAsAscii(&r, text.bytes, text.count, TextAnsi)))
        AppendDecodedBytes(r.text, text.bytes, text.count, TextAnsi);
    r.ansiKeyword = ByteRange{b.bytes + d, k};
    r.ansiText = ByteRange{text.bytes, text.count};
    return compressed;
}

uint64_t ReportItxtChunk(ScanBlock& b, size_t d, uint32_t length, InflateSpace* space, TextChunkRecord* record,
                         bool asciiAsBytes) {
    TextChunkRecord& r = *record;
    StartChunkRecord(&r, b, d - 4, ChunkType::InternationalText, length);
    if (!b.Holds(d) || b.bytes[d] == 0) {
        r.form = LineForm::NoKeyword;
        return b.Clamp(d);
    }
    size_t k = b.FieldLength(d);
    uint64_t flagAt = d + k + 1;
    r.compressed = b.Holds(flagAt) && b.bytes[flagAt] == 1;
    bool inflated = r.compressed && b.Holds(flagAt + 1) && b.bytes[flagAt + 1] == 0;
    uint64_t tag = d + k + 3;
    size_t tagLength = b.FieldLength(tag);
    uint64_t translated = tag + tagLength + 1;
    size_t translatedLength = b.FieldLength(translated);
    uint64_t t = translated + translatedLength + 1;
    const uint64_t dataEnd = static_cast<uint64_t>(d) + length;
    InflatedBytes text;
    if (b.RangeInFile(t, dataEnd) > 0 && inflated) {
        InflateData(b, t, dataEnd, space, &text);
    } else if (size_t count = b.HeldRange(t, dataEnd)) {
        text.bytes = b.bytes + t;
        text.range = count;
        text.count = BytesBeforeZero(text.bytes, count);
    }
    r.inflate = text.outcome;
    r.textCutAtNul = text.count < text.range;
    AppendField(r.language, b, tag, tagLength, TextAnsi);
    AppendField(r.keyword, b, d, k, TextAnsi);
    AppendField(r.translatedKeyword, b, translated, translatedLength, TextUtf8);
    if (translated < b.n) r.utf8Translated = ByteRange{b.bytes + translated, translatedLength};
    // Bytes before a 0x00 that are ASCII alone are the text whatever follows: the 0x00 ends it.
    if (!(asciiAsBytes && KeepTextAsAscii(&r, text.bytes, text.count, TextUtf8)))
        AppendDecodedRange(r.text, text.bytes, text.range, TextUtf8);
    r.utf8Text = ByteRange{text.bytes, text.count};
    return b.Clamp(t);
}
