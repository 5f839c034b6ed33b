// adler32.cpp: Adler-32 with SSE2 sums of 32 bytes a step; the tail under 32 bytes and processors
// without SSE2 take zlib's.
#include "runtime/adler32.h"
#include <emmintrin.h>
#include <zlib.h>
#include "runtime/processor_features.h"

static const uint32_t AdlerBase = 65521;

// The range handed to zlib in calls whose lengths fit its 32-bit count.
static uint32_t ZlibAdler32(uint32_t adler, const uint8_t* bytes, size_t count) {
    const size_t most = 1u << 30;
    for (; count > most; bytes += most, count -= most) adler = static_cast<uint32_t>(adler32(adler, bytes, most));
    return static_cast<uint32_t>(adler32(adler, bytes, static_cast<uInt>(count)));
}

__attribute__((target("sse2"))) static uint64_t LaneSum(__m128i lanes) {
    uint32_t values[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values), lanes);
    return static_cast<uint64_t>(values[0]) + values[1] + values[2] + values[3];
}

// A block of at most this many bytes keeps every 32-bit lane below 2^31: the sums of bytes below
// 128 * 2 * 2040, the sums carried from step to step below 128 times that, the weighted sums below
// 128 * 4 * 16320.
static const size_t VectorBlock = 4096;

// Over n bytes (32 a step) from s1, s2: s1 gains each byte, s2 gains n times the starting s1 and each
// byte as many times as bytes from it to the end. In a step a byte's weight is 32 down to 1 by place,
// plus 32 for every later step, which the sums carried from step to step count.
__attribute__((target("sse2"))) static uint32_t Adler32Sse2(uint32_t adler, const uint8_t* bytes, size_t count) {
    uint64_t s1 = adler & 0xFFFF, s2 = adler >> 16;
    const __m128i zero = _mm_setzero_si128();
    const __m128i first8 = _mm_setr_epi16(32, 31, 30, 29, 28, 27, 26, 25);
    const __m128i second8 = _mm_setr_epi16(24, 23, 22, 21, 20, 19, 18, 17);
    const __m128i third8 = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i fourth8 = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    while (count >= 32) {
        const size_t n = count < VectorBlock ? count & ~static_cast<size_t>(31) : VectorBlock;
        __m128i sums = zero, carried = zero, weighted = zero;
        for (const uint8_t* end = bytes + n; bytes < end; bytes += 32) {
            carried = _mm_add_epi32(carried, sums);
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16));
            sums = _mm_add_epi32(sums, _mm_add_epi32(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)));
            weighted = _mm_add_epi32(weighted, _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(a, zero), first8),
                                                             _mm_madd_epi16(_mm_unpackhi_epi8(a, zero), second8)));
            weighted = _mm_add_epi32(weighted, _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(b, zero), third8),
                                                             _mm_madd_epi16(_mm_unpackhi_epi8(b, zero), fourth8)));
        }
        s2 = (s2 + n * s1 + LaneSum(weighted) + 32 * LaneSum(carried)) % AdlerBase;
        s1 = (s1 + LaneSum(sums)) % AdlerBase;
        count -= n;
    }
    return ZlibAdler32(static_cast<uint32_t>((s2 << 16) | s1), bytes, count);
}

uint32_t Adler32(uint32_t adler, const void* bytes, size_t count) {
    const uint8_t* at = static_cast<const uint8_t*>(bytes);
    return HaveSse2() ? Adler32Sse2(adler, at, count) : ZlibAdler32(adler, at, count);
}
