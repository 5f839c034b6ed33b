// compressed_text.h: report lines of zTXt and iTXt chunks, with zlib inflation of their text.
#pragma once
#include <cstddef>
#include <cstdint>
#include "report/text_chunk_record.h"

// The work buffer the shell allocates once and every scan reuses (no lock: scans that run at the same
// time, on the console front end's threads, each have their own).
const int32_t WorkBufferSize = 32768;
// Inflation writes at most this many bytes into the work buffer; its last 8 bytes are never written.
const int32_t WorkBufferInflateRoom = 32760;
// Text that does not fit in the work buffer goes on into a larger block up to this many bytes of
// output, a guard against decompression bombs.
const int32_t MaxInflatedText = 16 * 1024 * 1024;

// Where inflated text goes: the work buffer, and for text that overflows it a larger block of the
// memory heap. The larger block lives until Forget (the search calls it after each record's sink call),
// so that a record's bytes stay valid while the sink reads them. A space made with keep 0 keeps no
// capacity from chunk to chunk; with keep above 0, a block of at most keep bytes stays for the next
// text (a thread that searches file after file then has it once, not fresh for every text), and a
// larger one is freed at Forget. workBuffer: WorkBufferSize bytes, or null; then inflated texts are
// empty and nothing is inflated.
class InflateSpace {
public:
    explicit InflateSpace(uint8_t* workBuffer, int32_t keep = 0) : workBuffer_(workBuffer), keep_(keep) {}
    ~InflateSpace() { Free(); }
    InflateSpace(const InflateSpace&) = delete;
    InflateSpace& operator=(const InflateSpace&) = delete;
    uint8_t* WorkBuffer() const { return workBuffer_; }
    // Makes the larger block hold at least capacity bytes with its first `used` bytes from `from` (the
    // work buffer, or the larger block itself); false (the block unchanged) when out of memory. A kept
    // block that is large enough is used as it is.
    bool Grow(int32_t capacity, const uint8_t* from, size_t used);
    uint8_t* Larger() const { return larger_; }
    int32_t LargerCapacity() const { return largerCapacity_; }
    // After a record: frees the larger block unless it is kept.
    void Forget();
    void Free();

private:
    uint8_t* workBuffer_;
    int32_t keep_;
    uint8_t* larger_ = nullptr;
    int32_t largerCapacity_ = 0;
};

// Format notes (offsets into the view b of the file (scan_block.h); d is the first data byte, length the
// declared data length; every field search for 0x00 stops at the end of the file, and a field
// that starts at or past the file's end is empty):
//   zTXt: keyword, 0x00, method (1 byte, 0 = zlib), zlib stream to the end of the data.
//   iTXt: keyword, 0x00, flag, method, language tag, 0x00, translated keyword, 0x00, text.
// The keyword search is not bounded by length: it runs on to the next 0x00 in the file.
//
// Each fills *record (see StartChunkRecord) for the chunk and returns the offset at which the search
// goes on: d when the keyword is empty; otherwise the method byte (zTXt, unknown method), the first
// compressed byte (zTXt) or the first text byte (iTXt), never past the file's end. A missing method byte
// counts as unknown. They call no sink: the search hands the record on.
// An iTXt text with flag 1 and method 0 is inflated like zTXt text and decoded as UTF-8; any other
// iTXt text is shown as stored. zTXt keyword and text are ANSI, iTXt keyword and tag ANSI, the
// translated keyword and text UTF-8. The record's compressed fact is the iTXt flag byte being 1,
// whatever the method; its inflate fact says how inflation ended when text was inflated.
// The record's byte ranges point into the view and into space, valid until space forgets.
// asciiAsBytes: a text of ASCII alone is left as its bytes (TextChunkRecord::asciiText).
uint64_t ReportZtxtChunk(ScanBlock& b, size_t d, uint32_t length, InflateSpace* space, TextChunkRecord* record,
                         bool asciiAsBytes = false);
uint64_t ReportItxtChunk(ScanBlock& b, size_t d, uint32_t length, InflateSpace* space, TextChunkRecord* record,
                         bool asciiAsBytes = false);
