// check_output.cpp: the words of --check.
#include "app/console/check_output.h"
#include <windows.h>
#include <cstring>
#include <cwchar>
#include "report/json_lines.h"

std::wstring Latin1(const std::string& bytes) {
    std::wstring text;
    for (char c : bytes) text += static_cast<wchar_t>(static_cast<uint8_t>(c));
    return text;
}

static std::wstring Utf8(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return std::wstring();
    int size = static_cast<int>(bytes.size());
    int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<size_t>(units), L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, &text[0], units);
    return text;
}

// A type code as its four letters, or as a number when it is not four letters.
std::wstring TypeName(uint32_t type) {
    std::wstring name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        wchar_t c = static_cast<wchar_t>(type >> shift & 0xFF);
        if (!((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'))) {
            wchar_t number[16];
            swprintf(number, 16, L"0x%08X", static_cast<unsigned>(type));
            return number;
        }
        name += c;
    }
    return name;
}

namespace {

const wchar_t* InflateWord(InflateOutcome end) {
    switch (end) {
    case InflateOutcome::Complete: return L"complete";
    case InflateOutcome::Damaged: return L"damaged";
    case InflateOutcome::Truncated: return L"truncated";
    case InflateOutcome::Limit: return L"limit";
    case InflateOutcome::NotInflated: break;
    }
    return L"";
}

const wchar_t* FormWord(TextForm form) {
    switch (form) {
    case TextForm::NoKeyword: return L"no keyword";
    case TextForm::BadMethod: return L"unknown compression method";
    case TextForm::Cut: return L"fields cut short";
    default: return nullptr;
    }
}

const wchar_t* RowsWord(RowsState rows) {
    switch (rows) {
    case RowsState::Truncated: return L"the image data ends early";
    case RowsState::Damaged: return L"the image data is damaged";
    case RowsState::BadFilter: return L"a row has an unknown filter type";
    case RowsState::TooWide: return L"the rows are too long";
    case RowsState::TooLarge: return L"an interlaced image whose columns that hold the text are more than 64 MiB";
    default: return L"the image data cannot be read";
    }
}

std::wstring NotCheckedReason(const Finding& finding) {
    if (finding.place == Place::TextChunk) return L"more than 64 MiB: not searched for secrets";
    if (finding.place == Place::Trailer) return L"more than 64 MiB: not searched for secrets";
    const StealthFinding& stealth = finding.stealth;
    switch (stealth.reason) {
    case StealthNotChecked::BadHeader: return L"IHDR is not valid";
    case StealthNotChecked::ImageType:
        return L"a grey image, or a palette image without its palette; the check reads RGB, RGBA, grey with alpha and palette images";
    case StealthNotChecked::NoImageData: return L"no image data";
    default: return RowsWord(stealth.rows);
    }
}

std::wstring Number(uint64_t value) { return std::to_wstring(value); }

std::wstring SecretWhere(const Finding& finding) {
    switch (finding.place) {
    case Place::TextChunk: return TypeName(finding.type) + L" " + Latin1(finding.keyword);
    case Place::Trailer: return L"the bytes after IEND";
    case Place::Stealth: return L"the stealth text";
    }
    return std::wstring();
}

std::wstring TimeText(const Finding& finding) {
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", finding.year, finding.month, finding.day, finding.hour,
             finding.minute, finding.second);
    return text;
}

std::wstring ModeWord(const StealthFinding& stealth) { return stealth.mode == StealthMode::Alpha ? L"alpha" : L"rgb"; }

std::wstring Line(const Finding& finding) {
    std::wstring line;
    switch (finding.kind) {
    case FindingKind::Text:
        line = TypeName(finding.type) + L" " + Latin1(finding.keyword) + L": " + Number(finding.size) + L" bytes";
        if (finding.compressed) line += L" (" + Number(finding.textSize) + L" inflated)";
        if (finding.generationData) line += L", generation data";
        if (const wchar_t* form = FormWord(finding.form)) line += std::wstring(L", ") + form;
        if (finding.compressed && finding.inflate != InflateOutcome::Complete) line += std::wstring(L", inflate ") + InflateWord(finding.inflate);
        if (finding.crc == CrcState::Bad) line += L", CRC bad";
        return line;
    case FindingKind::Secret:
        line = L"secret in " + SecretWhere(finding) + L": ";
        if (finding.secret.sign == SecretSign::JsonKey) {
            line += L"JSON member \"" + Latin1(finding.secret.name) + L"\" with a value starting \"" + Latin1(finding.secret.hint) + L"...\"";
        } else {
            line += L"a key starting \"" + Latin1(finding.secret.hint) + L"...\"";
        }
        return line + L" at byte " + Number(finding.secret.offset) + L" of it";
    case FindingKind::Xmp:
        if (!finding.xmp.found) return L"XMP: no digital source type";
        return L"XMP: digital source type " + Latin1(finding.xmp.term) + (finding.xmp.madeByAi ? L" (made by AI)" : L"");
    case FindingKind::Exif:
        line = L"eXIf: " + Number(finding.size) + L" bytes";
        if (finding.exif.state == ExifState::NotTiff) return line + L", not a TIFF structure";
        if (finding.exif.orientation) line += L", orientation " + Number(finding.exif.orientation);
        if (finding.exif.gps) line += L", GPS";
        if (finding.exif.userComment) line += L", user comment of " + Number(finding.exif.userCommentBytes) + L" bytes";
        if (finding.exif.state == ExifState::Damaged) line += L", damaged";
        return line;
    case FindingKind::ContentCredentials: return L"caBX: " + Number(finding.size) + L" bytes of content credentials";
    case FindingKind::Time:
        if (finding.size != 7) return L"tIME: " + Number(finding.size) + L" bytes, wrong size";
        return L"tIME: " + TimeText(finding);
    case FindingKind::UnknownChunk:
        return L"unknown chunk " + TypeName(finding.type) + L": " + Number(finding.size) + L" bytes" +
               (IsAncillary(finding.type) ? L"" : L", critical");
    case FindingKind::Trailer: return L"after IEND: " + Number(finding.size) + L" bytes";
    case FindingKind::Stealth: {
        const StealthFinding& stealth = finding.stealth;
        line = L"stealth: " + ModeWord(stealth) + (stealth.compressed ? L", compressed" : L"") + L", " +
               Number(stealth.storedBytes) + L" bytes";
        if (stealth.compressed) line += L" (" + Number(stealth.text.size()) + L" inflated)";
        if (stealth.state == StealthState::FoundDamaged) {
            line += stealth.rows != RowsState::Going ? std::wstring(L", ") + RowsWord(stealth.rows)
                                                     : L", its length " + Number(stealth.lengthBits) + L" bits reaches past the image";
        }
        if (stealth.compressed && stealth.inflate != InflateOutcome::Complete) line += std::wstring(L", inflate ") + InflateWord(stealth.inflate);
        return line;
    }
    case FindingKind::NotChecked:
        if (finding.place == Place::Stealth) return L"stealth: not checked (" + NotCheckedReason(finding) + L")";
        return (finding.place == Place::Trailer ? std::wstring(L"after IEND") : TypeName(finding.type)) + L": " +
               NotCheckedReason(finding);
    }
    return line;
}

void Ascii(std::wstring& out, const char* text) {
    while (*text) out += static_cast<wchar_t>(*text++);
}
void Field(std::wstring& out, const char* name, const std::wstring& value) {
    out += L",\"";
    Ascii(out, name);
    out += L"\":";
    AppendJsonString(out, value);
}
void Field(std::wstring& out, const char* name, uint64_t value) {
    out += L",\"";
    Ascii(out, name);
    out += L"\":" + Number(value);
}
void Flag(std::wstring& out, const char* name, bool value) {
    out += L",\"";
    Ascii(out, name);
    out += value ? L"\":true" : L"\":false";
}

void ChunkFields(std::wstring& out, const Finding& finding) {
    Field(out, "type", TypeName(finding.type));
    Field(out, "offset", finding.offset);
}

void AppendObject(std::wstring& out, const std::wstring& file, const char* kind, const Finding* finding) {
    out += L"{\"file\":";
    AppendJsonString(out, file);
    Field(out, "finding", std::wstring(kind, kind + strlen(kind)));
    if (!finding) {
        out += L"}\n";
        return;
    }
    switch (finding->kind) {
    case FindingKind::Text:
        ChunkFields(out, *finding);
        Field(out, "keyword", Latin1(finding->keyword));
        Field(out, "size", finding->size);
        Flag(out, "compressed", finding->compressed);
        Field(out, "text_size", finding->textSize);
        Flag(out, "generation_data", finding->generationData);
        Field(out, "crc", finding->crc == CrcState::Ok ? L"ok" : L"bad");
        if (finding->compressed) Field(out, "inflate", InflateWord(finding->inflate));
        if (const wchar_t* form = FormWord(finding->form)) Field(out, "form", form);
        break;
    case FindingKind::Secret:
        Field(out, "in", finding->place == Place::TextChunk ? L"text" : finding->place == Place::Trailer ? L"trailer" : L"stealth");
        if (finding->place == Place::TextChunk) {
            ChunkFields(out, *finding);
            Field(out, "keyword", Latin1(finding->keyword));
        }
        Field(out, "sign", finding->secret.sign == SecretSign::JsonKey ? L"json key" : L"key prefix");
        Field(out, "name", Latin1(finding->secret.name));
        Field(out, "at", finding->secret.offset);
        Field(out, "hint", Latin1(finding->secret.hint));
        break;
    case FindingKind::Xmp:
        ChunkFields(out, *finding);
        if (finding->xmp.found) Field(out, "digital_source_type", Latin1(finding->xmp.term));
        Flag(out, "made_by_ai", finding->xmp.madeByAi);
        break;
    case FindingKind::Exif:
        ChunkFields(out, *finding);
        Field(out, "size", finding->size);
        Field(out, "exif", finding->exif.state == ExifState::Ok ? L"ok" : finding->exif.state == ExifState::NotTiff ? L"not tiff" : L"damaged");
        if (finding->exif.state != ExifState::NotTiff) Field(out, "byte_order", finding->exif.bigEndian ? L"big" : L"little");
        if (finding->exif.orientation) Field(out, "orientation", finding->exif.orientation);
        Flag(out, "gps", finding->exif.gps);
        if (finding->exif.userComment) Field(out, "user_comment", finding->exif.userCommentBytes);
        break;
    case FindingKind::Time:
        ChunkFields(out, *finding);
        if (finding->size == 7) {
            std::wstring time = TimeText(*finding);
            time[10] = L'T';
            Field(out, "time", time);
        } else {
            Field(out, "size", finding->size);
        }
        break;
    case FindingKind::ContentCredentials:
    case FindingKind::UnknownChunk:
        ChunkFields(out, *finding);
        Field(out, "size", finding->size);
        if (finding->kind == FindingKind::UnknownChunk) Flag(out, "ancillary", IsAncillary(finding->type));
        break;
    case FindingKind::Trailer:
        Field(out, "offset", finding->offset);
        Field(out, "size", finding->size);
        break;
    case FindingKind::Stealth: {
        const StealthFinding& stealth = finding->stealth;
        Field(out, "mode", ModeWord(stealth));
        Flag(out, "compressed", stealth.compressed);
        Field(out, "length_bits", stealth.lengthBits);
        Field(out, "size", stealth.storedBytes);
        Field(out, "state", stealth.state == StealthState::Found ? L"complete" : L"damaged");
        if (stealth.compressed) Field(out, "inflate", InflateWord(stealth.inflate));
        Field(out, "text", Utf8(stealth.text));
        break;
    }
    case FindingKind::NotChecked:
        Field(out, "part", finding->place == Place::Stealth ? L"stealth" : finding->place == Place::Trailer ? L"trailer" : L"text");
        if (finding->place == Place::TextChunk) ChunkFields(out, *finding);
        Field(out, "reason", NotCheckedReason(*finding));
        break;
    }
    out += L"}\n";
}

const char* KindName(FindingKind kind) {
    switch (kind) {
    case FindingKind::Text: return "text";
    case FindingKind::Secret: return "secret";
    case FindingKind::Xmp: return "xmp";
    case FindingKind::Exif: return "exif";
    case FindingKind::ContentCredentials: return "content_credentials";
    case FindingKind::Time: return "time";
    case FindingKind::UnknownChunk: return "unknown_chunk";
    case FindingKind::Trailer: return "trailer";
    case FindingKind::Stealth: return "stealth";
    case FindingKind::NotChecked: return "not_checked";
    }
    return "";
}

}  // namespace

