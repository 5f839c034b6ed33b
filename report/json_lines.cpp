// json_lines.cpp: JSON objects of chunk records and notices, UTF-8, one per line.
#include "report/json_lines.h"
#include <cstring>
#include "report/utf8_encoding.h"
#include "runtime/memory_blocks.h"

// The UTF-16 form copies each run of units that need no escape in one piece.
static void AppendUnits(std::wstring& out, const wchar_t* units, size_t count) { out.append(units, count); }

template <class Out>
static void AppendAscii(Out& out, const char* ascii) {
    while (*ascii) out += static_cast<typename Out::value_type>(*ascii++);
}

static void AppendJsonStringTo(std::string& out, const std::wstring& text);

static void AppendJsonStringTo(std::wstring& out, const std::wstring& text) {
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    const size_t n = text.size();
    for (size_t i = 0; i < n; i++) {
        // A run of units that need no escape is copied as it is, in one piece.
        size_t run = i;
        while (run < n && text[run] >= 0x20 && text[run] != L'"' && text[run] != L'\\' && text[run] != 0x2028 &&
               text[run] != 0x2029 && (text[run] < 0xD800 || text[run] > 0xDFFF))
            run++;
        if (run > i) {
            AppendUnits(out, text.data() + i, run - i);
            i = run;
            if (i == n) break;
        }
        uint32_t c = static_cast<uint16_t>(text[i]);
        switch (c) {
        case '"': AppendAscii(out, "\\\""); continue;
        case '\\': AppendAscii(out, "\\\\"); continue;
        case '\b': AppendAscii(out, "\\b"); continue;
        case '\f': AppendAscii(out, "\\f"); continue;
        case '\n': AppendAscii(out, "\\n"); continue;
        case '\r': AppendAscii(out, "\\r"); continue;
        case '\t': AppendAscii(out, "\\t"); continue;
        default: break;
        }
        if (c < 0x20 || c == 0x2028 || c == 0x2029) {
            // Four hex digits: U+2028 and U+2029 need all of them, not only the low byte.
            const char* hex = "0123456789ABCDEF";
            AppendAscii(out, "\\u");
            for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 15];
            continue;
        }
        // A surrogate: kept with its partner; alone it has no UTF-8 form and becomes U+FFFD.
        size_t taken;
        if (Utf16CodePointAt(text.data(), n, i, taken) != 0xFFFD) {
            AppendUnits(out, text.data() + i, taken);
            i += taken - 1;
        } else {
            const wchar_t replacement = static_cast<wchar_t>(0xFFFD);
            AppendUnits(out, &replacement, 1);
        }
    }
    out += '"';
}

// What a unit below U+0080 becomes in a JSON string: 0, itself; 'u', \u00XX; else a backslash and
// this letter.
static const char AsciiEscapes[128] = {
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'b', 't', 'n', 'u', 'f', 'r', 'u', 'u',
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u',
    0, 0, '"', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '\\', 0, 0, 0,
};

// A unit below U+0080 as JSON wants it in a string; inlined, as it runs once per character.
static inline __attribute__((always_inline)) char* EscapeAscii(uint32_t c, char* to) {
    const char escape = AsciiEscapes[c];
    if (!escape) {
        *to++ = static_cast<char>(c);
    } else if (escape != 'u') {
        *to++ = '\\';
        *to++ = escape;
    } else {
        const char* hex = "0123456789ABCDEF";
        *to++ = '\\';
        *to++ = 'u';
        *to++ = '0';
        *to++ = '0';
        *to++ = hex[c >> 4];
        *to++ = hex[c & 15];
    }
    return to;
}

// The UTF-8 form, unit by unit into a block on the stack that is appended when nearly full: a JSON
// text that is JSON itself escapes a quote every few characters, where runs cost more than they save.
// Its bytes are the UTF-16 form's, encoded.
static void AppendJsonStringTo(std::string& out, const std::wstring& text) {
    const size_t BlockSize = 16384, MostPerUnit = 6;  // \uXXXX, or a pair's 4 bytes
    char block[BlockSize];
    char* to = block;
    const char* full = block + BlockSize - 2 * MostPerUnit;
    const char* hex = "0123456789ABCDEF";
    out.reserve(out.size() + text.size() + 2);
    *to++ = '"';
    const size_t n = text.size();
    for (size_t i = 0; i < n; i++) {
        if (to >= full) {
            out.append(block, static_cast<size_t>(to - block));
            to = block;
        }
        const uint32_t c = static_cast<uint16_t>(text[i]);
        if (c < 0x80) {
            to = EscapeAscii(c, to);
        } else if (c == 0x2028 || c == 0x2029) {
            *to++ = '\\';
            *to++ = 'u';
            *to++ = '2';
            *to++ = '0';
            *to++ = '2';
            *to++ = hex[c & 15];
        } else {
            size_t taken;
            to += EncodeUtf8CodePoint(Utf16CodePointAt(text.data(), n, i, taken), to);
            i += taken - 1;
        }
    }
    *to++ = '"';
    out.append(block, static_cast<size_t>(to - block));
}

