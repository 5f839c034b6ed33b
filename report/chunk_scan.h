// chunk_scan.h: the search of a file, whole or in views, for text chunks, one report line per chunk found.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "report/compressed_text.h"
#include "report/report_sink.h"
#include "report/scan_block.h"

// Format notes: a PNG chunk is length (4 bytes, big-endian), type code (4), data (length bytes),
// CRC (4). Nothing of the PNG structure is validated: every offset p from 4 on is tested for the
// type codes tEXt, zTXt and iTXt, and the four bytes in front of a match are taken as the length.
// So text chunks inside other data (image data, compressed text) are found too.
//
// Where the search goes on after a match at p (d = p + 4, L the length):
//   tEXt: d + L + 4, after the CRC; d + 4 for L = 0 ("tEXt : wrong size"); d when the data would
//         reach past the end of the file (then its bytes from d on are reported).
//   zTXt, iTXt: the offset their report returns (inside the chunk's data).
// Reads no byte outside the view it is given. workBuffer: WorkBufferSize bytes, or null (compressed_text.h).
// The parsers fill one record per chunk found and say where the search goes on; the search alone
// hands the record to sink (text_chunk_record.h), whose answer says whether it goes on.
// A file's report stops, with a ReportCut record as its last, at the first chunk found after its
// lines have passed the sink's ReportCharacterLimit (report_sink.h; the window's is MaxReportCharacters).
// Real files stay far below it; a crafted one (a truncated tEXt chunk repeated, each one's text running
// on to the file's end) could otherwise ask for a report that grows with the square of the file's size
// and freeze the window that shows it. A sink without a limit (NoReportCut) gets every chunk.
// A view's readFailed: null, or a flag the loader raises once the view's bytes stopped being the file's (a
// mapped file cut short by another process, a device error); no record made after it rose is handed
// on, since it describes no chunk of the file.
enum class SearchEnd {
    Finished,    // searched to the end of the file (or to the report's cut, where the sink has one)
    Stopped,     // the sink answered that the search should not go on
    ReadFailed,  // readFailed rose: the records before it were handed on, no later one
    NoRoom,      // a view the search needed could not be shown (no address space or memory for it)
};

// Where a search of a file in views gets its next view (scan_block.h).
class ViewSource {
public:
    // Makes *view show the file from `from` on: it starts at or before `from` and holds at least
    // `count` bytes from it, fewer only where the file ends. False when that cannot be done; *view's
    // readFailed then tells whether a read failed (else there was no room).
    virtual bool Show(uint64_t from, uint64_t count, ScanBlock* view) = 0;

protected:
    ~ViewSource() = default;
};

// What a search works in besides the file: the space texts are inflated into and the record it fills.
// A search given none makes its own and frees it at its end. A thread that searches file after file
// keeps one (keep true), so that their memory is had once rather than fresh, and faulted in page by
// page, for every file and text; a buffer that a large text grew past KeptSearchBytes is freed after
// its file, so that one such text does not hold its memory for the rest of the run.
class SearchScratch {
public:
    SearchScratch(uint8_t* workBuffer, bool keep) : space(workBuffer, keep ? KeptSearchBytes : 0) {}
    SearchScratch(const SearchScratch&) = delete;
    SearchScratch& operator=(const SearchScratch&) = delete;
    // Called when a file's search ends: frees what grew past the ceiling.
    void EndFile();

    static const int32_t KeptSearchBytes = 4 << 20;
    InflateSpace space;
    TextChunkRecord record;  // its texts keep their capacity from chunk to chunk
};

// Searches a whole file that `view` shows the start of; views: where later views come from, or null
// when `view` holds the whole file. The records and where they are found are the same whatever the
// views' sizes: a chunk whose fields reach past a view is parsed again in a larger view from it on.
SearchEnd SearchTextChunks(ScanBlock view, ViewSource* views, ReportSink* sink, uint8_t* workBuffer);
SearchEnd SearchTextChunks(ScanBlock view, ViewSource* views, ReportSink* sink, SearchScratch* scratch);
// A whole block.
SearchEnd SearchTextChunks(const uint8_t* block, size_t n, ReportSink* sink, uint8_t* workBuffer,
                           const volatile long* readFailed = nullptr);

// The smallest offset p >= from with p + 4 <= n whose four bytes spell one of the three type codes;
// n when there is none. Candidates are found by the bytes "Xt" the three codes share.
size_t FindTextChunkType(const uint8_t* block, size_t n, size_t from);
