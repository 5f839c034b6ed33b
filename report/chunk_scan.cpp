// chunk_scan.cpp: the byte-by-byte search for text chunk type codes and the tEXt report line.
#include "report/chunk_scan.h"
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <immintrin.h>
#include "report/compressed_text.h"
#include "runtime/memory_blocks.h"
#include "runtime/processor_features.h"
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

static const size_t NoTypeCode = SIZE_MAX;

// The first type code of a round of candidates: bit i of mask set where an 'X' at x + i is followed by
// a 't'; NoTypeCode when none of them is one.
static size_t FirstTypeCodeOfRound(const uint8_t* block, size_t x, uint64_t mask) {
    for (; mask; mask &= mask - 1) {
        const size_t p = x + static_cast<size_t>(__builtin_ctzll(mask)) - 2;
        if (IsTypeCodeAt(block + p)) return p;
    }
    return NoTypeCode;
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
            const size_t p = FirstTypeCodeOfRound(block, x, mask);
            if (p != NoTypeCode) return p;
        }
        x += 32;
    }
    return FindTypeScalar(block, n, x - 2);
}

// 64 offsets per round, as above with registers twice as wide: a large file's search is then a small
// part of its read. The last 64 bytes or fewer go to the 32-byte search.
__attribute__((target("avx2"))) static size_t FindTypeAvx2(const uint8_t* block, size_t n, size_t from) {
    if (n < 4 || from > n - 4) return n;
    const __m256i letterX = _mm256_set1_epi8('X');
    const __m256i letterT = _mm256_set1_epi8('t');
    size_t x = from + 2;
    // Loads cover x .. x + 64, so every byte read lies inside the block while x + 65 <= n.
    while (n - x >= 65) {
        const __m256i* at = reinterpret_cast<const __m256i*>(block + x);
        const __m256i* next = reinterpret_cast<const __m256i*>(block + x + 1);
        __m256i low = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(at), letterX),
                                       _mm256_cmpeq_epi8(_mm256_loadu_si256(next), letterT));
        __m256i high = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(at + 1), letterX),
                                        _mm256_cmpeq_epi8(_mm256_loadu_si256(next + 1), letterT));
        __m256i either = _mm256_or_si256(low, high);
        if (!_mm256_testz_si256(either, either)) {
            uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(low)) |
                            (static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(high))) << 32);
            const size_t p = FirstTypeCodeOfRound(block, x, mask);
            if (p != NoTypeCode) return p;
        }
        x += 64;
    }
    return FindTypeSse2(block, n, x - 2);
}

