// utf8_encoding.cpp: UTF-16 to UTF-8, runs of ASCII copied eight units at a time.
#include "report/utf8_encoding.h"
#include <emmintrin.h>
#include "runtime/processor_features.h"

// Copies the leading run of units below U+0080 as bytes to `to`; returns its length.
static size_t CopyAsciiScalar(const wchar_t* units, size_t count, char* to) {
    size_t i = 0;
    for (; i < count && units[i] < 0x80; i++) to[i] = static_cast<char>(units[i]);
    return i;
}

// Eight units a round: tested together, packed to eight bytes with one instruction.
__attribute__((target("sse2"))) static size_t CopyAsciiSse2(const wchar_t* units, size_t count, char* to) {
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    size_t i = 0;
    for (; count - i >= 8; i += 8) {
        __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(eight, high), _mm_setzero_si128())) != 0xFFFF) break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + i), _mm_packus_epi16(eight, eight));
    }
    return i + CopyAsciiScalar(units + i, count - i, to + i);
}

static size_t CopyAscii(const wchar_t* units, size_t count, char* to) {
    return HaveSse2() ? CopyAsciiSse2(units, count, to) : CopyAsciiScalar(units, count, to);
}

void AppendUtf8(std::string& out, const wchar_t* units, size_t count) {
    // A block at a time, written through a pointer and cut to what was written. Room is made for a
    // block of ASCII (a byte a unit), and for the rest of the block at its longest form (3 bytes a
    // unit) only once another unit comes: a string is zero-filled as it grows, and most text is
    // ASCII. A block never ends inside a surrogate pair.
    const size_t block = 1u << 16;
    for (size_t from = 0; from < count;) {
        const size_t end = Utf16PieceEnd(units, count, from, block);
        const size_t at = out.size();
        out.resize(at + (end - from));
        size_t written = 0;
        size_t i = from;
        while (i < end) {
            size_t ascii = CopyAscii(units + i, end - i, &out[at + written]);
            written += ascii;
            i += ascii;
            if (i == end) break;
            if (out.size() - at - written < 3 * (end - i)) out.resize(at + written + 3 * (end - i));
            char* const start = &out[at + written];
            char* to = start;
            while (i < end && units[i] >= 0x80) {
                size_t taken;
                to += EncodeUtf8CodePoint(Utf16CodePointAt(units, end, i, taken), to);
                i += taken;
            }
            written += static_cast<size_t>(to - start);
        }
        out.resize(at + written);
        from = end;
    }
}

size_t Utf16PieceEnd(const wchar_t* units, size_t count, size_t from, size_t limit) {
    if (count - from <= limit) return count;
    size_t end = from + limit;
    if (limit > 1 && units[end - 1] >= 0xD800 && units[end - 1] <= 0xDBFF) end--;
    return end;
}
