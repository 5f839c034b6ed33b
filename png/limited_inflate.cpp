// limited_inflate.cpp: inflating a whole stream in pieces, with a limit.
#include "png/limited_inflate.h"
#include <zlib.h>
#include <algorithm>
#include <new>

InflateOutcome InflateLimited(const uint8_t* data, size_t size, StreamWrapper wrapper, size_t limit, std::string* out) {
    out->clear();
    z_stream stream{};
    // 15 window bits; 16 more ask for the gzip header and trailer instead of zlib's.
    if (inflateInit2(&stream, wrapper == StreamWrapper::Gzip ? 15 + 16 : 15) != Z_OK) return InflateOutcome::Limit;
    InflateOutcome end = InflateOutcome::Truncated;
    size_t consumed = 0;
    unsigned char piece[16384];
    try {
        while (true) {
            size_t given = std::min<size_t>(size - consumed, 1u << 30);
            stream.next_in = const_cast<Bytef*>(data + consumed);
            stream.avail_in = static_cast<uInt>(given);
            stream.next_out = piece;
            stream.avail_out = sizeof piece;
            int result = inflate(&stream, Z_NO_FLUSH);
            consumed += given - stream.avail_in;
            size_t made = sizeof piece - stream.avail_out;
            if (out->size() + made > limit) {
                out->append(reinterpret_cast<const char*>(piece), limit - out->size());
                end = InflateOutcome::Limit;
                break;
            }
            out->append(reinterpret_cast<const char*>(piece), made);
            if (result == Z_STREAM_END) {
                end = InflateOutcome::Complete;
                break;
            }
            if (result == Z_MEM_ERROR) {
                end = InflateOutcome::Limit;
                break;
            }
            if (result == Z_BUF_ERROR && consumed == size) break;  // truncated
            if (result != Z_OK && result != Z_BUF_ERROR) {
                end = InflateOutcome::Damaged;
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        end = InflateOutcome::Limit;
    }
    inflateEnd(&stream);
    return end;
}
