// compressed_text.cpp: zTXt and iTXt report lines; zlib inflation into the work buffer and beyond.
#include "report/compressed_text.h"
#include <algorithm>
#include <cstring>
#include <zlib.h>
#include "runtime/memory_blocks.h"

// Bytes from `from` up to the first 0x00, or up to the end of the block when there is none.
static size_t FieldLength(const uint8_t* block, size_t n, size_t from) {
    if (from >= n) return 0;
    const void* nul = memchr(block + from, 0, n - from);
    return nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - (block + from)) : n - from;
}

// The declared data left from offset `from` on (length - (from - d)), never past the block's end.
static size_t DataLeft(size_t n, size_t d, uint32_t length, size_t from) {
    if (from >= n) return 0;
    int64_t rest = static_cast<int64_t>(length) - static_cast<int64_t>(from - d);
    if (rest <= 0) return 0;
    return static_cast<size_t>(std::min<int64_t>(rest, static_cast<int64_t>(n - from)));
}

static std::wstring ReadField(const uint8_t* block, size_t n, size_t from, size_t count, int encoding) {
    if (from >= n || count == 0) return std::wstring();
    return MemReadText(block + from, static_cast<int32_t>(std::min(count, n - from)), encoding);
}

// A gathering block of the memory heap for text that overflows the work buffer.
namespace {
class InflateBlock {
public:
    InflateBlock() = default;
    InflateBlock(const InflateBlock&) = delete;
    InflateBlock& operator=(const InflateBlock&) = delete;
    ~InflateBlock() { MemFree(bytes_); }
    // Grows to capacity bytes keeping the first `used`; false (block unchanged) when out of memory.
    bool Grow(int32_t capacity, const uint8_t* from, size_t used) {
        uint8_t* grown = static_cast<uint8_t*>(MemAlloc(capacity));
        if (!grown) return false;
        memcpy(grown, from, used);
        MemFree(bytes_);
        bytes_ = grown;
        capacity_ = capacity;
        return true;
    }
    uint8_t* Bytes() const { return bytes_; }
    int32_t Capacity() const { return capacity_; }

private:
    uint8_t* bytes_ = nullptr;
    int32_t capacity_ = 0;
};
}  // namespace

// Inflates a zlib stream and decodes what it produced. The first inflate call (Z_FINISH, 32760
// bytes of room in the work buffer) is the whole story for text that fits, damaged or not: the
// text is what that call wrote. Only when the work buffer fills does inflation go on, into a
// larger block, until the stream ends, fails, runs out of input or reaches MaxInflatedText.
static std::wstring InflateText(const uint8_t* input, size_t inputLength, uint8_t* workBuffer, int encoding) {
    if (!workBuffer) return std::wstring();
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = static_cast<uInt>(inputLength);
    stream.next_out = workBuffer;
    stream.avail_out = WorkBufferInflateRoom;
    if (inflateInit2(&stream, 15) != Z_OK) return std::wstring();
    int result = inflate(&stream, Z_FINISH);
    const uint8_t* text = workBuffer;
    InflateBlock larger;
    if ((result == Z_OK || result == Z_BUF_ERROR) && stream.avail_out == 0) {
        int32_t capacity = 4 * WorkBufferInflateRoom;
        while (larger.Grow(capacity, text, stream.total_out)) {
            text = larger.Bytes();
            stream.next_out = larger.Bytes() + stream.total_out;
            stream.avail_out = static_cast<uInt>(larger.Capacity() - static_cast<int32_t>(stream.total_out));
            result = inflate(&stream, Z_FINISH);
            bool full = (result == Z_OK || result == Z_BUF_ERROR) && stream.avail_out == 0;
            if (!full || capacity == MaxInflatedText) break;
            capacity = capacity > MaxInflatedText / 2 ? MaxInflatedText : capacity * 2;
        }
    }
    std::wstring decoded = MemReadText(text, static_cast<int32_t>(stream.total_out), encoding);
    inflateEnd(&stream);
    return decoded;
}

size_t ReportZtxtChunk(const uint8_t* block, size_t n, size_t d, uint32_t length, ReportSink* sink,
                       uint8_t* workBuffer) {
    if (d >= n || block[d] == 0) {
        sink->AppendLine(L"zTXt: no keyword");
        return std::min(d, n);
    }
    size_t k = FieldLength(block, n, d);
    std::wstring keyword = ReadField(block, n, d, k, TextAnsi);
    size_t method = d + k + 1;
    if (method >= n || block[method] != 0) {
        sink->AppendLine(L"zTXt: unkn method:");
        return std::min(method, n);
    }
    size_t compressed = method + 1;  // <= n
    size_t count = DataLeft(n, d, length, compressed);
    std::wstring text = InflateText(block + compressed, count, workBuffer, TextAnsi);
    // Built in one allocation: an inflated text can run to megabytes.
    std::wstring line;
    line.reserve(7 + keyword.size() + text.size());
    line.append(L"zTXt: ").append(keyword).append(1, L' ').append(text);
    sink->AppendLine(line);
    return compressed;
}

size_t ReportItxtChunk(const uint8_t* block, size_t n, size_t d, uint32_t length, ReportSink* sink,
                       uint8_t* workBuffer) {
    if (d >= n || block[d] == 0) {
        sink->AppendLine(L"iTXt : no keyword");
        return std::min(d, n);
    }
    size_t k = FieldLength(block, n, d);
    std::wstring keyword = ReadField(block, n, d, k, TextAnsi);
    std::wstring label = keyword;
    size_t flagAt = d + k + 1;
    bool compressed = flagAt + 1 < n && block[flagAt] == 1 && block[flagAt + 1] == 0;
    size_t t = d + k + 3;
    // The language tag is shown whole, whatever its length; an empty tag adds nothing.
    if (t < n && block[t] != 0) {
        size_t tagLength = FieldLength(block, n, t);
        label = L"(" + ReadField(block, n, t, tagLength, TextAnsi) + L")" + keyword;
        t += tagLength;
    }
    t += 1;
    if (t < n && block[t] != 0) {
        size_t j = FieldLength(block, n, t);
        label += L"(" + ReadField(block, n, t, j, TextUtf8) + L")";
        t += j;
    } else {
        label += L"(?\?)";  // "(??)", written so that it is no trigraph
    }
    t += 1;
    size_t count = DataLeft(n, d, length, t);
    std::wstring text;
    if (count > 0) {
        text = compressed ? InflateText(block + t, count, workBuffer, TextUtf8)
                          : MemReadText(block + t, static_cast<int32_t>(count), TextUtf8);
    }
    std::wstring line;
    line.reserve(8 + label.size() + text.size());
    line.append(L"iTXt : ").append(label).append(1, L' ').append(text);
    sink->AppendLine(line);
    return std::min(t, n);
}
