// wildcard.cpp: greedy matching of * and ?, case ignored as the file system ignores it.
#include "runtime/wildcard.h"
#include <windows.h>
#include <cwchar>
#include <string>

// Case ignored as the file system ignores it. Kernel32's ordinal comparison, not user32's case
// mapping: loading user32 would cost each run of the program a start of the window system.
static bool SameIgnoringCase(wchar_t a, wchar_t b) {
    return a == b || CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

bool MatchesWildcard(const wchar_t* pattern, const wchar_t* text) {
    // As in cmd, a pattern ending in '.' stands for names without an extension: "*." matches
    // "README" as "README." would, and never "a.png".
    size_t length = wcslen(pattern);
    if (length > 0 && pattern[length - 1] == L'.' && !wcschr(text, L'.')) {
        std::wstring dotted = std::wstring(text) + L".";
        return MatchesPattern(pattern, dotted.c_str(), true);
    }
    return MatchesPattern(pattern, text, true);
}

bool MatchesPattern(const wchar_t* pattern, const wchar_t* text, bool ignoreCase) {
    // Greedy matching with one back-track point: the last * seen.
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*text) {
        if (*pattern == L'*') {
            star = pattern++;
            resume = text;
        } else if (*pattern == L'?' || (*pattern && (*pattern == *text || (ignoreCase && SameIgnoringCase(*pattern, *text))))) {
            pattern++;
            text++;
        } else if (star) {
            pattern = star + 1;
            text = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == L'*') pattern++;
    return *pattern == 0;
}
