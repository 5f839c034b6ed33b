// adler32.h: the Adler-32 check of zlib streams, 32 bytes a step where the processor has SSE2.
#pragma once
#include <cstddef>
#include <cstdint>

// The Adler-32 of count bytes, continued from adler (1 to start), as zlib's adler32 gives it. A 500 KB
// text inflated twice a file is checked at several times the speed of zlib's byte loop.
uint32_t Adler32(uint32_t adler, const void* bytes, size_t count);
