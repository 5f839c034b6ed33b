// crc32.cpp: CRC-32 (the reflected polynomial 0xEDB88320) by folding 64 bytes at a time with PCLMULQDQ,
// then a Barrett reduction; short ranges, the tail and processors without the instruction take zlib's.
#include "runtime/crc32.h"
#include <emmintrin.h>
#include <wmmintrin.h>
#include <zlib.h>
#include "runtime/processor_features.h"

// The range handed to zlib in one call: its length is a 32-bit count.
static uint32_t ZlibCrc32(uint32_t crc, const uint8_t* bytes, size_t count) {
    const size_t most = 1u << 30;
    for (; count > most; bytes += most, count -= most) crc = static_cast<uint32_t>(crc32(crc, bytes, most));
    return static_cast<uint32_t>(crc32(crc, bytes, static_cast<uInt>(count)));
}

// x folded forward over 128 bits (a step of the constant's distance) and added to the next 16 bytes.
__attribute__((target("sse2,pclmul"))) static inline __m128i Fold(__m128i x, __m128i constants, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, constants, 0x00), _mm_clmulepi64_si128(x, constants, 0x11)),
                         next);
}

__attribute__((target("sse2"))) static inline __m128i Load(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The CRC register (not inverted) over whole 16-byte steps, count at least 64 and a multiple of 16.
// The constants are x^n mod P for the distances folded (bit-reflected, shifted by one), and for the
// reduction P itself and its Barrett quotient.
__attribute__((target("sse2,pclmul"))) static uint32_t FoldedCrc(uint32_t state, const uint8_t* bytes, size_t count) {
    const __m128i by64 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    const __m128i by16 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const __m128i by4 = _mm_set_epi64x(0, 0x163cd6124);
    const __m128i poly = _mm_set_epi64x(0x1f7011641, 0x1db710641);
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);

    __m128i x0 = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i x1 = Load(bytes + 16), x2 = Load(bytes + 32), x3 = Load(bytes + 48);
    size_t at = 64;
    for (; count - at >= 64; at += 64) {
        x0 = Fold(x0, by64, Load(bytes + at));
        x1 = Fold(x1, by64, Load(bytes + at + 16));
        x2 = Fold(x2, by64, Load(bytes + at + 32));
        x3 = Fold(x3, by64, Load(bytes + at + 48));
    }
    __m128i x = Fold(Fold(Fold(x0, by16, x1), by16, x2), by16, x3);
    for (; at < count; at += 16) x = Fold(x, by16, Load(bytes + at));

    // 128 bits to 64 (appending 32 zero bits), to 32, then the remainder by Barrett reduction.
    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, by16, 0x10));
    x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(_mm_and_si128(x, low32), by4, 0x00));
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), poly, 0x10), low32);
    x = _mm_xor_si128(x, _mm_clmulepi64_si128(t, poly, 0x00));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x, 4)));
}

uint32_t Crc32(uint32_t crc, const void* bytes, size_t count) {
    const uint8_t* at = static_cast<const uint8_t*>(bytes);
    if (count < 64 || !HavePclmul()) return ZlibCrc32(crc, at, count);
    const size_t folded = count & ~static_cast<size_t>(15);
    // zlib's value is the register inverted before and after.
    crc = ~FoldedCrc(~crc, at, folded);
    return ZlibCrc32(crc, at + folded, count - folded);
}
