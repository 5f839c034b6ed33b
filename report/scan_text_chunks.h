// scan_text_chunks.h: loading named files and reporting their text chunks.
#pragma once
#include <cstdint>
#include "report/report_sink.h"

// names: one file name, or several joined by line feeds (a multi-file drop); each name is scanned
// in turn. An empty name does nothing (the sink is not called). For each name: "file:" + name
// starts the report (the first name replaces it, later names append), the whole file is read into
// one memory block with one read and searched (SearchTextChunks). A file that cannot be loaded
// gets one notice titled "File": "Wrong size!" (size 0 in the low 32 bits), "Cannot allocate
// memory" (size below 1, missing file, directory, or no memory), "Cannot read file" (open failed).
// Uses file number 0 of the file library, which must be started. workBuffer: WorkBufferSize bytes
// or null (see compressed_text.h). A report that outgrows memory ends that file's search, keeping
// the lines reported so far. Returns true when every name was loaded and searched.
bool ScanTextChunks(const wchar_t* names, ReportSink* sink, uint8_t* workBuffer);

