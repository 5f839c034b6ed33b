// console_parts_test.cpp: the console tool's pieces on their own: case-folded search, the JSON reader,
// safe names for --out, the folder walk.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "app/console/cli_names.h"
#include "app/console/json_text.h"
#include "app/console/out_folder.h"
#include "app/console/text_search.h"
#include "tests/app/test_files.h"

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

TEST(JsonText, ObjectsAndArraysAreJsonAndTheRestIsNot) {
    struct Case {
        std::wstring text;
        bool json;
    } cases[] = {
        {L"{}", true},
        {L" [1, -2.5e+3, true, false, null, \"a\\\"\\u00e9\"] \r\n", true},
        {L"{\"a\": {\"b\": [[], {}]}}", true},
        {L"\"just a string\"", false},
        {L"42", false},
        {L"{\"a\": 1} trailing", false},
        {L"{\"a\" 1}", false},
        {L"{\"a\": 1,}", false},
        {L"[01]", false},
        {L"[\"tab\there\"]", false},
        {L"[\"bad \\x escape\"]", false},
        {L"{'a': 1}", false},
        {L"[1, 2", false},
        {std::wstring(1000000, L'['), false},  // deep nesting costs no stack
        {std::wstring(100000, L'[') + std::wstring(100000, L']'), true},
        {L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text.substr(0, 40)));
        EXPECT_EQ(c.json, ReadJsonContainer(c.text, nullptr));
        std::wstring pretty = L"kept";
        EXPECT_EQ(c.json, ReadJsonContainer(c.text, &pretty));
        if (!c.json) {
            EXPECT_EQ(L"kept", pretty);
        }
    }
}

TEST(JsonText, PrettyIndentsByTwoSpacesAndKeepsKeysAndValuesAsWritten) {
    std::wstring pretty;
    ASSERT_TRUE(ReadJsonContainer(L"{\"z\":1,\"a\":[1.50,\"x\\n\",{}],\"e\":[],\"u\":\"\u00E9\\u00e9\"}", &pretty));
    EXPECT_EQ(L"{\n  \"z\": 1,\n  \"a\": [\n    1.50,\n    \"x\\n\",\n    {}\n  ],\n  \"e\": [],\n  \"u\": \"\u00E9\\u00e9\"\n}",
              pretty);
}

TEST(OutFolderNames, ArePartsThatWindowsAccepts) {
    struct Case {
        const wchar_t* image;
        const wchar_t* keyword;
        const wchar_t* base;
    } cases[] = {
        {L"D:\\pics\\cat.png", L"parameters", L"cat.parameters"},
        {L"pics/dog.final.PNG", L"workflow", L"dog.final.workflow"},
        {L"con.png", L"prompt", L"_con.prompt"},
        {L"x\\Nul.png", L"k", L"_Nul.k"},
        {L"com1.png", L"k", L"_com1.k"},
        {L"LPT9.png", L"aux", L"_LPT9.aux"},
        {L"a.png", L"aux", L"a.aux"},
        {L"a.png", L"a/b\\c:d*e?f\"g<h>i|j\tk", L"a.a_b_c_d_e_f_g_h_i_j_k"},
        {L"a.png", L"ends. . ", L"a.ends"},
        {L"a.png", L"", L"a._"},
        {L"a.png", L"...", L"a._"},
        {L"D:noext", L"k", L"noext.k"},
        {L".hidden", L"k", L".hidden.k"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.image) + L" " + c.keyword));
        EXPECT_EQ(c.base, OutFileBase(c.image, c.keyword));
    }
    EXPECT_EQ(MaxNamePart, SafeNamePart(std::wstring(500, L'k')).size());
}

static bool RefuseFoldersNamedLocked(const std::wstring& prefix) {
    return prefix.size() < 8 || prefix.compare(prefix.size() - 8, 8, L"\\locked\\") != 0;
}

// A subfolder that cannot be listed, at any depth of the walk, is said as the same folder named directly
// is: a partial tree is never passed off as whole.
TEST(FolderWalk, AFolderThatCannotBeListedAtAnyDepthIsSaid) {
    const std::wstring root = ScratchFolder() + L"\\walk";
    for (const wchar_t* folder : {L"", L"\\locked", L"\\open", L"\\open\\locked"}) CreateDirectoryW((root + folder).c_str(), nullptr);
    for (const wchar_t* file : {L"walk\\top.png", L"walk\\locked\\hidden.png", L"walk\\open\\seen.png",
                                L"walk\\open\\locked\\deep.png"}) {
        WriteScratchFile(file, PngWith({TextChunk("K", "v")}));
    }
    SetFolderListingHook(RefuseFoldersNamedLocked);
    std::vector<CliItem> items;
    ExpandName(root, true, &items);
    ExpandName(root + L"\\locked", true, &items);
    SetFolderListingHook(nullptr);
    std::vector<std::wstring> said;
    for (const CliItem& item : items) said.push_back(item.name + (item.notice ? std::wstring(L": ") + item.notice : L""));
    EXPECT_EQ(said, (std::vector<std::wstring>{root + L"\\top.png", root + L"\\locked: Cannot read folder",
                                               root + L"\\open\\seen.png", root + L"\\open\\locked: Cannot read folder",
                                               root + L"\\locked: Cannot read folder"}));
}
