// console_file_loader_test.cpp: the console's loader against the window's load path: the same
// records and notices whole, in sliding views, mapped, past 4 GiB, and from files that change under it.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>
#include "report/console_file_loader.h"
#include "report/scan_text_chunks.h"
#include "runtime/mapped_view.h"
#include "runtime/system_message.h"
#include "tests/app/test_files.h"
#include "tests/report/loader_test_support.h"
#include "tests/report/scan_file_fixture.h"

TEST(ConsoleLoader, GivesTheSearchWhatTheWindowsLoadPathGives) {
    std::vector<std::wstring> names = LoaderTestFiles();
    ASSERT_GT(names.size(), 80u);
    // The last two, a missing file and a folder, cannot be opened: the console says the system's
    // reason where the window says "Cannot allocate memory" (below).
    const std::wstring folder = names.back();
    names.pop_back();
    const std::wstring missing = names.back();
    names.pop_back();
    ConsoleFileLoader loader;
    ExpectedBytes window = ScanInProcess(names);
    EXPECT_GT(window.lines, 150);
    EXPECT_EQ(1, window.notices);
    // Whole, and in views that slide along each file: mapped views of one alignment unit, and views
    // read into the buffer of a few dozen bytes; the large file read and mapped.
    const size_t defaultViewSize = ViewSize();
    for (uint64_t mapFrom : {NeverMapped, MapThreshold}) {
        SetMapThreshold(mapFrom);
        for (size_t viewSize : {defaultViewSize, static_cast<size_t>(ViewAlignment), static_cast<size_t>(37)}) {
            SetViewSize(viewSize);
            ExpectedBytes console = ScanInProcess(names, &loader);
            EXPECT_TRUE(window.text == console.text) << "report lines differ; views of " << viewSize << ", mapped from " << mapFrom;
            EXPECT_TRUE(window.json == console.json) << "records or notices differ; views of " << viewSize << ", mapped from " << mapFrom;
            EXPECT_EQ(window.err, console.err);
        }
    }
    SetMapThreshold(NeverMapped);
    SetViewSize(defaultViewSize);
    for (const std::wstring& name : {missing, folder}) {
        HANDLE probe = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_EQ(INVALID_HANDLE_VALUE, probe);
        const std::wstring reason = SystemMessage(GetLastError());
        ASSERT_FALSE(reason.empty());
        ExpectedBytes said = ScanInProcess({name}, &loader);
        EXPECT_EQ(Utf8(name + L": " + reason + L"\n"), said.err);
        EXPECT_EQ(Utf8(name + L": Cannot allocate memory\n"), ScanInProcess(name).err) << "the window's notice";
    }
}

// Far larger than a 32-bit process can map or hold: chunks near the start, across the end of the first
// view, past 2 and 4 GiB, and ending with the file. Sizes and offsets are 64-bit throughout.
TEST(ConsoleLargeFile, FiveGiBIsSearchedToItsEndInViews) {
    const int64_t GiB = 1LL << 30;
    auto chunk = [](const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); };
    const std::string last = chunk(TextChunk("Last", "at the very end"));
    const int64_t size = 5 * GiB + 12345;
    const std::vector<std::pair<int64_t, std::string>> placed = {
        {100, chunk(TextChunk("First", "near the start"))},
        {static_cast<int64_t>(ViewSize()) - 9, chunk(CompressedTextChunk("Across", "the end of a view"))},
        {9 * GiB / 10, chunk(TextChunk("Second", "at 0.9 GiB"))},
        {5 * GiB / 2, chunk(CompressedTextChunk("Third", "at 2.5 GiB"))},
        {9 * GiB / 2, chunk(InternationalTextChunk("Fourth", "en", "Vierte", "at 4.5 GiB"))},
        {size - static_cast<int64_t>(last.size()), last}};
    const std::wstring path = WriteSparseFile(ScratchFolder() + L"\\five-gib.png", size, placed);
    ConsoleFileLoader loader;
    ExpectedBytes console = ScanInProcess({path}, &loader);
    DeleteFileW(path.c_str());
    EXPECT_EQ(Utf8(L"file:" + path + L"\n") +
                  "tEXt : First near the start\nzTXt: Across the end of a view\ntEXt : Second at 0.9 GiB\n"
                  "zTXt: Third at 2.5 GiB\niTXt : (en)Fourth(Vierte) at 4.5 GiB\ntEXt : Last at the very end\n",
              console.text);
    EXPECT_EQ("", console.err);
    for (const auto& run : placed) {
        EXPECT_NE(std::string::npos, console.json.find("\"offset\":" + std::to_string(run.first + 4) + ",")) << run.first;
    }
    EXPECT_EQ(std::string::npos, console.json.find("\"crc\":\"bad\"")) << console.json;
}

