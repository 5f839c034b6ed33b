// console_parts_test.cpp: the console tool's pieces on their own: safe names for --out, the folder walk, the threads of a run.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "app/console/name_expansion.h"
#include "app/console/options.h"
#include "app/console/out_folder.h"
#include "app/console/scan_run.h"
#include "tests/app/test_files.h"

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

TEST(OutFolderNames, AreCutAtWholeCodePointsAndHoldNoLoneSurrogate) {
    const std::wstring smiley = L"\U0001F600";  // a surrogate pair
    const std::wstring before(MaxNamePart - 1, L'a');
    EXPECT_EQ(before + L".k", OutFileBase(before + smiley + L".png", L"k")) << "the pair that the cut would split goes whole";
    EXPECT_EQ(before + L"." + before, OutFileBase(L"x\\" + before + smiley + L"b.png", before + smiley));
    EXPECT_EQ(std::wstring(MaxNamePart - 2, L'a') + smiley, SafeNamePart(std::wstring(MaxNamePart - 2, L'a') + smiley + L"b"));
    EXPECT_EQ(L"a_b_" + smiley, SafeNamePart(L"a" + std::wstring(1, wchar_t(0xD83D)) + L"b" + wchar_t(0xDE00) + smiley));
}

TEST(OutFolderNames, RepeatsOfOneNameCostNoMoreLookUpsThanManyNames) {
    OutFileNames names;
    EXPECT_EQ(L"a.k.txt", names.Take(L"a.k", L".txt"));
    EXPECT_EQ(L"a.k.2.txt", names.Take(L"a.k", L".txt"));
    EXPECT_EQ(L"a.k.2.2.txt", names.Take(L"a.k.2", L".txt")) << "a keyword ending in .2 meets the repeat";
    EXPECT_EQ(L"a.k.json", names.Take(L"a.k", L".json")) << "each extension counts apart";
    EXPECT_EQ(L"A.K.3.txt", names.Take(L"A.K", L".txt")) << "case ignored, as the file system ignores it";
    EXPECT_EQ(L"a.k.4.txt", names.Take(L"a.k", L".txt"));
    const size_t before = names.LookedUp();
    for (int i = 5; i <= 20000; i++) ASSERT_EQ(L"a.k." + std::to_wstring(i) + L".txt", names.Take(L"a.k", L".txt"));
    EXPECT_LE(names.LookedUp() - before, 2u * 20000u) << "each repeat starts where the last one stopped";
}

// Each item as the run would say it: its name, and its notice after ": ".
static std::vector<std::wstring> Said(const std::vector<CliItem>& items) {
    std::vector<std::wstring> said;
    for (const CliItem& item : items) said.push_back(item.name + (item.notice ? std::wstring(L": ") + item.notice : L""));
    return said;
}

static void WritePngs(std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names) WriteScratchFile(name, PngWith({TextChunk("K", "v")}));
}

static bool RefuseFoldersNamedLocked(const std::wstring& prefix) {
    return prefix.size() < 8 || prefix.compare(prefix.size() - 8, 8, L"\\locked\\") != 0;
}

// A subfolder that cannot be listed, at any depth of the walk, is said as the same folder named directly
// is: a partial tree is never passed off as whole.
TEST(FolderWalk, AFolderThatCannotBeListedAtAnyDepthIsSaid) {
    const std::wstring root = ScratchFolder() + L"\\walk";
    for (const wchar_t* folder : {L"", L"\\locked", L"\\open", L"\\open\\locked"}) CreateDirectoryW((root + folder).c_str(), nullptr);
    WritePngs({L"walk\\top.png", L"walk\\locked\\hidden.png", L"walk\\open\\seen.png", L"walk\\open\\locked\\deep.png"});
    SetFolderListingHook(RefuseFoldersNamedLocked);
    std::vector<CliItem> items;
    ExpandName(root, true, &items);
    ExpandName(root + L"\\locked", true, &items);
    SetFolderListingHook(nullptr);
    EXPECT_EQ(Said(items), (std::vector<std::wstring>{root + L"\\top.png", root + L"\\locked: Cannot read folder",
                                                      root + L"\\open\\seen.png", root + L"\\open\\locked: Cannot read folder",
                                                      root + L"\\locked: Cannot read folder"}));
}

// The listing breaks off after its first entry, as a share that goes away during it does.
static BOOL BreakOff(HANDLE, WIN32_FIND_DATAW*) {
    SetLastError(ERROR_NETNAME_DELETED);
    return FALSE;
}

TEST(FolderWalk, AListingThatBreaksOffIsSaidNotPassedOffAsWhole) {
    const std::wstring root = ScratchFolder() + L"\\broken-off";
    CreateDirectoryW(root.c_str(), nullptr);
    WritePngs({L"broken-off\\a.png", L"broken-off\\b.png", L"broken-off\\c.png"});
    SetFolderNextEntryHook(BreakOff);
    std::vector<CliItem> items;
    ExpandName(root, false, &items);
    ExpandName(root + L"\\*.png", false, &items);
    SetFolderNextEntryHook(nullptr);
    EXPECT_EQ(Said(items), (std::vector<std::wstring>{root + L": Cannot read folder", root + L"\\*.png: Cannot read folder"}));
    items.clear();
    ExpandName(root, false, &items);
    EXPECT_EQ(3u, items.size()) << "a listing that ends as listings end is whole";
}

TEST(ScanThreads, FilesWrittenGetTwoPerProcessorUpToEightAndScansOne) {
    const CliOptions scan = ParseCommandLine(2, std::vector<const wchar_t*>{L"pngtext-cli", L"a.png"}.data());
    const CliOptions clean = ParseCommandLine(4, std::vector<const wchar_t*>{L"pngtext-cli", L"--clean", L"dir", L"a.png"}.data());
    const CliOptions out = ParseCommandLine(4, std::vector<const wchar_t*>{L"pngtext-cli", L"--out", L"dir", L"a.png"}.data());
    ASSERT_TRUE(clean.Clean());
    ASSERT_EQ(L"dir", out.outFolder);
    struct Case {
        unsigned processors, scanning, writing;
    };
    for (const Case& c : {Case{1, 1, 1}, Case{2, 2, 4}, Case{3, 3, 6}, Case{4, 4, 8}, Case{6, 6, 8}, Case{16, 16, 16}}) {
        EXPECT_EQ(ScanThreads(scan, c.processors), c.scanning) << c.processors;
        EXPECT_EQ(ScanThreads(clean, c.processors), c.writing) << c.processors;
        EXPECT_EQ(ScanThreads(out, c.processors), c.writing) << c.processors;
    }
}
