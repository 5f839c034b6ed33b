// large_file_test.cpp: scans of huge sparse files and of files that change or are locked while loading.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "report/compressed_text.h"
#include "report/report_test_seams.h"
#include "report/scan_text_chunks.h"
#include "runtime/files.h"
#include "tests/report/scan_file_fixture.h"
#include "tests/report/test_png.h"

using namespace testpng;
using Lines = std::vector<std::wstring>;

static const int64_t GiB = 1LL << 30;

// Whether this process's address space holds one free range of size bytes now (reserved, then let go).
static bool AddressSpaceHolds(int64_t size) {
    void* range = VirtualAlloc(nullptr, static_cast<SIZE_T>(size), MEM_RESERVE, PAGE_NOACCESS);
    if (!range) return false;
    VirtualFree(range, 0, MEM_RELEASE);
    return true;
}

// The large-address-aware flag of a PE image on disk; false when it cannot be read.
static bool ImageFileIsLargeAddressAware(const std::wstring& path, bool* readable) {
    *readable = false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char head[4096] = {};
    DWORD read = 0;
    ReadFile(file, head, sizeof head, &read, nullptr);
    CloseHandle(file);
    IMAGE_DOS_HEADER dos;
    if (read < sizeof dos) return false;
    memcpy(&dos, head, sizeof dos);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
        static_cast<DWORD>(dos.e_lfanew) + 4 + sizeof(IMAGE_FILE_HEADER) > read) {
        return false;
    }
    if (memcmp(head + dos.e_lfanew, "PE\0\0", 4) != 0) return false;
    IMAGE_FILE_HEADER header;
    memcpy(&header, head + dos.e_lfanew + 4, sizeof header);
    *readable = true;
    return (header.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE) != 0;
}

class LargeFiles : public ScanFileFixture {};

TEST_F(LargeFiles, ExecutablesAreLargeAddressAware) {
    if (sizeof(void*) == 8) GTEST_SKIP() << "the flag widens a 32-bit address space; a 64-bit program has no such limit";
    // This test program's own image, as loaded.
    const uint8_t* image = reinterpret_cast<const uint8_t*>(GetModuleHandleW(nullptr));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);

    // The programs of the same build: <build>/tests/report/this.exe and <build>/app/*.exe.
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::wstring build(self, length);
    for (int up = 0; up < 3; up++) build.erase(build.find_last_of(L"\\/"));
    int checked = 0;
    for (const wchar_t* program : {L"\\app\\pngtext-cli.exe", L"\\app\\pngtext.exe"}) {
        std::wstring path = build + program;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        bool readable = false;
        EXPECT_TRUE(ImageFileIsLargeAddressAware(path, &readable)) << "not large-address-aware: " << testing::PrintToString(path);
        EXPECT_TRUE(readable);
        checked++;
    }
    RecordProperty("programs_checked", checked);
}

TEST_F(LargeFiles, OneGiBLoadsAndIsSearchedToItsEnd) {
    // Far beyond the ~590 MB a 32-bit process without the large-address flag finds in one piece
    // under Wine; with it, about 1.8 GB is free in one range.
    const int64_t size = GiB;
    std::string first = Chunk("tEXt", TextData("First", "at the start"));
    std::string last = Chunk("zTXt", ZtxtData("Last", "at the end"));
    // The final chunk's CRC is the file's last four bytes.
    std::wstring path = WriteSparse(L"one-and-a-half-gib.png", size, {{8, first}, {size - static_cast<int64_t>(last.size()), last}});
    ASSERT_TRUE(AddressSpaceHolds(size)) << "a large-address-aware process must hold 1 GiB in one range";
    EXPECT_TRUE(Scan(path));
    EXPECT_TRUE(sink.notices.empty());
    EXPECT_EQ(sink.lines, (Lines{L"tEXt : First at the start", L"zTXt: Last at the end"}));
}

TEST_F(LargeFiles, JustBelowTwoGiBLoadsOnlyWhereTheAddressSpaceHoldsIt) {
    // 2 GiB - 1 is the largest size the rules allow. Whether one block of it exists depends on the
    // platform: under Wine here the largest free range is about 1.8 GB, so the scan reports
    // "Cannot allocate memory"; where the range exists, the 2 GiB of zeros are searched to the end.
    const int64_t size = 2 * GiB - 1;
    std::string chunk = Chunk("tEXt", TextData("Edge", "of the rules"));
    std::wstring path = WriteSparse(L"below-two-gib.png", size, {{size - static_cast<int64_t>(chunk.size()), chunk}});
    // A heap block of that size needs its header and page rounding on top.
    const bool holds = AddressSpaceHolds(size + 65536);
    RecordProperty("below_2GiB_address_space_holds_it", holds ? 1 : 0);
    if (holds) {
        EXPECT_TRUE(Scan(path));
        EXPECT_TRUE(sink.notices.empty());
        EXPECT_EQ(sink.lines, Lines{L"tEXt : Edge of the rules"});
    } else {
        EXPECT_FALSE(Scan(path));
        EXPECT_EQ(sink.notices, Lines{L"Cannot allocate memory"});
        EXPECT_EQ(sink.report.Text(), L"file:" + path);
    }
}

