// utf8_encoding.h: the one UTF-8 encoder: report lines, JSON and texts leave the program through it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Appends count UTF-16 units as UTF-8. A surrogate without its partner has no UTF-8 form and becomes
// U+FFFD, as the system's converter makes it; a pair split between two calls is two such units, so
// callers that encode in pieces end a piece after a pair, never inside it (Utf16PieceEnd).
void AppendUtf8(std::string& out, const wchar_t* units, size_t count);
inline void AppendUtf8(std::string& out, const std::wstring& text) { AppendUtf8(out, text.data(), text.size()); }

// The code point that starts at units[i], and in `taken` its units (2 for a surrogate pair); a surrogate
// without its partner is U+FFFD.
inline uint32_t Utf16CodePointAt(const wchar_t* units, size_t count, size_t i, size_t& taken) {
    const uint32_t c = static_cast<uint16_t>(units[i]);
    taken = 1;
    if (c < 0xD800 || c > 0xDFFF) return c;
    const uint32_t low = i + 1 < count ? static_cast<uint16_t>(units[i + 1]) : 0;
    if (c > 0xDBFF || low < 0xDC00 || low > 0xDFFF) return 0xFFFD;
    taken = 2;
    return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
}

// Writes one code point at `to` as UTF-8; returns the bytes written (1 to 4).
inline size_t EncodeUtf8CodePoint(uint32_t c, char* to) {
    if (c < 0x80) {
        to[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        to[0] = static_cast<char>(0xC0 | (c >> 6));
        to[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        to[0] = static_cast<char>(0xE0 | (c >> 12));
        to[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        to[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    to[0] = static_cast<char>(0xF0 | (c >> 18));
    to[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    to[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    to[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Where a piece of at most `limit` units that starts at `from` should end so that it splits no
// surrogate pair: from + limit, one less when that would split a pair, or count.
size_t Utf16PieceEnd(const wchar_t* units, size_t count, size_t from, size_t limit);
