// report_line.cpp: report lines made from chunk records.
#include "report/report_line.h"
#include "report/utf8_encoding.h"
#include "runtime/memory_blocks.h"

static const wchar_t TextPrefix[] = L"tEXt : ";
static const wchar_t CompressedPrefix[] = L"zTXt: ";
static const wchar_t InternationalPrefix[] = L"iTXt : ";
static const wchar_t NoTranslation[] = L"(?\?)";  // "(??)", written so that it is no trigraph

template <size_t N>
static constexpr size_t Length(const wchar_t (&)[N]) { return N - 1; }

std::wstring FileLine(const std::wstring& name) { return L"file:" + name; }

std::wstring ReportCutLine() {
    return L"report cut: more than " + std::to_wstring(MaxReportCharacters) + L" characters";
}

// The lines of the forms that show no field of the chunk.
static const wchar_t* FixedLine(const TextChunkRecord& r) {
    switch (r.form) {
    case LineForm::WrongSize: return L"tEXt : wrong size";
    case LineForm::NoKeyword: return r.type == ChunkType::CompressedText ? L"zTXt: no keyword" : L"iTXt : no keyword";
    case LineForm::UnknownMethod: return L"zTXt: unkn method:";
    default: return nullptr;
    }
}

size_t ReportLineLength(const TextChunkRecord& r) {
    if (r.form == LineForm::ReportCut) return ReportCutLine().size();
    if (const wchar_t* fixed = FixedLine(r)) return std::char_traits<wchar_t>::length(fixed);
    size_t fields = r.keyword.size() + 1 + TextLength(r);
    switch (r.type) {
    case ChunkType::Text: return Length(TextPrefix) + fields;
    case ChunkType::CompressedText: return Length(CompressedPrefix) + fields;
    default:
        return Length(InternationalPrefix) + fields + (r.language.empty() ? 0 : r.language.size() + 2) +
               (r.translatedKeyword.empty() ? Length(NoTranslation) : r.translatedKeyword.size() + 2);
    }
}

// The line's pieces go into UTF-16 as they are, into UTF-8 encoded; a text left as ASCII bytes
// (TextChunkRecord::asciiText) is already its UTF-8.
static void Put(std::wstring& out, const wchar_t* units, size_t count) { out.append(units, count); }
static void Put(std::string& out, const wchar_t* units, size_t count) { AppendUtf8(out, units, count); }
static void PutAscii(std::wstring& out, const ByteRange& ascii) {
    AppendDecodedBytes(out, ascii.bytes, ascii.count, TextUtf8);
}
static void PutAscii(std::string& out, const ByteRange& ascii) {
    out.append(reinterpret_cast<const char*>(ascii.bytes), ascii.count);
}

template <class Out>
static void Put(Out& out, const std::wstring& text) { Put(out, text.data(), text.size()); }
template <class Out>
static void Put(Out& out, const wchar_t* text) { Put(out, text, std::char_traits<wchar_t>::length(text)); }

template <class Out>
static void AppendReportLineTo(Out& out, const TextChunkRecord& r) {
    if (r.form == LineForm::ReportCut) {
        Put(out, ReportCutLine());
        return;
    }
    if (const wchar_t* fixed = FixedLine(r)) {
        Put(out, fixed);
        return;
    }
    switch (r.type) {
    case ChunkType::Text: Put(out, TextPrefix); break;
    case ChunkType::CompressedText: Put(out, CompressedPrefix); break;
    default: Put(out, InternationalPrefix); break;
    }
    if (r.type == ChunkType::InternationalText) {
        // An empty tag adds nothing; an empty translated keyword shows as "(??)".
        if (!r.language.empty()) {
            Put(out, L"(");
            Put(out, r.language);
            Put(out, L")");
        }
        Put(out, r.keyword);
        if (r.translatedKeyword.empty()) {
            Put(out, NoTranslation);
        } else {
            Put(out, L"(");
            Put(out, r.translatedKeyword);
            Put(out, L")");
        }
    } else {
        Put(out, r.keyword);
    }
    Put(out, L" ");
    AppendRecordText(out, r);
}

void AppendReportLineText(std::wstring& out, const TextChunkRecord& record) { AppendReportLineTo(out, record); }
void AppendReportLineText(std::string& out, const TextChunkRecord& record) { AppendReportLineTo(out, record); }

template <class Out>
static void AppendRecordTextTo(Out& out, const TextChunkRecord& r) {
    if (r.asciiText.bytes) PutAscii(out, r.asciiText);
    else Put(out, r.text);
}

void AppendRecordText(std::wstring& out, const TextChunkRecord& record) { AppendRecordTextTo(out, record); }
void AppendRecordText(std::string& out, const TextChunkRecord& record) { AppendRecordTextTo(out, record); }

std::wstring ReportLine(const TextChunkRecord& record) {
    std::wstring line;
    line.reserve(ReportLineLength(record));  // one allocation: a line can be as long as the file
    AppendReportLineText(line, record);
    return line;
}
