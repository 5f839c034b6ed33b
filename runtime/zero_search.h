// zero_search.h: finding the zero byte that ends a stored text, and a byte past ASCII in one.
#pragma once
#include <cstddef>

// Bytes before the first 0x00 among the count bytes at `bytes`, or count when there is none.
// Reads no byte outside that range. Sixteen bytes a step where the processor can: the C runtime's
// memchr here goes byte by byte, and texts, keywords and whole blocks are searched this way.
size_t BytesBeforeZero(const void* bytes, size_t count);

// Whether any of the count bytes at `bytes` is 0x80 or above; reads no byte outside the range. Sixty-four
// bytes a step where the processor can: each text that could be UTF-8 is asked this whole.
bool HasByteAboveAscii(const void* bytes, size_t count);
