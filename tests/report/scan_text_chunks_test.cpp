// scan_text_chunks_test.cpp: scans of real files: load path, notices, several names, PngSuite readings.
#include <gtest/gtest.h>
#include <windows.h>
#include <map>
#include <new>
#include <stdexcept>
#include "report/compressed_text.h"
#include "report/scan_text_chunks.h"
#include "runtime/files.h"
#include "tests/report/scan_file_fixture.h"
#include "tests/testdata.h"
#include "tests/report/test_png.h"

using namespace testpng;
using Lines = std::vector<std::wstring>;

static const std::string Nul(1, '\0');

class ScanFiles : public ScanFileFixture {};

static std::string AllKinds() {
    return Png({Chunk("tEXt", TextData("Title", "Hello")), Chunk("zTXt", ZtxtData("Comment", "Hi")),
                Chunk("iTXt", ItxtData("Title", 0, 0, "en", "Titel", "Hallo"))});
}

TEST_F(ScanFiles, EmptyNameDoesNothing) {
    EXPECT_TRUE(ScanTextChunks(L"", true, &sink, work.data()));
    EXPECT_TRUE(ScanTextChunks(L"", false, &sink, work.data()));
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(ScanFiles, ReportOfAFileWithAllThreeKinds) {
    std::wstring path = Write(L"kinds.png", AllKinds());
    EXPECT_TRUE(Scan(path));
    std::wstring expected = L"file:" + path + L"\r\ntEXt : Title Hello\r\nzTXt: Comment Hi\r\niTXt : (en)Title(Titel) Hallo";
    EXPECT_EQ(sink.report.Text(), expected);
    EXPECT_EQ(sink.calls, Lines{L"start file:" + path});  // the caller flushes when its names are done
}

TEST_F(ScanFiles, NonAsciiFileName) {
    std::wstring path = Write(L"Gr\u00FC\u00DFe-\u03A4\u03AF\u03C4\u03BB\u03BF\u03C2.png", AllKinds());
    EXPECT_TRUE(Scan(path));
    EXPECT_EQ(sink.lines.size(), 3u);
    EXPECT_EQ(sink.report.Text().substr(0, path.size() + 5), L"file:" + path);
}

TEST_F(ScanFiles, PngWithoutTextChunksGivesTheFileLineOnly) {
    std::wstring path = Write(L"plain.png", Png({}));
    EXPECT_TRUE(Scan(path));
    EXPECT_EQ(sink.report.Text(), L"file:" + path);
}

TEST_F(ScanFiles, ZeroLengthTextChunkDoesNotStopTheScan) {
    std::wstring path = Write(L"empty-text.png", Png({BigEndian32(0) + "tEXt" + BigEndian32(0),
                                                      Chunk("tEXt", TextData("Next", "one"))}));
    EXPECT_TRUE(Scan(path));
    EXPECT_EQ(sink.lines, (Lines{L"tEXt : wrong size", L"tEXt : Next one"}));
}

TEST_F(ScanFiles, EmptyFileIsWrongSize) {
    std::wstring path = Write(L"empty.png", std::string());
    EXPECT_FALSE(Scan(path));
    EXPECT_EQ(sink.calls, (Lines{L"start file:" + path, L"flush", L"notice File|Wrong size!|" + path}));
    EXPECT_EQ(sink.shownWithNotice, Lines{L"file:" + path});
}

TEST_F(ScanFiles, MissingFileAndDirectoryCannotAllocate) {
    std::wstring missing = folder + L"\\missing.png";
    EXPECT_FALSE(Scan(missing));
    EXPECT_FALSE(Scan(folder));
    EXPECT_EQ(sink.notices, (Lines{L"Cannot allocate memory", L"Cannot allocate memory"}));
    EXPECT_EQ(sink.shownWithNotice, (Lines{L"file:" + missing, L"file:" + folder}));
    EXPECT_EQ(sink.report.Text(), L"file:" + folder);
}

TEST_F(ScanFiles, FileThatCannotBeOpenedCannotBeRead) {
    std::wstring path = Write(L"locked.png", AllKinds());
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Scan(path));
    CloseHandle(lock);
    EXPECT_EQ(sink.notices, Lines{L"Cannot read file"});
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_EQ(sink.report.Text(), L"file:" + path);
}

