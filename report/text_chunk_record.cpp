// text_chunk_record.cpp: the facts of a chunk record that are worked out only when asked for.
#include "report/text_chunk_record.h"
#include <windows.h>
#include "runtime/crc32.h"
#include "runtime/memory_blocks.h"
#include "runtime/zero_search.h"

const char* ChunkTypeName(ChunkType type) {
    switch (type) {
    case ChunkType::Text: return "tEXt";
    case ChunkType::CompressedText: return "zTXt";
    default: return "iTXt";
    }
}

void StartChunkRecord(TextChunkRecord* r, const ScanBlock& b, size_t typeCodeAt, ChunkType type, uint32_t length) {
    r->offset = b.start + typeCodeAt;
    r->type = type;
    r->form = LineForm::Plain;
    r->keyword.clear();
    r->language.clear();
    r->translatedKeyword.clear();
    r->text.clear();
    r->compressed = false;
    r->textCutAtNul = false;
    r->inflate = InflateOutcome::NotInflated;
    r->block = b.bytes;
    r->blockSize = b.n;
    r->blockStart = b.start;
    r->fileSize = b.start + b.fileLeft;
    r->crcReader = b.crcReader;
    r->length = length;
    r->utf8Translated = ByteRange();
    r->utf8Text = ByteRange();
    r->ansiKeyword = ByteRange();
    r->ansiText = ByteRange();
    r->asciiText = ByteRange();
}

bool KeepTextAsAscii(TextChunkRecord* r, const uint8_t* bytes, size_t count, int encoding) {
    if (count == 0 || !DecodesAsciiAsItself(encoding) || HasByteAboveAscii(bytes, count)) return false;
    r->asciiText = ByteRange{bytes, count};
    return true;
}

uint32_t ReadBigEndian32(const uint8_t* at) {
    return (static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) |
           (static_cast<uint32_t>(at[2]) << 8) | static_cast<uint32_t>(at[3]);
}

CrcCheck CheckChunkCrc(const TextChunkRecord& r) {
    // Format notes: length (4) at offset - 4, type code (4), data (length), CRC (4) over type code and data.
    uint64_t crcAt = r.offset + 4 + r.length;
    if (r.offset < 4 || crcAt + 4 > r.fileSize) return CrcCheck::Outside;
    if (!r.block || r.offset < r.blockStart || crcAt + 4 > r.blockStart + r.blockSize) {
        return r.crcReader ? r.crcReader->CheckCrc(r.offset, r.length) : CrcCheck::Outside;
    }
    const uint8_t* at = r.block + (r.offset - r.blockStart);
    const uint32_t crc = Crc32(0, at, 4 + static_cast<size_t>(r.length));
    return ReadBigEndian32(at + 4 + r.length) == crc ? CrcCheck::Ok : CrcCheck::Bad;
}

// The platform's converter, asked to fail instead of replacing: exactly the bytes it would replace.
// A range lies inside one loaded block, which a 32-bit process cannot make 2 GiB long.
static bool IsValidUtf8(const ByteRange& range) {
    if (!HasByteAboveAscii(range.bytes, range.count)) return true;  // ASCII alone: no converter call
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(range.bytes),
                               static_cast<int>(range.count), nullptr, 0) != 0;
}

bool Utf8WasValid(const TextChunkRecord& r) {
    return IsValidUtf8(r.utf8Translated) && IsValidUtf8(r.utf8Text);
}

// Valid UTF-8 that is not plain ASCII: ASCII alone reads the same either way.
static bool IsUtf8BeyondAscii(const ByteRange& range) {
    return HasByteAboveAscii(range.bytes, range.count) && IsValidUtf8(range);
}

bool StoredAsUtf8(const TextChunkRecord& r) {
    if (r.type == ChunkType::InternationalText) return false;
    return IsUtf8BeyondAscii(r.ansiKeyword) || IsUtf8BeyondAscii(r.ansiText);
}

void DecodeStoredUtf8(TextChunkRecord* r) {
    if (r->type == ChunkType::InternationalText) return;
    if (IsUtf8BeyondAscii(r->ansiKeyword)) {
        r->keyword.clear();
        AppendDecodedBytes(r->keyword, r->ansiKeyword.bytes, r->ansiKeyword.count, TextUtf8);
    }
    if (IsUtf8BeyondAscii(r->ansiText)) {
        r->text.clear();
        AppendDecodedBytes(r->text, r->ansiText.bytes, r->ansiText.count, TextUtf8);
    }
}