// Two files of 1.5 GiB on two threads at once: two whole-file views would not fit in the address space
// together, views that slide along them do. Each gives the same report as on one thread.
TEST(ConsoleLargeFile, TwoLargeFilesAreSearchedAtOnceOnTwoThreads) {
    const int64_t size = 3LL << 29;
    std::vector<std::wstring> paths;
    for (const char* name : {"a", "b"}) {
        const std::vector<uint8_t> first = TextChunk("First", name), last = TextChunk("Last", name);
        paths.push_back(WriteSparseFile(ScratchFolder() + L"\\large-" + std::wstring(name, name + 1) + L".png", size,
                                        {{100, std::string(first.begin(), first.end())},
                                         {size - static_cast<int64_t>(last.size()), std::string(last.begin(), last.end())}}));
    }
    ExpectedBytes reports[2];
    std::thread other([&] {
        ConsoleFileLoader loader;
        reports[1] = ScanInProcess({paths[1]}, &loader);
    });
    ConsoleFileLoader loader;
    reports[0] = ScanInProcess({paths[0]}, &loader);
    other.join();
    for (int i = 0; i < 2; i++) {
        const std::string name = i == 0 ? "a" : "b";
        EXPECT_EQ(Utf8(L"file:" + paths[i] + L"\n") + "tEXt : First " + name + "\ntEXt : Last " + name + "\n", reports[i].text);
        EXPECT_EQ("", reports[i].err);
        DeleteFileW(paths[i].c_str());
    }
}

static std::wstring truncateOnFirstPiece;

