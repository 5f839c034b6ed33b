// text_search_test.cpp: the case-fold table and the search for a folded text.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include "runtime/text_search.h"

TEST(CaseFoldedSearch, FindsTextIgnoringCaseAsTheSystemComparesNames) {
    struct Case {
        const wchar_t* needle;
        const wchar_t* text;
        bool found;
    } cases[] = {
        {L"cat", L"A CAT sat", true},
        {L"CAT", L"concatenate", true},
        {L"cat", L"ca t", false},
        {L"\u00E9t\u00E9", L"UN \u00C9T\u00C9", true},                      // Latin-1
        {L"\u03C3\u03C5\u03B3", L"\u03A3\u03A5\u0393\u03B3\u03C1", true},  // Greek
        {L"\u043F\u0440\u0438", L"\u041F\u0420\u0418\u0412\u0415\u0422", true},  // Cyrillic
        {L"\uFF41", L"\uFF21", true},                                      // full-width letters
        {L"\u0561", L"\u0531", true},                                      // Armenian
        {L"ss", L"\u00DF", false},                                         // one unit is never two
        {L"x", L"", false},
        {L"", L"anything", true},
        // A match at the very end, and after more than eight units of near misses.
        {L"abc", L"abababababababababaC", false},
        {L"abc", L"abababababababababABC", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.needle) + L" in " + c.text));
        EXPECT_EQ(c.found, CaseFoldedSearch(c.needle).FoundIn(c.text));
    }
}

TEST(CaseFoldedSearch, EveryUnitFoldsToAFormTheSystemCallsEqual) {
    // The table's forms are the system's own: each unit and its form compare equal ignoring case,
    // and the letters of many scripts do have an upper-case form there.
    const uint16_t* fold = CaseFoldTable();
    int folded = 0;
    for (uint32_t c = 0; c < 65536; c++) {
        if (fold[c] == c) continue;
        folded++;
        wchar_t a = static_cast<wchar_t>(c), b = static_cast<wchar_t>(fold[c]);
        ASSERT_EQ(CSTR_EQUAL, CompareStringOrdinal(&a, 1, &b, 1, TRUE)) << std::hex << c;
    }
    EXPECT_GT(folded, 900) << "letters of many scripts fold";
    for (wchar_t lower : {L'a', L'z', L'\u00E9', L'\u03C9', L'\u0434', L'\u0561', L'\uFF41'}) {
        EXPECT_NE(lower, static_cast<wchar_t>(fold[lower])) << std::hex << static_cast<int>(lower);
    }
}
