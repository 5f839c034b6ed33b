// wildcard.h: names and keywords matched against patterns with * and ?.
#pragma once

// True when a file name matches the pattern: * any run of characters, ? any one, case ignored; as in
// cmd, a pattern ending in '.' stands for names without an extension.
bool MatchesWildcard(const wchar_t* pattern, const wchar_t* text);
// The same without the file-name rule for a final '.', case ignored only when asked (keywords).
bool MatchesPattern(const wchar_t* pattern, const wchar_t* text, bool ignoreCase);
