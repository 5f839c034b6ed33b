// zero_search.h: finding the zero byte that ends a stored text.
#pragma once
#include <cstddef>

// Bytes before the first 0x00 among the count bytes at `bytes`, or count when there is none.
// Reads no byte outside that range. Sixteen bytes a step where the processor can: the C runtime's
// memchr here goes byte by byte, and texts, keywords and whole blocks are searched this way.
size_t BytesBeforeZero(const void* bytes, size_t count);