bool CheckFoundSomething(const CheckResult& result) { return !result.findings.empty(); }

void AppendCheckLines(std::wstring& out, const CheckResult& result) {
    for (const Finding& finding : result.findings) out += Line(finding) + L'\n';
    if (result.end == CheckEnd::Complete && result.findings.empty()) out += L"nothing found\n";
}

void AppendCheckJson(std::wstring& out, const std::wstring& file, const CheckResult& result) {
    for (const Finding& finding : result.findings) AppendObject(out, file, KindName(finding.kind), &finding);
    if (result.end == CheckEnd::Complete && result.findings.empty()) AppendObject(out, file, "nothing", nullptr);
}

const wchar_t* CheckNotice(const CheckResult& result, std::wstring* storage) {
    switch (result.end) {
    case CheckEnd::Complete: return nullptr;
    case CheckEnd::ReadFailed: return L"Cannot read file";
    case CheckEnd::NoMemory: return L"Cannot allocate memory";
    case CheckEnd::Structure: break;
    }
    const std::wstring at = L" at offset " + Number(result.stoppedAt) + L": the rest is not checked";
    switch (result.walkEnd) {
    case WalkEnd::NotPng: return L"Not a PNG file";
    case WalkEnd::HeaderNotFirst: return L"Not a PNG file: its first chunk is not IHDR";
    case WalkEnd::BadLength: *storage = L"Damaged PNG: a chunk length above 2^31-1" + at; break;
    case WalkEnd::PastEnd: *storage = L"Damaged PNG: a chunk runs past the end of the file" + at; break;
    case WalkEnd::NoIend: *storage = L"Damaged PNG: the file ends without IEND"; break;
    default: *storage = L"Cannot read file"; break;
    }
    return storage->c_str();
}
