// report_line.cpp: report lines made from chunk records.
#include "report/report_line.h"

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
    size_t fields = r.keyword.size() + 1 + r.text.size();
    switch (r.type) {
    case ChunkType::Text: return Length(TextPrefix) + fields;
    case ChunkType::CompressedText: return Length(CompressedPrefix) + fields;
    default:
        return Length(InternationalPrefix) + fields + (r.language.empty() ? 0 : r.language.size() + 2) +
               (r.translatedKeyword.empty() ? Length(NoTranslation) : r.translatedKeyword.size() + 2);
    }
}

void AppendReportLineText(std::wstring& out, const TextChunkRecord& r) {
    if (r.form == LineForm::ReportCut) {
        out += ReportCutLine();
        return;
    }
    if (const wchar_t* fixed = FixedLine(r)) {
        out += fixed;
        return;
    }
    switch (r.type) {
    case ChunkType::Text: out += TextPrefix; break;
    case ChunkType::CompressedText: out += CompressedPrefix; break;
    default: out += InternationalPrefix; break;
    }
    if (r.type == ChunkType::InternationalText) {
        // An empty tag adds nothing; an empty translated keyword shows as "(??)".
        if (!r.language.empty()) out.append(1, L'(').append(r.language).append(1, L')');
        out += r.keyword;
        if (r.translatedKeyword.empty()) out += NoTranslation;
        else out.append(1, L'(').append(r.translatedKeyword).append(1, L')');
    } else {
        out += r.keyword;
    }
    out.append(1, L' ');
    out += r.text;
}

std::wstring ReportLine(const TextChunkRecord& record) {
    std::wstring line;
    line.reserve(ReportLineLength(record));  // one allocation: a line can be as long as the file
    AppendReportLineText(line, record);
    return line;
}
