// chunk_scan.cpp: the byte-by-byte search for text chunk type codes and the tEXt report line.
#include "report/chunk_scan.h"
#include <cstring>
#include <emmintrin.h>
#include "report/compressed_text.h"
#include "runtime/memory_blocks.h"
#include "runtime/zero_search.h"

// tEXt 74 45 58 74, zTXt 7A 54 58 74, iTXt 69 54 58 74: all end in "Xt".
static bool IsTypeCodeAt(const uint8_t* at) {
    if (at[2] != 'X' || at[3] != 't') return false;
    return (at[0] == 't' && at[1] == 'E') || ((at[0] == 'z' || at[0] == 'i') && at[1] == 'T');
}

// Candidates are the 'X' bytes (one in 256 of random data) that memchr finds.
static size_t FindTypeScalar(const uint8_t* block, size_t n, size_t from) {
    if (n < 4 || from > n - 4) return n;
    size_t x = from + 2;          // offset of the 'X' of a match at p = x - 2
    const size_t lastX = n - 2;   // a match needs its 't' at x + 1 <= n - 1
    while (x <= lastX) {
        const void* hit = memchr(block + x, 'X', lastX - x + 1);
        if (!hit) return n;
        x = static_cast<size_t>(static_cast<const uint8_t*>(hit) - block);
        if (IsTypeCodeAt(block + x - 2)) return x - 2;
        x++;
    }
    return n;
}

// 32 offsets per round: where an 'X' is followed by a 't', the two bytes in front are checked.
__attribute__((target("sse2"))) static size_t FindTypeSse2(const uint8_t* block, size_t n, size_t from) {
    if (n < 4 || from > n - 4) return n;
    const __m128i letterX = _mm_set1_epi8('X');
    const __m128i letterT = _mm_set1_epi8('t');
    size_t x = from + 2;
    // Loads cover x .. x + 32, so every byte read lies inside the block while x + 33 <= n.
    while (n - x >= 33) {
        const uint8_t* at = block + x;
        __m128i low = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), letterX),
                                    _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1)), letterT));
        __m128i high = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16)), letterX),
                                     _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 17)), letterT));
        if (_mm_movemask_epi8(_mm_or_si128(low, high)) != 0) {
            uint32_t mask = static_cast<uint32_t>(_mm_movemask_epi8(low)) |
                            (static_cast<uint32_t>(_mm_movemask_epi8(high)) << 16);
            while (mask) {
                size_t p = x + static_cast<size_t>(__builtin_ctz(mask)) - 2;
                if (IsTypeCodeAt(block + p)) return p;
                mask &= mask - 1;
            }
        }
        x += 32;
    }
    return FindTypeScalar(block, n, x - 2);
}

size_t FindTextChunkType(const uint8_t* block, size_t n, size_t from) {
    static const bool haveSse2 = __builtin_cpu_supports("sse2");
    return haveSse2 ? FindTypeSse2(block, n, from) : FindTypeScalar(block, n, from);
}

static ChunkType TypeAt(const uint8_t* typeCode) {
    return typeCode[0] == 't' ? ChunkType::Text : typeCode[0] == 'z' ? ChunkType::CompressedText
                                                                      : ChunkType::InternationalText;
}

// The first 0x00 at or after an offset, remembered between chunks: a block full of type codes and
// without zeros (every chunk then reaches past the end) would otherwise be searched to its end once
// per code, quadratic time for one-line results.
namespace {
struct ZeroFinder {
    const uint8_t* block;
    size_t n;
    size_t from = 1;  // the last search covered [from, found): no 0x00 there; empty at first
    size_t found = 0; // offset of that 0x00, or n
    size_t Next(size_t at) {
        if (at >= from && at <= found) return found;
        from = at;
        found = at < n ? at + BytesBeforeZero(block + at, n - at) : n;
        return found;
    }
};
}  // namespace

// One tEXt record; returns where the search goes on (see chunk_scan.h).
static size_t ReportTextChunk(const uint8_t* block, size_t n, size_t d, uint32_t length, ReportSink* sink,
                              ZeroFinder* zeros, TextChunkRecord& r) {
    StartChunkRecord(&r, block, n, d - 4, ChunkType::Text, length);
    if (length == 0) {
        // An empty chunk is the file's fault, not a reason to stop: go on after its CRC.
        r.form = LineForm::WrongSize;
        sink->AppendReportLine(r);
        return d + 4;
    }
    // d <= n here; a length past the end (top bit set included) is cut at the block's end.
    bool pastEnd = length > n - d;
    size_t count = pastEnd ? n - d : length;
    size_t keywordBytes = 0, textBytes = 0;
    size_t zero = zeros->Next(d);
    if (zero < d + count) {
        keywordBytes = zero - d;
        textBytes = BytesBeforeZero(block + zero + 1, count - keywordBytes - 1);
    }
    AppendDecodedBytes(r.keyword, block + d, keywordBytes, TextAnsi);
    AppendDecodedBytes(r.text, block + zero + 1, textBytes, TextAnsi);
    sink->AppendReportLine(r);
    return pastEnd ? d : d + length + 4;
}

// Passes records on and counts their lines' characters, so that the search can stop a runaway report.
namespace {
class CountingSink : public ReportSink {
public:
    explicit CountingSink(ReportSink* sink) : sink_(sink) {}
    void StartReport(const std::wstring& fileName, bool startsReport) override {
        sink_->StartReport(fileName, startsReport);
    }
    void AppendReportLine(const TextChunkRecord& record) override {
        characters_ += ReportLineLength(record);
        sink_->AppendReportLine(record);
    }
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override {
        sink_->Notice(title, message, fileName);
    }
    void Flush() override { sink_->Flush(); }
    size_t Characters() const { return characters_; }

private:
    ReportSink* sink_;
    size_t characters_ = 0;
};
}  // namespace

void SearchTextChunks(const uint8_t* block, size_t n, ReportSink* sink, uint8_t* workBuffer) {
    if (!block) return;
    CountingSink counted(sink);
    ZeroFinder zeros{block, n};
    TextChunkRecord record;  // reused: its texts keep their capacity from chunk to chunk
    size_t p = 4;
    for (;;) {
        p = FindTextChunkType(block, n, p);
        if (n < 4 || p > n - 4) return;
        uint32_t length = ReadBigEndian32(block + p - 4);
        if (counted.Characters() > MaxReportCharacters) {
            StartChunkRecord(&record, block, n, p, TypeAt(block + p), length);
            record.form = LineForm::ReportCut;
            sink->AppendReportLine(record);
            return;
        }
        size_t d = p + 4;
        switch (block[p]) {
        case 't': p = ReportTextChunk(block, n, d, length, &counted, &zeros, record); break;
        case 'z': p = ReportZtxtChunk(block, n, d, length, &counted, workBuffer, &record); break;
        default:  p = ReportItxtChunk(block, n, d, length, &counted, workBuffer, &record); break;
        }
    }
}

