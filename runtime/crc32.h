// crc32.h: the CRC-32 of PNG chunks and zlib streams, with carry-less multiplication where the processor has it.
#pragma once
#include <cstddef>
#include <cstdint>

// The CRC of count bytes, continued from crc (0 to start), as zlib's crc32 gives it. Sixteen bytes are
// folded per multiply where the processor can: zlib's table walk sums more slowly than the file cache is
// read, and --clean sums every byte of every file it copies.
uint32_t Crc32(uint32_t crc, const void* bytes, size_t count);