// Cuts the file short from another handle, as another process could, after the loader's first piece.
static void TruncateAfterFirstPiece(const std::wstring& name, size_t bytesRead) {
    if (name != truncateOnFirstPiece || bytesRead != LoaderPieceSize) return;
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(LoaderPieceSize + 1000);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

TEST(ConsoleLoader, AFileCutShortWhileItIsReadIsCannotReadFileAndTheNextFollows) {
    std::vector<uint8_t> large = PngWith({TextChunk("First", "before the cut"),
                                          TextChunk("Filler", std::string(3 * LoaderPieceSize, 'f')),
                                          TextChunk("Last", "after the cut")});
    truncateOnFirstPiece = WriteScratchFile(L"cut-while-read.png", large);
    const std::wstring next = SuiteFile(L"ctzn0g04.png");
    SetLoaderPieceHook(TruncateAfterFirstPiece);
    ConsoleFileLoader loader;
    ExpectedBytes console = ScanInProcess({truncateOnFirstPiece, next}, &loader);
    SetLoaderPieceHook(nullptr);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(truncateOnFirstPiece.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(LoaderPieceSize + 1000, data.nFileSizeLow) << "the seam cut the file";
    EXPECT_EQ(Utf8(truncateOnFirstPiece) + ": Cannot read file\n", console.err);
    ExpectedBytes nextAlone = ScanInProcess(next);
    EXPECT_EQ(Utf8(FileLine(truncateOnFirstPiece)) + "\n" + nextAlone.text, console.text);
}

// Cuts the file just before the CRC of a chunk whose type code and data (crcPiece bytes) were just read
// for its CRC check: the chunk's CRC, outside the view it was found in, then cannot be read.
static std::wstring cutBeforeCrc;
static const size_t CrcPiece = 4 + 58;

static void CutBeforeTheCrc(const std::wstring& name, size_t bytesRead) {
    if (name != cutBeforeCrc || bytesRead != CrcPiece) return;
    cutBeforeCrc.clear();
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER at;
    at.QuadPart = 8 + 25 + 8 + 58;  // signature, header chunk, the text chunk's length, type code and data
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

TEST(ConsoleLoader, ACrcThatCannotBeReadEndsTheFileWithCannotReadFile) {
    // Views of 37 bytes: the chunk's data is shown in a view that ends before its CRC, which the
    // loader then reads on its own. The chunk ends the file, so no later read fails in its stead.
    const std::vector<uint8_t> chunk = TextChunk("Key", std::string(54, 'v'));
    std::vector<uint8_t> png = PngWith({chunk});
    png.resize(8 + 25 + chunk.size());
    const std::wstring name = WriteScratchFile(L"crc-unread.png", png);
    cutBeforeCrc = name;
    const size_t defaultViewSize = ViewSize();
    SetViewSize(37);
    SetLoaderPieceHook(CutBeforeTheCrc);
    ConsoleFileLoader loader;
    ExpectedBytes console = ScanInProcess({name}, &loader);
    SetLoaderPieceHook(nullptr);
    SetViewSize(defaultViewSize);
    EXPECT_TRUE(cutBeforeCrc.empty()) << "the CRC was not read on its own";
    EXPECT_EQ(Utf8(name) + ": Cannot read file\n", console.err);
}

// Cuts a file short from another process, a Linux one: Windows and Wine refuse to truncate a file
// that has a mapped view, so only a process outside Wine (or a failing device) can do this to a view.
static bool TruncateFromOutside(const std::wstring& name, size_t size) {
    std::wstring unixName = name.substr(2);  // "Z:" is the Linux root
    for (wchar_t& c : unixName) c = c == L'\\' ? L'/' : c;
    std::wstring commandLine = L"Z:\\usr\\bin\\truncate -s " + std::to_wstring(size) + L" \"" + unixName + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine gives no handle to wait on for a Linux process: wait for the cut itself.
    for (int wait = 0; wait < 3000; wait++) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == size) return true;
        Sleep(10);
    }
    return false;
}

// Cuts the file short when the scan reports its first chunk, with the rest of the file still to search.
class TruncatingSink : public ExpectedBytes {
public:
    bool AppendReportLine(const TextChunkRecord& record) override {
        if (!cutDone) cutDone = TruncateFromOutside(file, 1u << 20);
        return ExpectedBytes::AppendReportLine(record);
    }
    bool cutDone = false;
};

TEST(ConsoleLoader, AMappedFileCutShortDuringItsSearchIsCannotReadFileAndTheNextFollows) {
    if (GetFileAttributesW(L"Z:\\usr\\bin\\truncate") == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "needs Wine on Linux";
    // Mapped, and read in views into the buffer. The image data is searched byte by byte, so the
    // search reads the pages that the cut takes away.
    for (uint64_t mapFrom : {MapThreshold, NeverMapped}) {
        SetMapThreshold(mapFrom);
        const std::wstring name = WriteScratchFile(
            L"cut-while-mapped.png", PngWith({TextChunk("First", "before the cut"),
                                              PngChunk("IDAT", std::vector<uint8_t>(MapThreshold + (4u << 20), 'f')),
                                              TextChunk("Last", "after the cut")}));
        const std::wstring next = SuiteFile(L"ctzn0g04.png");
        ConsoleFileLoader loader;
        std::vector<uint8_t> work(WorkBufferSize);
        TruncatingSink sink;
        EXPECT_FALSE(ScanTextChunks(name, true, &sink, work.data(), &loader)) << mapFrom;
        ASSERT_TRUE(sink.cutDone) << "the file was cut short from outside";
        EXPECT_TRUE(ScanTextChunks(next, false, &sink, work.data(), &loader));
        EXPECT_EQ(Utf8(name) + ": Cannot read file\n", sink.err);
        ExpectedBytes nextAlone = ScanInProcess(next);
        EXPECT_EQ(Utf8(FileLine(name) + L"\ntEXt : First before the cut\n") + nextAlone.text, sink.text);
    }
    SetMapThreshold(NeverMapped);
}
