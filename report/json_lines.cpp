// json_lines.cpp: JSON objects of chunk records and notices, UTF-8, one per line.
#include "report/json_lines.h"
#include "report/utf8_encoding.h"

void AppendJsonString(std::wstring& out, const std::wstring& text) {
    out.reserve(out.size() + text.size() + 2);
    out += L'"';
    const size_t n = text.size();
    for (size_t i = 0; i < n; i++) {
        // A run of units that need no escape is copied as it is, in one piece.
        size_t run = i;
        while (run < n && text[run] >= 0x20 && text[run] != L'"' && text[run] != L'\\' && text[run] != 0x2028 &&
               text[run] != 0x2029 && (text[run] < 0xD800 || text[run] > 0xDFFF))
            run++;
        if (run > i) {
            out.append(text, i, run - i);
            i = run;
            if (i == n) break;
        }
        uint32_t c = static_cast<uint16_t>(text[i]);
        switch (c) {
        case '"': out += L"\\\""; continue;
        case '\\': out += L"\\\\"; continue;
        case '\b': out += L"\\b"; continue;
        case '\f': out += L"\\f"; continue;
        case '\n': out += L"\\n"; continue;
        case '\r': out += L"\\r"; continue;
        case '\t': out += L"\\t"; continue;
        default: break;
        }
        if (c < 0x20 || c == 0x2028 || c == 0x2029) {
            // Four hex digits: U+2028 and U+2029 need all of them, not only the low byte.
            const wchar_t* hex = L"0123456789ABCDEF";
            out += L"\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 15];
            continue;
        }
        // A surrogate: kept with its partner; alone it has no UTF-8 form and becomes U+FFFD.
        uint32_t low = i + 1 < n ? static_cast<uint16_t>(text[i + 1]) : 0;
        if (c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
            out += text[i];
            out += text[++i];
        } else {
            out += static_cast<wchar_t>(0xFFFD);
        }
    }
    out += L'"';
}

void AppendJsonString(std::string& out, const std::wstring& text) {
    std::wstring json;
    AppendJsonString(json, text);
    AppendUtf8(out, json);
}

// Appends ASCII text (field names and fixed values).
static void AppendAscii(std::wstring& out, const char* ascii) {
    while (*ascii) out += static_cast<wchar_t>(*ascii++);
}

static void AppendField(std::wstring& out, const char* name, const std::wstring& value) {
    out += L",\"";
    AppendAscii(out, name);
    out += L"\":";
    AppendJsonString(out, value);
}

static void AppendWord(std::wstring& out, const char* name, const char* word) {
    out += L",\"";
    AppendAscii(out, name);
    out += L"\":\"";
    AppendAscii(out, word);
    out += L'"';
}

static const char* CrcWord(CrcCheck crc) {
    switch (crc) {
    case CrcCheck::Ok: return "ok";
    case CrcCheck::Bad: return "bad";
    default: return "outside";
    }
}

static const char* InflateWord(InflateOutcome outcome) {
    switch (outcome) {
    case InflateOutcome::Complete: return "complete";
    case InflateOutcome::Damaged: return "damaged";
    case InflateOutcome::Truncated: return "truncated";
    case InflateOutcome::Limit: return "limit";
    default: return nullptr;
    }
}

static const char* FormWord(LineForm form) {
    switch (form) {
    case LineForm::WrongSize: return "wrong size";
    case LineForm::NoKeyword: return "no keyword";
    case LineForm::UnknownMethod: return "unkn method:";
    case LineForm::ReportCut: return "report cut";
    default: return nullptr;
    }
}

void AppendChunkJson(std::wstring& out, const std::wstring& file, const TextChunkRecord& r) {
    out += L"{\"file\":";
    AppendJsonString(out, file);
    out += L",\"offset\":";
    out += std::to_wstring(r.offset);
    AppendWord(out, "type", ChunkTypeName(r.type));
    AppendField(out, "keyword", r.keyword);
    const bool international = r.type == ChunkType::InternationalText;
    if (international) {
        AppendField(out, "language", r.language);
        AppendField(out, "translated_keyword", r.translatedKeyword);
    }
    out += r.compressed ? L",\"compressed\":true" : L",\"compressed\":false";
    AppendField(out, "text", r.text);
    if (r.textCutAtNul) out += L",\"text_cut_at_nul\":true";
    AppendWord(out, "crc", CrcWord(CheckChunkCrc(r)));
    if (const char* inflate = InflateWord(r.inflate)) AppendWord(out, "inflate", inflate);
    if (international) AppendWord(out, "utf8", Utf8WasValid(r) ? "valid" : "invalid");
    if (StoredAsUtf8(r)) out += L",\"utf8_text\":true";
    if (const char* form = FormWord(r.form)) AppendWord(out, "form", form);
    out += L"}\n";
}

void AppendNoticeJson(std::wstring& out, const std::wstring& file, const wchar_t* message) {
    out += L"{\"file\":";
    AppendJsonString(out, file);
    AppendField(out, "notice", message ? std::wstring(message) : std::wstring());
    out += L"}\n";
}

void AppendChunkJson(std::string& out, const std::wstring& file, const TextChunkRecord& record) {
    std::wstring json;
    AppendChunkJson(json, file, record);
    AppendUtf8(out, json);
}

void AppendNoticeJson(std::string& out, const std::wstring& file, const wchar_t* message) {
    std::wstring json;
    AppendNoticeJson(json, file, message);
    AppendUtf8(out, json);
}