TEST_F(ScanFiles, SeveralNamesAreScannedInTurn) {
    std::wstring first = Write(L"first.png", Png({Chunk("tEXt", TextData("One", "1"))}));
    std::wstring second = Write(L"second.png", Png({Chunk("zTXt", ZtxtData("Two", "2"))}));
    std::wstring missing = folder + L"\\gone.png";
    EXPECT_FALSE(ScanNames({first, missing, second}));
    std::wstring upToMissing = L"file:" + first + L"\r\ntEXt : One 1\r\nfile:" + missing;
    EXPECT_EQ(sink.report.Text(), upToMissing + L"\r\nfile:" + second + L"\r\nzTXt: Two 2");
    EXPECT_EQ(sink.calls, (Lines{L"start file:" + first, L"start+ file:" + missing, L"flush",
                                 L"notice File|Cannot allocate memory|" + missing, L"start+ file:" + second,
                                 L"flush"}));
    EXPECT_EQ(sink.shownWithNotice, Lines{upToMissing});
}

TEST_F(ScanFiles, ANameWithALineFeedIsOneName) {
    std::wstring first = Write(L"first.png", Png({Chunk("tEXt", TextData("One", "1"))}));
    std::wstring second = Write(L"second.png", Png({Chunk("tEXt", TextData("Two", "2"))}));
    EXPECT_FALSE(Scan(first + L"\n" + second));
    EXPECT_EQ(sink.report.Text(), L"file:" + first + L"\n" + second);
    EXPECT_EQ(sink.notices, Lines{L"Cannot allocate memory"});
}

TEST_F(ScanFiles, LaterScansReplaceTheReport) {
    std::wstring first = Write(L"first.png", Png({Chunk("tEXt", TextData("One", "1"))}));
    EXPECT_TRUE(Scan(first));
    EXPECT_TRUE(Scan(first));
    EXPECT_EQ(sink.report.Text(), L"file:" + first + L"\r\ntEXt : One 1");
}

// ---- PngSuite, compared with the independent readings of PEERS.md ----

static std::wstring Testdata(const std::wstring& name) { return TestdataPath(L"pngsuite\\" + name); }

static std::wstring ReadUtf8File(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::wstring();
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD done = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(file);
    int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(units), L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], units);
    return text;
}

static Lines SplitLines(const std::wstring& text) {
    Lines lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L'\n', start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 1;
    }
}

// The lines of the first ``` block after `marker` in a file's section.
static Lines CodeBlockAfter(const std::wstring& section, const std::wstring& marker) {
    size_t at = section.find(marker);
    if (at == std::wstring::npos) return Lines();
    size_t open = section.find(L"```\n", at);
    size_t close = open == std::wstring::npos ? open : section.find(L"\n```", open + 4);
    if (close == std::wstring::npos) return Lines();
    return SplitLines(section.substr(open + 4, close - open - 4));
}

static std::map<std::wstring, std::wstring> PeerSections() {
    std::map<std::wstring, std::wstring> sections;
    Lines lines = SplitLines(ReadUtf8File(Testdata(L"PEERS.md")));
    std::wstring name;
    for (const std::wstring& line : lines) {
        if (line.compare(0, 3, L"## ") == 0) name = line.substr(3);
        else if (!name.empty()) sections[name] += line + L"\n";
    }
    return sections;
}

