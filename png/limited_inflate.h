// limited_inflate.h: a whole zlib or gzip stream inflated into a string, up to a limit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

enum class InflateEnd {
    Complete,   // the stream ended where it should
    Damaged,    // the data is not a valid stream
    Truncated,  // the compressed bytes ran out before the stream's end
    Limit,      // stopped at the limit, or no memory for more
};

enum class StreamWrapper { Zlib, Gzip };

// Inflates size bytes into *out (replaced), at most limit bytes of it. Never throws: running out of
// memory keeps what was inflated and answers Limit.
InflateEnd InflateLimited(const uint8_t* data, size_t size, StreamWrapper wrapper, size_t limit, std::string* out);

// The limit the check holds every inflated text to: the report's 16 MiB guard for compressed text.
const size_t MaxCheckedText = 16u << 20;
