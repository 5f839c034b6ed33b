// text_chunk_record.h: what the scan found for one text chunk, from which its report line and its JSON object are made.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "report/scan_block.h"

enum class ChunkType { Text, CompressedText, InternationalText };  // tEXt, zTXt, iTXt

// Which of the report's line forms the chunk took.
enum class LineForm {
    Plain,          // keyword and text (iTXt: with language tag and translated keyword)
    WrongSize,      // "tEXt : wrong size": a tEXt chunk of length 0
    NoKeyword,      // "zTXt: no keyword", "iTXt : no keyword": the data begins with 0x00
    UnknownMethod,  // "zTXt: unkn method:": the method byte is not 0 or lies past the end
    ReportCut,      // "report cut: ...": the file's report stopped before this chunk
};

// What inflation of a compressed text gave.
enum class InflateOutcome {
    NotInflated,  // nothing compressed was inflated (tEXt, iTXt shown as stored, no work buffer, ...)
    Complete,     // the stream ended properly
    Damaged,      // zlib found bad data (or could not start)
    Truncated,    // the compressed bytes ran out before the stream's end
    Limit,        // the output stopped at MaxInflatedText, or memory for more ran out
};

enum class CrcCheck { Ok, Bad, Outside };  // Outside: the declared chunk leaves the file

// Some bytes of the loaded block, or of inflated text.
struct ByteRange {
    const uint8_t* bytes = nullptr;
    size_t count = 0;
};

// One record per chunk the scan reports. The texts are decoded exactly as the report line shows them.
// The pointers (block, utf8 ranges) are valid only during the sink call that receives the record:
// they point into the loaded file and into the work buffer, which the scan reuses.
struct TextChunkRecord {
    uint64_t offset = 0;  // of the type code in the file
    ChunkType type = ChunkType::Text;
    LineForm form = LineForm::Plain;
    std::wstring keyword;
    std::wstring language;           // iTXt language tag; empty when there is none
    std::wstring translatedKeyword;  // iTXt; empty when there is none
    std::wstring text;
    bool compressed = false;  // zTXt, or an iTXt chunk whose compression flag is 1
    // The text's bytes (as stored, or as inflated) hold a 0x00 before their end: the text is what came
    // before it, as the window shows it, and the bytes after it are not reported.
    bool textCutAtNul = false;
    InflateOutcome inflate = InflateOutcome::NotInflated;

    // What the checks below read on request, so that a report that does not show them costs nothing.
    const uint8_t* block = nullptr;  // the view of the file the chunk was found in
    size_t blockSize = 0;
    uint64_t blockStart = 0;         // the file offset of block[0]
    uint64_t fileSize = 0;
    const ChunkCrcReader* crcReader = nullptr;  // reads chunks the view does not hold whole; may be null
    uint32_t length = 0;           // the declared data length, from the four bytes before the type code
    ByteRange utf8Translated;      // iTXt: the bytes decoded as UTF-8 into translatedKeyword and text
    ByteRange utf8Text;
    ByteRange ansiKeyword;         // tEXt, zTXt: the bytes decoded in the ANSI code page into keyword
    ByteRange ansiText;            // and text (zTXt: the inflated bytes)
    // Set, with text left empty, by a search whose sink asked for it (ReportSink::TakesAsciiText): every
    // byte of the text is ASCII and decodes to the unit of its own value, so the bytes are the text and
    // decoding them is left out. Null otherwise. TextLength and the formatters read either form.
    ByteRange asciiText;
};

// Makes *r the empty record of the chunk whose type code is at view offset typeCodeAt of b, length its
// declared data length. The texts keep their capacity: a search reuses one record for all chunks.
void StartChunkRecord(TextChunkRecord* r, const ScanBlock& b, size_t typeCodeAt, ChunkType type, uint32_t length);

// Checks the CRC of a chunk of the file that the view it was found in does not hold whole.
class ChunkCrcReader {
public:
    virtual CrcCheck CheckCrc(uint64_t typeCodeAt, uint32_t length) const = 0;
    // Whether a CheckCrc could not read the file: the search then ends the file with "Cannot read
    // file", as for a view whose reading failed.
    virtual bool CrcReadFailed() const { return false; }

protected:
    ~ChunkCrcReader() = default;
};

// Leaves a text of count bytes as asciiText instead of decoding it into text, when each byte is ASCII
// that the encoding (TextUtf8 or the ANSI code page) decodes to itself; false, and nothing changed,
// otherwise (an empty text included).
bool KeepTextAsAscii(TextChunkRecord* r, const uint8_t* bytes, size_t count, int encoding);
// The units of the record's text, in either form.
inline size_t TextLength(const TextChunkRecord& r) { return r.text.size() + r.asciiText.count; }

// The big-endian 32-bit value at `at` (chunk lengths and CRCs).
uint32_t ReadBigEndian32(const uint8_t* at);

// The four type code letters ("tEXt", "zTXt", "iTXt").
const char* ChunkTypeName(ChunkType type);

// The chunk's stored CRC against the CRC-32 of its type code and data; Outside when length field,
// type code, data and CRC do not all lie inside the file.
CrcCheck CheckChunkCrc(const TextChunkRecord& record);

// False when decoding the UTF-8 fields (iTXt translated keyword and text) replaced bytes that are no
// valid UTF-8; true for every other record.
bool Utf8WasValid(const TextChunkRecord& record);

// Many writers store UTF-8 in tEXt and zTXt, where Latin-1 belongs. True for a tEXt or zTXt record
// whose keyword or text bytes hold a byte above 0x7F and are valid UTF-8 (such a field shows garbled
// in the ANSI code page); false for every other record.
bool StoredAsUtf8(const TextChunkRecord& record);
// Decodes again as UTF-8 each of keyword and text whose bytes are of that kind.
void DecodeStoredUtf8(TextChunkRecord* record);
