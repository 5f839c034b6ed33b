// chunk_scan.h: the search of a loaded block for text chunks, one report line per chunk found.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "report/report_sink.h"

// Format notes: a PNG chunk is length (4 bytes, big-endian), type code (4), data (length bytes),
// CRC (4). Nothing of the PNG structure is validated: every offset p from 4 on is tested for the
// type codes tEXt, zTXt and iTXt, and the four bytes in front of a match are taken as the length.
// So text chunks inside other data (image data, compressed text) are found too.
//
// Where the search goes on after a match at p (d = p + 4, L the length):
//   tEXt: d + L + 4, after the CRC; d + 4 for L = 0 ("tEXt : wrong size"); d when the data would
//         reach past the end of the block (then bytes d to n - 1 are reported).
//   zTXt, iTXt: the offset their report returns (inside the chunk's data).
// Reads no byte outside block[0, n). workBuffer: WorkBufferSize bytes, or null (compressed_text.h).
// The parsers fill one record per chunk found and say where the search goes on; the search alone
// hands the record to sink (text_chunk_record.h), whose answer says whether it goes on.
// A file's report stops, with a ReportCut record as its last, at the first chunk found after its
// lines have passed MaxReportCharacters (report_line.h). Real files stay far below it; a crafted one
// (a truncated tEXt chunk repeated, each one's text running on to the file's end) could otherwise ask
// for a report that grows with the square of the file's size and freeze the window that shows it.
// readFailed: null, or a flag the loader raises once the block's bytes stopped being the file's (a
// mapped file cut short by another process, a device error); no record made after it rose is handed
// on, since it describes no chunk of the file.
enum class SearchEnd {
    Finished,    // searched to the end of the block (or to the report's cut)
    Stopped,     // the sink answered that the search should not go on
    ReadFailed,  // readFailed rose: the records before it were handed on, no later one
};
SearchEnd SearchTextChunks(const uint8_t* block, size_t n, ReportSink* sink, uint8_t* workBuffer,
                           const volatile long* readFailed = nullptr);

// The smallest offset p >= from with p + 4 <= n whose four bytes spell one of the three type codes;
// n when there is none. Candidates are found by the bytes "Xt" the three codes share.
size_t FindTextChunkType(const uint8_t* block, size_t n, size_t from);
