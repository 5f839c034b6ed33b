// json_lines.cpp: JSON objects of chunk records and notices, UTF-8, one per line.
#include "report/json_lines.h"
#include <cstdio>

// One code point as UTF-8.
static void AppendCodePoint(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendJsonString(std::string& out, const std::wstring& text) {
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    const size_t n = text.size();
    for (size_t i = 0; i < n; i++) {
        // A run of printable ASCII other than quote and backslash is copied as it is, in one piece.
        size_t run = i;
        while (run < n && text[run] >= 0x20 && text[run] < 0x7F && text[run] != L'"' && text[run] != L'\\') run++;
        if (run > i) {
            size_t at = out.size();
            out.resize(at + (run - i));
            for (size_t k = i; k < run; k++) out[at + (k - i)] = static_cast<char>(text[k]);
            i = run;
            if (i == n) break;
        }
        uint32_t c = static_cast<uint16_t>(text[i]);
        switch (c) {
        case '"': out += "\\\""; continue;
        case '\\': out += "\\\\"; continue;
        case '\b': out += "\\b"; continue;
        case '\f': out += "\\f"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        default: break;
        }
        if (c < 0x20 || c == 0x2028 || c == 0x2029) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            uint32_t low = i + 1 < n ? static_cast<uint16_t>(text[i + 1]) : 0;
            if (c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i++;
            } else {
                c = 0xFFFD;  // a lone surrogate has no UTF-8 form
            }
        }
        AppendCodePoint(out, c);
    }
    out += '"';
}

static void AppendField(std::string& out, const char* name, const std::wstring& value) {
    out += ",\"";
    out += name;
    out += "\":";
    AppendJsonString(out, value);
}

static void AppendWord(std::string& out, const char* name, const char* word) {
    out += ",\"";
    out += name;
    out += "\":\"";
    out += word;
    out += '"';
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

void AppendChunkJson(std::string& out, const std::wstring& file, const TextChunkRecord& r) {
    out += "{\"file\":";
    AppendJsonString(out, file);
    out += ",\"offset\":";
    out += std::to_string(r.offset);
    AppendWord(out, "type", ChunkTypeName(r.type));
    AppendField(out, "keyword", r.keyword);
    const bool international = r.type == ChunkType::InternationalText;
    if (international) {
        AppendField(out, "language", r.language);
        AppendField(out, "translated_keyword", r.translatedKeyword);
    }
    out += r.compressed ? ",\"compressed\":true" : ",\"compressed\":false";
    AppendField(out, "text", r.text);
    AppendWord(out, "crc", CrcWord(CheckChunkCrc(r)));
    if (const char* inflate = InflateWord(r.inflate)) AppendWord(out, "inflate", inflate);
    if (international) AppendWord(out, "utf8", Utf8WasValid(r) ? "valid" : "invalid");
    if (const char* form = FormWord(r.form)) AppendWord(out, "form", form);
    out += "}\n";
}

void AppendNoticeJson(std::string& out, const std::wstring& file, const wchar_t* message) {
    out += "{\"file\":";
    AppendJsonString(out, file);
    AppendField(out, "notice", message ? std::wstring(message) : std::wstring());
    out += "}\n";
}
