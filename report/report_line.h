// report_line.h: the one formatter of report lines: the "file:" line and each chunk's line from its record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "report/text_chunk_record.h"

// A file's report stops at the first chunk found after its lines have passed this many characters
// (the window's report; ReportSink::ReportCharacterLimit).
const size_t MaxReportCharacters = 16u << 20;
// A limit no report reaches: every chunk is reported.
const size_t NoReportCut = SIZE_MAX;

// "file:" + name, the first line of every file's report.
std::wstring FileLine(const std::wstring& name);

// The report line of a record: "tEXt : " keyword " " text, "zTXt: " keyword " " text,
// "iTXt : " [(language)] keyword ((translated) or (??)) " " text, or the fixed line of its form.
std::wstring ReportLine(const TextChunkRecord& record);
// Appends the same line to out, growing it as a string grows (for a report gathered in one string);
// the second form appends it encoded as UTF-8 (utf8_encoding.h), byte for byte.
void AppendReportLineText(std::wstring& out, const TextChunkRecord& record);
void AppendReportLineText(std::string& out, const TextChunkRecord& record);
// Appends the record's text alone, in either form it came in (TextChunkRecord::asciiText), as the
// line ends with it: UTF-16, or encoded as UTF-8.
void AppendRecordText(std::wstring& out, const TextChunkRecord& record);
void AppendRecordText(std::string& out, const TextChunkRecord& record);
// The number of characters of that line, without making it.
size_t ReportLineLength(const TextChunkRecord& record);

// The last line of a report cut short ("report cut: more than 16777216 characters").
std::wstring ReportCutLine();