size_t FindTextChunkType(const uint8_t* block, size_t n, size_t from) {
    if (HaveAvx2()) return FindTypeAvx2(block, n, from);
    return HaveSse2() ? FindTypeSse2(block, n, from) : FindTypeScalar(block, n, from);
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

// Fills r for a tEXt chunk; returns where the search goes on (see chunk_scan.h).
static uint64_t ReportTextChunk(ScanBlock& b, size_t d, uint32_t length, ZeroFinder* zeros, bool asciiAsBytes,
                                TextChunkRecord& r) {
    StartChunkRecord(&r, b, d - 4, ChunkType::Text, length);
    if (length == 0) {
        // An empty chunk is the file's fault, not a reason to stop: go on after its CRC.
        r.form = LineForm::WrongSize;
        return d + 4;
    }
    // d <= n here; a length past the end (top bit set included) is cut at the file's end.
    bool pastEnd = length > b.fileLeft - d;
    uint64_t dataEnd = pastEnd ? b.fileLeft : static_cast<uint64_t>(d) + length;
    size_t keywordBytes = 0, textBytes = 0;
    size_t zero = zeros->Next(d);
    if (zero < b.n && zero < dataEnd) {
        keywordBytes = zero - d;
        textBytes = b.FieldLength(zero + 1, dataEnd);
        r.textCutAtNul = zero + 1 + textBytes < dataEnd;
    } else {
        b.HeldRange(d, dataEnd);  // no zero in the view: one may follow in the file
    }
    AppendDecodedBytes(r.keyword, b.bytes + d, keywordBytes, TextAnsi);
    if (!(asciiAsBytes && KeepTextAsAscii(&r, b.bytes + zero + 1, textBytes, TextAnsi)))
        AppendDecodedBytes(r.text, b.bytes + zero + 1, textBytes, TextAnsi);
    r.ansiKeyword = ByteRange{b.bytes + d, keywordBytes};
    r.ansiText = ByteRange{b.bytes + zero + 1, textBytes};
    return pastEnd ? d : static_cast<uint64_t>(d) + length + 4;
}

// A string that grew past the ceiling gives its memory back.
static void Trim(std::wstring& text) {
    if (text.capacity() * sizeof(wchar_t) > static_cast<size_t>(SearchScratch::KeptSearchBytes)) std::wstring().swap(text);
}

void SearchScratch::EndFile() {
    space.Forget();
    Trim(record.keyword);
    Trim(record.language);
    Trim(record.translatedKeyword);
    Trim(record.text);
}

namespace {
// Ends the file's use of the scratch however the search returns.
class FileEnd {
public:
    explicit FileEnd(SearchScratch* scratch) : scratch_(scratch) {}
    FileEnd(const FileEnd&) = delete;
    FileEnd& operator=(const FileEnd&) = delete;
    ~FileEnd() { scratch_->EndFile(); }

private:
    SearchScratch* scratch_;
};
}  // namespace

SearchEnd SearchTextChunks(ScanBlock view, ViewSource* views, ReportSink* sink, uint8_t* workBuffer) {
    SearchScratch scratch(workBuffer, false);
    return SearchTextChunks(view, views, sink, &scratch);
}

SearchEnd SearchTextChunks(ScanBlock view, ViewSource* views, ReportSink* sink, SearchScratch* scratch) {
    if (!view.bytes) return SearchEnd::Finished;
    FileEnd fileEnd(scratch);
    const uint64_t fileSize = view.start + view.fileLeft;
    ZeroFinder zeros{view.bytes, view.n};
    InflateSpace& space = scratch->space;
    TextChunkRecord& record = scratch->record;
    size_t characters = 0;   // of the lines handed on, to stop a runaway report
    const size_t limit = sink->ReportCharacterLimit();
    const bool asciiAsBytes = sink->TakesAsciiText();
    uint64_t p = 4;          // file offset from which the next type code is looked for
    uint64_t wanted = 8;     // bytes the view must hold from p - 4 on: a length and a type code, or more
    for (;;) {
        if (fileSize < 8 || p > fileSize - 4) break;
        const uint64_t viewEnd = view.start + view.n;
        if (p - 4 < view.start || (p - 4 + wanted > viewEnd && viewEnd < fileSize)) {
            if (view.ReadFailed()) return SearchEnd::ReadFailed;
            if (!views || !views->Show(p - 4, wanted, &view)) {
                return view.ReadFailed() ? SearchEnd::ReadFailed : SearchEnd::NoRoom;
            }
            if (!view.bytes || view.start > p - 4 || view.start + view.n < std::min(p - 4 + wanted, fileSize)) {
                return SearchEnd::NoRoom;  // not the view asked for: never search on in a loop
            }
            zeros = ZeroFinder{view.bytes, view.n};
            continue;
        }
        size_t at = FindTextChunkType(view.bytes, view.n, static_cast<size_t>(p - view.start));
        if (view.n < 4 || at > view.n - 4) {
            if (viewEnd == fileSize) break;
            p = viewEnd - 3;  // the first offset whose type code this view does not hold whole
            wanted = 8;
            continue;
        }
        p = view.start + at;
        uint32_t length = ReadBigEndian32(view.bytes + at - 4);
        bool cut = characters > limit;
        size_t d = at + 4;
        uint64_t next = 0;
        view.needsMore = false;
        if (cut) {
            StartChunkRecord(&record, view, at, TypeAt(view.bytes + at), length);
            record.form = LineForm::ReportCut;
        } else if (view.bytes[at] == 't') {
            next = ReportTextChunk(view, d, length, &zeros, asciiAsBytes, record);
        } else if (view.bytes[at] == 'z') {
            next = ReportZtxtChunk(view, d, length, &space, &record, asciiAsBytes);
        } else {
            next = ReportItxtChunk(view, d, length, &space, &record, asciiAsBytes);
        }
        if (view.ReadFailed()) return SearchEnd::ReadFailed;
        if (view.needsMore) {
            // The chunk's fields go on past the view: show twice as much from the chunk on, and again.
            wanted = 2 * (viewEnd - (p - 4));
            space.Forget();
            continue;
        }
        if (limit != NoReportCut) characters += ReportLineLength(record);
        bool goOn = sink->AppendReportLine(record);
        space.Forget();
        if (!goOn) return SearchEnd::Stopped;
        if (cut) break;
        p = view.start + next;
        wanted = 8;
    }
    return view.ReadFailed() ? SearchEnd::ReadFailed : SearchEnd::Finished;
}

SearchEnd SearchTextChunks(const uint8_t* block, size_t n, ReportSink* sink, uint8_t* workBuffer,
                           const volatile long* readFailed) {
    return SearchTextChunks(ScanBlock::Whole(block, n, readFailed), nullptr, sink, workBuffer);
}