static Lines SplitFields(const std::wstring& line, const std::wstring& separator) {
    Lines fields;
    size_t start = 0;
    for (;;) {
        size_t end = line.find(separator, start);
        fields.push_back(line.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return fields;
        start = end + separator.size();
    }
}

TEST_F(ScanFiles, PngSuiteItxtFilesMatchTheirReadings) {
    std::map<std::wstring, std::wstring> peers = PeerSections();
    for (const wchar_t* name : {L"cten0g04.png", L"ctfn0g04.png", L"ctgn0g04.png", L"cthn0g04.png", L"ctjn0g04.png"}) {
        // keyword | language tag | translated keyword | text
        Lines readings = CodeBlockAfter(peers[name], L"Pillow");
        ASSERT_EQ(readings.size(), 6u) << name;
        Lines expected;
        for (const std::wstring& reading : readings) {
            Lines f = SplitFields(reading, L" | ");
            ASSERT_EQ(f.size(), 4u) << reading;
            expected.push_back(L"iTXt : (" + f[1] + L")" + f[0] + L"(" + f[2] + L") " + f[3]);
        }
        RecordingSink fileSink;
        EXPECT_TRUE(ScanTextChunks(Testdata(name), true, &fileSink, work.data()));
        EXPECT_EQ(fileSink.lines, expected) << name;
    }
}

TEST_F(ScanFiles, PngSuiteTextAndZtxtFilesMatchTheirReadings) {
    std::map<std::wstring, std::wstring> peers = PeerSections();
    for (const wchar_t* name : {L"ct1n0g04.png", L"ctzn0g04.png"}) {
        // pngcheck: a keyword line ends in ':'; "(compressed zTXt text)" under it marks a zTXt chunk.
        Lines check = CodeBlockAfter(peers[name], L"pngcheck");
        std::map<std::wstring, bool> compressed;
        for (size_t i = 1; i + 1 < check.size(); i++) {
            if (!check[i].empty() && check[i][0] != L' ' && check[i].back() == L':' && check[i] != L"(compressed zTXt text)")
                compressed[check[i].substr(0, check[i].size() - 1)] = check[i + 1] == L"(compressed zTXt text)";
        }
        // exiftool: "[PNG]   Tag   : value", a line feed shown as '.'; the image header tags come first.
        Lines expected;
        for (const std::wstring& line : CodeBlockAfter(peers[name], L"exiftool")) {
            size_t colon = line.find(L" : ");
            ASSERT_NE(colon, std::wstring::npos) << line;
            std::wstring tag = line.substr(5, colon - 5);
            tag = tag.substr(tag.find_first_not_of(L' '));
            tag = tag.substr(0, tag.find_last_not_of(L' ') + 1);
            if (!compressed.count(tag)) continue;
            expected.push_back((compressed[tag] ? L"zTXt: " : L"tEXt : ") + tag + L" " + line.substr(colon + 3));
        }
        ASSERT_EQ(expected.size(), 6u) << name;
        RecordingSink fileSink;
        EXPECT_TRUE(ScanTextChunks(Testdata(name), true, &fileSink, work.data()));
        Lines shown = fileSink.lines;
        for (std::wstring& line : shown) {
            for (wchar_t& c : line) if (c == L'\n') c = L'.';
        }
        EXPECT_EQ(shown, expected) << name;
    }
}

TEST_F(ScanFiles, PngSuiteFilesWithoutTextGiveTheFileLineOnly) {
    for (const wchar_t* name : {L"ct0n0g04.png", L"basn0g01.png", L"basn6a08.png", L"xc1n0g08.png", L"xc9n2c08.png",
                                L"xcrn0g04.png", L"xcsn0g01.png", L"xd0n2c08.png", L"xd3n2c08.png", L"xd9n2c08.png",
                                L"xdtn0g01.png", L"xhdn0g08.png", L"xlfn0g04.png", L"xs1n0g01.png", L"xs2n0g01.png",
                                L"xs4n0g01.png", L"xs7n0g01.png", L"z00n2c08.png", L"z03n2c08.png", L"z06n2c08.png",
                                L"z09n2c08.png"}) {
        RecordingSink fileSink;
        EXPECT_TRUE(ScanTextChunks(Testdata(name), true, &fileSink, work.data())) << name;
        EXPECT_EQ(fileSink.report.Text(), L"file:" + Testdata(name));
        EXPECT_TRUE(fileSink.notices.empty()) << name;
    }
}

// Stands for a report that outgrows memory, or a line longer than a string can hold (a text of over
// 2^30 bytes without a zero): the scan of that file ends with a notice, the program does not.
template <typename Failure>
class ExhaustedSink : public RecordingSink {
public:
    void AppendLine(const std::wstring& line) override {
        if (lines.size() == 1) throw Failure("report too large");
        RecordingSink::AppendLine(line);
    }
};

struct OutOfMemory : std::bad_alloc {
    explicit OutOfMemory(const char*) {}
};

template <typename Sink>
static void ExpectOnlyTheFirstFileCut(Sink& sink, const std::wstring& first, const std::wstring& second,
                                      uint8_t* work) {
    EXPECT_FALSE(ScanTextChunks(first, true, &sink, work)) << "a cut report is never passed off as whole";
    EXPECT_EQ(sink.notices, (std::vector<std::wstring>{L"Cannot allocate memory"}));
    EXPECT_EQ(sink.shownWithNotice.back(), L"file:" + first + L"\r\ntEXt : One 1");
    EXPECT_TRUE(ScanTextChunks(second, false, &sink, work));
    sink.Flush();
    EXPECT_EQ(sink.report.Text(), L"file:" + first + L"\r\ntEXt : One 1\r\nfile:" + second);
    EXPECT_EQ(sink.shown, sink.report.Text());
}

TEST_F(ScanFiles, ReportLargerThanMemoryEndsThatFileOnlyWithANotice) {
    std::wstring first = Write(L"first.png", Png({Chunk("tEXt", TextData("One", "1")), Chunk("tEXt", TextData("Two", "2"))}));
    std::wstring second = Write(L"second.png", Png({}));
    ExhaustedSink<OutOfMemory> exhausted;
    ExpectOnlyTheFirstFileCut(exhausted, first, second, work.data());
    ExhaustedSink<std::length_error> tooLong;
    ExpectOnlyTheFirstFileCut(tooLong, first, second, work.data());
}

// ---- Loaders ----

// Serves bytes from memory; its reading can fail part-way (readFailed rises), as a mapped view of a
// file that another process truncates would.
class MemoryLoader : public FileLoader {
public:
    explicit MemoryLoader(std::string content) : bytes(std::move(content)) {}
    const wchar_t* Load(const std::wstring&, int64_t, LoadedFile* file) override {
        if (throwOnLoad) throw std::bad_alloc();
        if (notice) return notice;
        loads++;
        file->view = ScanBlock::Whole(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &failed);
        return nullptr;
    }
    void Release(LoadedFile* file) override {
        releases++;
        *file = LoadedFile();
    }

    std::string bytes;
    const wchar_t* notice = nullptr;
    bool throwOnLoad = false;
    volatile long failed = 0;
    int loads = 0, releases = 0;
};

// Raises a loader's read failure when it has received a number of records, as another process
// cutting the file short while the search runs would; answers stop after stopAfter records.
class FailingReadSink : public RecordingSink {
public:
    FailingReadSink(volatile long* failed, int failAfter) : failed_(failed), failAfter_(failAfter) {}
    bool AppendReportLine(const TextChunkRecord& record) override {
        RecordingSink::AppendReportLine(record);
        if (static_cast<int>(lines.size()) == failAfter_) *failed_ = 1;
        return static_cast<int>(lines.size()) != stopAfter;
    }
    int stopAfter = -1;

private:
    volatile long* failed_;
    int failAfter_;
};

TEST_F(ScanFiles, ALoaderServesTheBytesAndGetsThemBack) {
    MemoryLoader loader(AllKinds());
    EXPECT_TRUE(ScanTextChunks(L"memory.png", true, &sink, work.data(), &loader));
    EXPECT_EQ(sink.report.Text(), L"file:memory.png\r\ntEXt : Title Hello\r\nzTXt: Comment Hi\r\niTXt : (en)Title(Titel) Hallo");
    EXPECT_EQ(loader.loads, 1);
    EXPECT_EQ(loader.releases, 1);
}

TEST_F(ScanFiles, ALoadersNoticeIsShownAndNothingIsReleased) {
    MemoryLoader loader(AllKinds());
    loader.notice = L"Wrong size!";
    EXPECT_FALSE(ScanTextChunks(L"memory.png", true, &sink, work.data(), &loader));
    EXPECT_EQ(sink.calls, (Lines{L"start file:memory.png", L"flush", L"notice File|Wrong size!|memory.png"}));
    EXPECT_EQ(loader.releases, 0);
}

TEST_F(ScanFiles, AReadThatFailsPartWayKeepsTheRecordsBeforeItAndTheNextNameIsScanned) {
    const Lines all{L"tEXt : Title Hello", L"zTXt: Comment Hi", L"iTXt : (en)Title(Titel) Hallo"};
    // Failing before the first, second or third record, or after the last (the check after the search).
    for (int failAfter = 0; failAfter <= 3; failAfter++) {
        MemoryLoader failing(AllKinds());
        FailingReadSink one(&failing.failed, failAfter);
        if (failAfter == 0) failing.failed = 1;
        EXPECT_FALSE(ScanTextChunks(L"truncated.png", true, &one, work.data(), &failing)) << failAfter;
        EXPECT_EQ(one.lines, Lines(all.begin(), all.begin() + failAfter)) << failAfter;
        EXPECT_EQ(one.notices, Lines{L"Cannot read file"}) << failAfter;
        EXPECT_EQ(one.shownWithNotice.back(), one.report.Text()) << "the records before the failure are shown with it";
        EXPECT_EQ(failing.releases, 1) << failAfter;
        MemoryLoader good(AllKinds());
        EXPECT_TRUE(ScanTextChunks(L"next.png", false, &one, work.data(), &good));
        EXPECT_EQ(one.lines.size(), static_cast<size_t>(failAfter) + 3) << failAfter;
    }
}

TEST_F(ScanFiles, TheSinksAnswerStopsTheSearchAndTheFileCountsAsSearched) {
    const Lines all{L"tEXt : Title Hello", L"zTXt: Comment Hi", L"iTXt : (en)Title(Titel) Hallo"};
    for (int stopAfter = 1; stopAfter <= 3; stopAfter++) {
        MemoryLoader loader(AllKinds());
        FailingReadSink stopping(&loader.failed, -1);
        stopping.stopAfter = stopAfter;
        EXPECT_TRUE(ScanTextChunks(L"stopped.png", true, &stopping, work.data(), &loader)) << stopAfter;
        EXPECT_EQ(stopping.lines, Lines(all.begin(), all.begin() + stopAfter)) << stopAfter;
        EXPECT_TRUE(stopping.notices.empty()) << stopAfter;
        EXPECT_EQ(loader.releases, 1) << stopAfter;
    }
}

// ---- One way of failing: memory runs out at any call of a file's scan ----

// Throws std::bad_alloc at its call number failAt (StartReport, AppendReportLine, Notice and Flush
// counted together), once.
class FailingSink : public RecordingSink {
public:
    explicit FailingSink(int failAt) : failAt_(failAt) {}
    void StartReport(const std::wstring& fileName, bool startsReport) override {
        Count();
        RecordingSink::StartReport(fileName, startsReport);
    }
    bool AppendReportLine(const TextChunkRecord& record) override {
        Count();
        return RecordingSink::AppendReportLine(record);
    }
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override {
        Count();
        RecordingSink::Notice(title, message, fileName);
    }
    void Flush() override {
        Count();
        RecordingSink::Flush();
    }
    bool failed = false;

private:
    void Count() {
        if (calls_++ == failAt_) {
            failed = true;
            throw std::bad_alloc();
        }
    }
    int failAt_;
    int calls_ = 0;
};

TEST_F(ScanFiles, MemoryRunningOutAtAnySinkCallEndsThatFileOnly) {
    // A loaded file (StartReport, three records) and one with a notice (StartReport, Flush, Notice).
    for (const wchar_t* notice : {static_cast<const wchar_t*>(nullptr), L"Cannot read file"}) {
        for (int failAt = 0;; failAt++) {
            FailingSink failing(failAt);
            MemoryLoader first(AllKinds());
            first.notice = notice;
            bool loaded = true;
            EXPECT_NO_THROW(loaded = ScanTextChunks(L"first.png", true, &failing, work.data(), &first));
            if (!failing.failed) {
                EXPECT_EQ(failAt, notice ? 3 : 4) << "every call was tried";
                break;
            }
            EXPECT_EQ(first.releases, first.loads) << failAt;
            EXPECT_FALSE(loaded) << failAt << ": a file cut short by memory is never passed off as whole";
            if (!notice) {
                EXPECT_EQ(failing.notices, Lines{L"Cannot allocate memory"}) << failAt;
            }
            MemoryLoader second(Png({Chunk("tEXt", TextData("One", "1"))}));
            EXPECT_TRUE(ScanTextChunks(L"second.png", false, &failing, work.data(), &second)) << failAt;
            std::wstring text = failing.report.Text();
            std::wstring end = L"file:second.png\r\ntEXt : One 1";
            ASSERT_GE(text.size(), end.size());
            EXPECT_EQ(text.substr(text.size() - end.size()), end) << failAt;
        }
    }
}

TEST_F(ScanFiles, ALoaderOutOfMemoryEndsThatFileOnly) {
    MemoryLoader loader(AllKinds());
    loader.throwOnLoad = true;
    bool loaded = true;
    EXPECT_NO_THROW(loaded = ScanTextChunks(L"first.png", true, &sink, work.data(), &loader));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(sink.report.Text(), L"file:first.png");
    EXPECT_EQ(sink.notices, Lines{L"Cannot allocate memory"});
}
