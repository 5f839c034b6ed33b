// crc32.h: the CRC-32 of PNG chunks and zlib streams, with carry-less multiplication where the processor has it.
#pragma once
#include <cstddef>
#include <cstdint>

// The CRC of count bytes, continued from crc (0 to start), as zlib's crc32 gives it. Sixteen bytes are
// folded per multiply where the processor can: zlib's table walk takes a quarter of the time of reading a
// large file, and every chunk of every file is summed.
uint32_t Crc32(uint32_t crc, const void* bytes, size_t count);
