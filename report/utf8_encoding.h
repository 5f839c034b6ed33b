// utf8_encoding.h: the one UTF-8 encoder: report lines, JSON and texts leave the program through it.
#pragma once
#include <cstddef>
#include <string>

// Appends count UTF-16 units as UTF-8. A surrogate without its partner has no UTF-8 form and becomes
// U+FFFD, as the system's converter makes it; a pair split between two calls is two such units, so
// callers that encode in pieces end a piece after a pair, never inside it (Utf16PieceEnd).
void AppendUtf8(std::string& out, const wchar_t* units, size_t count);
inline void AppendUtf8(std::string& out, const std::wstring& text) { AppendUtf8(out, text.data(), text.size()); }

// Where a piece of at most `limit` units that starts at `from` should end so that it splits no
// surrogate pair: from + limit, one less when that would split a pair, or count.
size_t Utf16PieceEnd(const wchar_t* units, size_t count, size_t from, size_t limit);