// Each byte below 0x80 as it stands in a JSON string, in the first bytes of eight (the rest zero),
// and how many of them: made once from EscapeAscii.
struct AsciiForms {
    uint64_t form[128];
    uint8_t length[128];
    AsciiForms() {
        for (uint32_t c = 0; c < 128; c++) {
            char bytes[8] = {};
            length[c] = static_cast<uint8_t>(EscapeAscii(c, bytes) - bytes);
            memcpy(&form[c], bytes, 8);
        }
    }
};

// The same for a text of ASCII bytes alone (TextChunkRecord::asciiText), byte by byte without a
// branch: eight bytes stored for each, kept as many as its form has. (A JSON text escapes a quote every
// few bytes, where a branch per byte or runs of 16 cost more.) A byte of 0x80 or above, which such a
// text cannot hold, would be written as the byte of its low seven bits.
static void AppendJsonAsciiTo(std::string& out, const ByteRange& ascii) {
    static const AsciiForms forms;
    const size_t BlockSize = 16384, Slack = 16;  // a store writes 8 bytes
    char block[BlockSize];
    char* to = block;
    const char* full = block + BlockSize - Slack;
    out.reserve(out.size() + ascii.count + 2);
    *to++ = '"';
    for (size_t i = 0; i < ascii.count; i++) {
        if (to >= full) {
            out.append(block, static_cast<size_t>(to - block));
            to = block;
        }
        const uint8_t c = ascii.bytes[i] & 0x7F;
        memcpy(to, &forms.form[c], 8);
        to += forms.length[c];
    }
    *to++ = '"';
    out.append(block, static_cast<size_t>(to - block));
}

static void AppendJsonAsciiTo(std::wstring& out, const ByteRange& ascii) {
    std::wstring text;
    AppendDecodedBytes(text, ascii.bytes, ascii.count, TextUtf8);
    AppendJsonStringTo(out, text);
}

void AppendJsonString(std::wstring& out, const std::wstring& text) { AppendJsonStringTo(out, text); }
void AppendJsonString(std::string& out, const std::wstring& text) { AppendJsonStringTo(out, text); }

template <class Out>
static void AppendField(Out& out, const char* name, const std::wstring& value) {
    AppendAscii(out, ",\"");
    AppendAscii(out, name);
    AppendAscii(out, "\":");
    AppendJsonStringTo(out, value);
}

// The record's text, in whichever form it came (TextLength).
template <class Out>
static void AppendTextField(Out& out, const TextChunkRecord& r) {
    if (!r.asciiText.bytes) {
        AppendField(out, "text", r.text);
        return;
    }
    AppendAscii(out, ",\"text\":");
    AppendJsonAsciiTo(out, r.asciiText);
}

template <class Out>
static void AppendWord(Out& out, const char* name, const char* word) {
    AppendAscii(out, ",\"");
    AppendAscii(out, name);
    AppendAscii(out, "\":\"");
    AppendAscii(out, word);
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

template <class Out>
static void AppendChunkJsonTo(Out& out, const std::wstring& file, const TextChunkRecord& r) {
    AppendAscii(out, "{\"file\":");
    AppendJsonStringTo(out, file);
    AppendAscii(out, ",\"offset\":");
    AppendAscii(out, std::to_string(r.offset).c_str());
    AppendWord(out, "type", ChunkTypeName(r.type));
    AppendField(out, "keyword", r.keyword);
    const bool international = r.type == ChunkType::InternationalText;
    if (international) {
        AppendField(out, "language", r.language);
        AppendField(out, "translated_keyword", r.translatedKeyword);
    }
    AppendAscii(out, r.compressed ? ",\"compressed\":true" : ",\"compressed\":false");
    AppendTextField(out, r);
    if (r.textCutAtNul) AppendAscii(out, ",\"text_cut_at_nul\":true");
    AppendWord(out, "crc", CrcWord(CheckChunkCrc(r)));
    if (const char* inflate = InflateWord(r.inflate)) AppendWord(out, "inflate", inflate);
    if (international) AppendWord(out, "utf8", Utf8WasValid(r) ? "valid" : "invalid");
    if (StoredAsUtf8(r)) AppendAscii(out, ",\"utf8_text\":true");
    if (const char* form = FormWord(r.form)) AppendWord(out, "form", form);
    AppendAscii(out, "}\n");
}

template <class Out>
static void AppendNoticeJsonTo(Out& out, const std::wstring& file, const wchar_t* message) {
    AppendAscii(out, "{\"file\":");
    AppendJsonStringTo(out, file);
    AppendField(out, "notice", message ? std::wstring(message) : std::wstring());
    AppendAscii(out, "}\n");
}

void AppendChunkJson(std::wstring& out, const std::wstring& file, const TextChunkRecord& record) {
    AppendChunkJsonTo(out, file, record);
}
void AppendChunkJson(std::string& out, const std::wstring& file, const TextChunkRecord& record) {
    AppendChunkJsonTo(out, file, record);
}
void AppendNoticeJson(std::wstring& out, const std::wstring& file, const wchar_t* message) {
    AppendNoticeJsonTo(out, file, message);
}
void AppendNoticeJson(std::string& out, const std::wstring& file, const wchar_t* message) {
    AppendNoticeJsonTo(out, file, message);
}
