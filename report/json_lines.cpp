// json_lines.cpp: JSON objects of chunk records and notices, UTF-8, one per line.
#include "report/json_lines.h"
#include "report/utf8_encoding.h"

// Where each form puts what the escaping makes: a run of units that need no escape, ASCII (escapes,
// names, fixed words), and a surrogate pair or a lone unit's U+FFFD. The UTF-8 form encodes the
// runs straight into its bytes, so its output is the UTF-16 form's, encoded (utf8_encoding.h).
static void AppendUnits(std::wstring& out, const wchar_t* units, size_t count) { out.append(units, count); }
static void AppendUnits(std::string& out, const wchar_t* units, size_t count) {
    // Runs are short where escapes come often (JSON texts quote every few characters): their ASCII is
    // copied here, without the encoder's setup for each run; the rest goes through the encoder.
    const size_t ShortRun = 64;
    size_t ascii = 0;
    if (count < ShortRun) {
        while (ascii < count && units[ascii] < 0x80) ascii++;
        const size_t at = out.size();
        out.resize(at + ascii);
        char* to = &out[0] + at;
        for (size_t i = 0; i < ascii; i++) to[i] = static_cast<char>(units[i]);
    }
    if (ascii < count) AppendUtf8(out, units + ascii, count - ascii);
}

template <class Out>
static void AppendAscii(Out& out, const char* ascii) {
    while (*ascii) out += static_cast<typename Out::value_type>(*ascii++);
}

template <class Out>
static void AppendJsonStringTo(Out& out, const std::wstring& text) {
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
        uint32_t low = i + 1 < n ? static_cast<uint16_t>(text[i + 1]) : 0;
        if (c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
            AppendUnits(out, text.data() + i, 2);
            i++;
        } else {
            const wchar_t replacement = static_cast<wchar_t>(0xFFFD);
            AppendUnits(out, &replacement, 1);
        }
    }
    out += '"';
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
    AppendField(out, "text", r.text);
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
