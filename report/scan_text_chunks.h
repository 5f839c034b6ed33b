// scan_text_chunks.h: loading one named file and reporting its text chunks.
#pragma once
#include <cstdint>
#include <string>
#include "report/chunk_scan.h"
#include "report/file_loader.h"
#include "report/report_sink.h"

// Scans one file: StartReport(name, startsReport), the file's bytes from loader (null: the window's
// load path, WindowFileLoader), and one record per chunk found (SearchTextChunks). The name is used
// whole: a name holding a line feed is one name. An empty name does nothing (the sink is not called).
// A file that cannot be loaded gets one notice titled "File" with the loader's message; a file whose
// reading fails part-way keeps the records reported before the failure and gets "Cannot read file";
// one whose search needs a view the loader cannot show keeps them and gets "Cannot allocate memory".
// Flush comes before every notice; the caller flushes when it has scanned its names.
// workBuffer: WorkBufferSize bytes or null (see compressed_text.h).
// Nothing escapes: running out of memory anywhere in the file's scan (the sink's calls included, or
// a line longer than a string can be) ends that file's scan with the records reported so far and the
// notice "Cannot allocate memory" (when there is memory left to give it).
// Returns true when the file was loaded and searched to the end, or until the sink said stop (an
// empty name counts); false when a notice ended the file's report.
// listedSize: the size a folder listing gave for the file, or below 0 (see FileLoader::Load).
bool ScanTextChunks(const std::wstring& name, bool startsReport, ReportSink* sink, uint8_t* workBuffer,
                    FileLoader* loader = nullptr, int64_t listedSize = -1);
// The same, searching in the caller's scratch (chunk_scan.h), kept from file to file.
bool ScanTextChunks(const std::wstring& name, bool startsReport, ReportSink* sink, SearchScratch* scratch,
                    FileLoader* loader = nullptr, int64_t listedSize = -1);