TEST_F(LargeFiles, TwoGiBAndUpCannotBeHeldWholeWhateverTheLowThirtyTwoBitsSay) {
    // One block of a 32-bit process cannot hold 2 GiB: said, never searched in part. Whole multiples
    // of 4 GiB (low bits 0) and sizes whose low bits read small are no exception.
    const std::pair<int64_t, const wchar_t*> cases[] = {
        {2 * GiB, L"Cannot allocate memory"}, {3 * GiB, L"Cannot allocate memory"},
        {4 * GiB - 1, L"Cannot allocate memory"}, {6 * GiB + 5, L"Cannot allocate memory"},
        {4 * GiB, L"Cannot allocate memory"}, {8 * GiB, L"Cannot allocate memory"},
        {12 * GiB, L"Cannot allocate memory"}, {4 * GiB + (1 << 20), L"Cannot allocate memory"}};
    for (const auto& [size, notice] : cases) {
        RecordingSink one;
        std::wstring path = WriteSparse(L"size-" + std::to_wstring(size) + L".bin", size, {{0, Chunk("tEXt", TextData("A", "b"))}});
        EXPECT_FALSE(ScanTextChunks(path, true, &one, work.data())) << size;
        EXPECT_EQ(one.notices, Lines{notice}) << size;
        EXPECT_EQ(one.report.Text(), L"file:" + path) << size;
    }
}

