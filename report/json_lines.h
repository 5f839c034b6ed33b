// json_lines.h: the report as JSON Lines for scripts: one object per chunk record and per notice.
#pragma once
#include <string>
#include "report/text_chunk_record.h"

// Each appends one JSON object and a line feed to out. Strings are escaped as JSON requires
// (quote, backslash and every control character below U+0020; U+2028 and U+2029 too, for scripts
// that read JSON as code); a lone surrogate in a name or text becomes U+FFFD.
//
// A chunk: {"file":..., "offset":N, "type":"tEXt"|"zTXt"|"iTXt", "keyword":..., ["language":...,
// "translated_keyword":..., (iTXt)] "compressed":true|false, "text":..., ["text_cut_at_nul":true,
// (textCutAtNul)] "crc":"ok"|"bad"|"outside", ["inflate":"complete"|"damaged"|"truncated"|"limit",
// (text that was inflated)] ["utf8":"valid"|"invalid", (iTXt)] ["utf8_text":true, (tEXt, zTXt:
// StoredAsUtf8)] ["form":"wrong size"|"no keyword"|"unkn method:"|"report cut" (a line not of the plain
// form; "report cut" only from a search whose sink cuts the report, ReportSink::ReportCharacterLimit)]}.
// keyword and text are exactly what the report line shows (empty for the fixed forms); offset is the
// type code's, in bytes from the start of the file.
// Each comes in two forms: UTF-16 text, for output that is encoded once where it leaves the program,
// and UTF-8 made straight from the fields, byte for byte the UTF-16 form encoded (utf8_encoding.h).
void AppendChunkJson(std::wstring& out, const std::wstring& file, const TextChunkRecord& record);
void AppendChunkJson(std::string& out, const std::wstring& file, const TextChunkRecord& record);
// A notice: {"file":..., "notice":"Cannot read file"}.
void AppendNoticeJson(std::wstring& out, const std::wstring& file, const wchar_t* message);
void AppendNoticeJson(std::string& out, const std::wstring& file, const wchar_t* message);
// A JSON string literal of text, quotes included.
void AppendJsonString(std::wstring& out, const std::wstring& text);
void AppendJsonString(std::string& out, const std::wstring& text);
