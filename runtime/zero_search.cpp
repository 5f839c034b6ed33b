// zero_search.cpp: the first zero byte of a range, and whether it holds a byte past ASCII, with SSE2
// where the processor has it.
#include "runtime/zero_search.h"
#include <cstdint>
#include <emmintrin.h>
#include "runtime/processor_features.h"

static size_t BytesBeforeZeroScalar(const uint8_t* bytes, size_t count) {
    size_t i = 0;
    while (i < count && bytes[i] != 0) i++;
    return i;
}

// Unaligned loads inside the range: 64 bytes a step (their least byte tested at once) until a step
// holds a zero, then 16 a step to find it; the tail goes byte by byte.
__attribute__((target("sse2"))) static size_t BytesBeforeZeroSse2(const uint8_t* bytes, size_t count) {
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (; count - i >= 64; i += 64) {
        const __m128i* at = reinterpret_cast<const __m128i*>(bytes + i);
        const __m128i least = _mm_min_epu8(_mm_min_epu8(_mm_loadu_si128(at), _mm_loadu_si128(at + 1)),
                                           _mm_min_epu8(_mm_loadu_si128(at + 2), _mm_loadu_si128(at + 3)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(least, zero)) != 0) break;
    }
    for (; count - i >= 16; i += 16) {
        __m128i step = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        int zeros = _mm_movemask_epi8(_mm_cmpeq_epi8(step, zero));
        if (zeros) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(zeros)));
    }
    return i + BytesBeforeZeroScalar(bytes + i, count - i);
}

size_t BytesBeforeZero(const void* bytes, size_t count) {
    const uint8_t* at = static_cast<const uint8_t*>(bytes);
    return HaveSse2() ? BytesBeforeZeroSse2(at, count) : BytesBeforeZeroScalar(at, count);
}

static bool HasByteAboveAsciiScalar(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; i++) {
        if (bytes[i] > 0x7F) return true;
    }
    return false;
}

// The top bits of four 16-byte loads gathered with OR, one test a step; the tail byte by byte.
__attribute__((target("sse2"))) static bool HasByteAboveAsciiSse2(const uint8_t* bytes, size_t count) {
    size_t i = 0;
    for (; count - i >= 64; i += 64) {
        const __m128i* at = reinterpret_cast<const __m128i*>(bytes + i);
        const __m128i either = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(at), _mm_loadu_si128(at + 1)),
                                            _mm_or_si128(_mm_loadu_si128(at + 2), _mm_loadu_si128(at + 3)));
        if (_mm_movemask_epi8(either) != 0) return true;
    }
    return HasByteAboveAsciiScalar(bytes + i, count - i);
}

bool HasByteAboveAscii(const void* bytes, size_t count) {
    const uint8_t* at = static_cast<const uint8_t*>(bytes);
    return HaveSse2() ? HasByteAboveAsciiSse2(at, count) : HasByteAboveAsciiScalar(at, count);
}