TEST_F(LargeFiles, AboveAMultipleOfFourGiBNothingIsPassedOffAsTheWholeFile) {
    // 8 GiB + the length of one chunk: the low 32 bits are that length. Searching that many bytes
    // would report the first chunk as if it were the whole file.
    std::string chunk = Chunk("tEXt", TextData("Low", "bits"));
    std::string beyond = Chunk("tEXt", TextData("Not", "read"));
    std::wstring path = WriteSparse(L"eight-gib-and-a-chunk.png", 8 * GiB + static_cast<int64_t>(chunk.size()),
                                    {{0, chunk}, {static_cast<int64_t>(chunk.size()) + 100, beyond}});
    EXPECT_FALSE(Scan(path));
    EXPECT_EQ(sink.notices, Lines{L"Cannot allocate memory"});
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(LargeFiles, ANameLongerThanThePathCutIsNeverAnotherFilesBytes) {
    // Two files in one folder: the first name is exactly as long as the cut, the second starts with it.
    // Looked at by the cut, the second name's size would be the first file's (8 bytes), and only
    // that many bytes of the second file would be searched, its chunk missed without a word.
    std::wstring folder = Write(L"probe.bin", "x");
    folder.resize(folder.rfind(L'\\') + 1);
    ASSERT_LT(folder.size(), static_cast<size_t>(MAX_PATH) - 10);
    std::wstring shortName(MAX_PATH - folder.size(), L's');
    std::wstring shortPath = Write(shortName, "12345678");
    ASSERT_EQ(static_cast<size_t>(MAX_PATH), shortPath.size());
    std::wstring longPath = Write(shortName + L"-long.png", Png({Chunk("tEXt", TextData("Long", "name"))}));
    ASSERT_FALSE(longPath.empty());
    EXPECT_FALSE(Scan(longPath));
    EXPECT_EQ(sink.notices, Lines{L"Cannot allocate memory"});
    EXPECT_TRUE(sink.lines.empty());
}

// ---- files that change between the size query and the read -------------------------------------

static std::wstring hookPath;
static HANDLE hookLock = INVALID_HANDLE_VALUE;
static int hookCalls;

static void SetLength(const wchar_t* name, int64_t length) {
    HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = length;
    EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
}

static std::string TwoChunkPng() {
    return Png({Chunk("tEXt", TextData("One", "first")), Chunk("tEXt", TextData("Two", "second"))});
}
// The PNG signature and IHDR (33 bytes) and the first tEXt chunk.
static const int64_t FirstChunkEnd = 33 + 12 + 9;

class ChangingFiles : public LargeFiles {
protected:
    std::wstring WriteBytes(const std::wstring& name, const std::string& bytes) {
        return WriteSparse(name, static_cast<int64_t>(bytes.size()), {{0, bytes}});
    }
    void TearDown() override {
        if (hookLock != INVALID_HANDLE_VALUE) CloseHandle(hookLock);
        hookLock = INVALID_HANDLE_VALUE;
        hookCalls = 0;
        LargeFiles::TearDown();
    }
};

TEST_F(ChangingFiles, AFileThatShrinksIsReportedFromTheBytesLeft) {
    std::wstring path = WriteBytes(L"shrinks.png", TwoChunkPng());
    SetBeforeFileOpenHook([](const wchar_t* name) { hookCalls++, SetLength(name, FirstChunkEnd); });
    EXPECT_TRUE(Scan(path));
    EXPECT_EQ(hookCalls, 1);
    // The block keeps the size first reported; what the read did not fill stays zero.
    EXPECT_TRUE(sink.notices.empty());
    EXPECT_EQ(sink.lines, Lines{L"tEXt : One first"});
}

TEST_F(ChangingFiles, AFileEmptiedBeforeTheReadGivesNoLines) {
    std::wstring path = WriteBytes(L"emptied.png", TwoChunkPng());
    SetBeforeFileOpenHook([](const wchar_t* name) { SetLength(name, 0); });
    EXPECT_TRUE(Scan(path));
    EXPECT_TRUE(sink.notices.empty());
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_EQ(sink.report.Text(), L"file:" + path);
}

TEST_F(ChangingFiles, AFileThatGrowsIsReadOnlyToItsFirstSize) {
    std::string png = TwoChunkPng();
    std::wstring path = WriteBytes(L"grows.png", png);
    SetBeforeFileOpenHook([](const wchar_t* name) {
        HANDLE file = CreateFileW(name, FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        std::string more = Chunk("tEXt", TextData("Three", "late"));
        DWORD done = 0;
        WriteFile(file, more.data(), static_cast<DWORD>(more.size()), &done, nullptr);
        CloseHandle(file);
    });
    EXPECT_TRUE(Scan(path));
    EXPECT_EQ(QueryFileSize(path.c_str()), static_cast<int64_t>(png.size()) + 12 + 10);
    EXPECT_EQ(sink.lines, (Lines{L"tEXt : One first", L"tEXt : Two second"}));
}

TEST_F(ChangingFiles, AFileThatDisappearsCannotBeRead) {
    std::wstring path = WriteBytes(L"disappears.png", TwoChunkPng());
    SetBeforeFileOpenHook([](const wchar_t* name) { EXPECT_TRUE(DeleteFileW(name)); });
    EXPECT_FALSE(Scan(path));
    EXPECT_EQ(sink.notices, Lines{L"Cannot read file"});
    EXPECT_EQ(sink.shownWithNotice, Lines{L"file:" + path});
    EXPECT_EQ(sink.report.Text(), L"file:" + path);
}

TEST_F(ChangingFiles, AFileReplacedByAFolderCannotBeRead) {
    std::wstring path = WriteBytes(L"becomes-folder.png", TwoChunkPng());
    SetBeforeFileOpenHook([](const wchar_t* name) {
        EXPECT_TRUE(DeleteFileW(name));
        EXPECT_TRUE(CreateDirectoryW(name, nullptr));
    });
    EXPECT_FALSE(Scan(path));
    EXPECT_EQ(sink.notices, Lines{L"Cannot read file"});
    EXPECT_EQ(sink.report.Text(), L"file:" + path);
}

TEST_F(ChangingFiles, AFileLockedBeforeTheOpenCannotBeRead) {
    std::wstring path = WriteBytes(L"locked-late.png", TwoChunkPng());
    SetBeforeFileOpenHook([](const wchar_t* name) {
        hookLock = CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(hookLock, INVALID_HANDLE_VALUE);
    });
    EXPECT_FALSE(Scan(path));
    EXPECT_EQ(sink.notices, Lines{L"Cannot read file"});
}

TEST_F(ChangingFiles, ADisappearingFileDoesNotStopTheNextName) {
    std::wstring gone = WriteBytes(L"gone.png", TwoChunkPng());
    std::wstring kept = WriteBytes(L"kept.png", Png({Chunk("zTXt", ZtxtData("Kept", "here"))}));
    hookPath = gone;
    SetBeforeFileOpenHook([](const wchar_t* name) {
        if (hookPath == name) DeleteFileW(name);
    });
    EXPECT_FALSE(ScanNames({gone, kept}));
    EXPECT_EQ(sink.notices, Lines{L"Cannot read file"});
    EXPECT_EQ(sink.report.Text(), L"file:" + gone + L"\r\nfile:" + kept + L"\r\nzTXt: Kept here");
}

TEST_F(ChangingFiles, WritersThatDoNotShareTheFileLockItForTheScan) {
    std::wstring path = WriteBytes(L"written.png", TwoChunkPng());
    // Share modes another program may hold the file with, and whether the scan can still read it
    // (it opens for reading and shares reading only).
    struct Holder {
        DWORD access, share;
        bool readable;
    };
    const Holder holders[] = {
        {GENERIC_READ, 0, false},                                // read, share nothing
        {GENERIC_WRITE, FILE_SHARE_READ, false},                 // a writer that lets others read
        {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        {GENERIC_READ, FILE_SHARE_READ, true},                   // another reader
        {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, true},
    };
    for (const Holder& holder : holders) {
        HANDLE lock = CreateFileW(path.c_str(), holder.access, holder.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        RecordingSink one;
        const bool loaded = ScanTextChunks(path, true, &one, work.data());
        CloseHandle(lock);
        EXPECT_EQ(loaded, holder.readable) << holder.access << " " << holder.share;
        if (holder.readable) {
            EXPECT_EQ(one.lines, (Lines{L"tEXt : One first", L"tEXt : Two second"}));
        } else {
            EXPECT_EQ(one.notices, Lines{L"Cannot read file"});
            EXPECT_TRUE(one.lines.empty());
        }
    }
}
