// text_search.h: finding a text inside another, case ignored as the system ignores it in file names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Case is ignored as CompareStringOrdinal ignores it: each UTF-16 unit is taken in its upper-case
// form, in every script, not only ASCII. The forms come from one table of all 65,536 units, made once
// per process (a few milliseconds): the system's upper-case mapping of each unit, kept only where
// CompareStringOrdinal agrees that the two are equal ignoring case.
const uint16_t* CaseFoldTable();

// One text to look for. Cheap to ask many times: the units that can start a match are found eight at
// a time, and only there is the rest compared.
class CaseFoldedSearch {
public:
    explicit CaseFoldedSearch(const std::wstring& needle);
    // True when text[0, count) holds the needle, case ignored. An empty needle is found everywhere.
    bool FoundIn(const wchar_t* text, size_t count) const;
    bool FoundIn(const std::wstring& text) const { return FoundIn(text.data(), text.size()); }

private:
    bool RestMatches(const wchar_t* at) const;
    const uint16_t* fold_;
    std::vector<uint16_t> needle_;  // folded
    std::vector<uint16_t> starts_;  // every unit whose folded form is the needle's first
};
