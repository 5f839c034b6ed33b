// report_text_box_test.cpp: the window's report sink on a real text box, and scans through it.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <string>
#include <thread>
#include <vector>
#include "app/window/program.h"
#include "app/window/dropped_names.h"
#include "app/window/report_fill.h"
#include "app/window/report_scan.h"
#include "app/window/report_text_box.h"
#include "report/file_loader.h"
#include "runtime/files.h"
#include "tests/failing_allocator.h"
#include "tests/app/driver/program_driver.h"
#include "tests/app/test_files.h"
#include "tests/report/recording_sink.h"
#include "toolkit/events.h"
#include "toolkit/gadget_record.h"
#include "toolkit/numbered_windows.h"
#include "toolkit/gadget_library.h"
#include "toolkit/text_box.h"
#include "toolkit/toolkit_test_seams.h"

namespace {

class TextBoxReportTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        static bool started = false;
        if (!started) {
            InitEventLibrary();
            InitWindowLibrary();
            InitGadgetLibrary();
            InitFileLibrary();
            started = true;
        }
    }
    void SetUp() override {
        ASSERT_NE(OpenNumberedWindow(0, 0, 0, 640, 480, L"report test", HiddenWindowFlag), 0);
        box_ = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 640, 460, L"", 0x200007));
        ASSERT_NE(box_, nullptr);
    }
    void TearDown() override {
        ReleaseWindow(0);
        for (int i = 0; i < 1000 && WaitEventTimeout(0) != 0; ++i) {
        }
    }
    HWND box_ = nullptr;
};

// A second hand that reads the box while a notice of this process is up, then confirms the notice.
std::thread ConfirmNoticeLater(HWND box, std::wstring* seenReport, std::wstring* seenMessage) {
    return std::thread([seenReport, seenMessage, box] {
        HWND notice = nullptr;
        for (int i = 0; i < 500 && !notice; ++i) {
            Sleep(20);
            notice = FindProcessWindow(GetCurrentProcessId(), NoticeTitle);
        }
        if (!notice) return;
        *seenReport = ReadWindowText(box);
        *seenMessage = NoticeMessage(notice);
        ConfirmNotice(notice);
    });
}

// A text handler that fails the way a write of a very large report can.
void FailingSetText(GadgetRecord*, const wchar_t*) { throw std::bad_alloc(); }

TEST_F(TextBoxReportTest, AWriteThatThrowsLeavesTheBoxAsItWasAndNothingEscapes) {
    GadgetKind* kind = const_cast<GadgetKind*>(TextBoxKind());
    ASSERT_NE(kind, nullptr);
    kind->setText = FailingSetText;
    {
        TextBoxReport report(0);
        report.StartReport(L"a.png", true);
        report.AppendReportLine(TextRecord(L"Title", L"Hello"));
        EXPECT_NO_THROW(report.Flush());
        EXPECT_EQ(report.Writes(), 0);
    } // the destructor writes once more, and must not throw either
    kind->setText = nullptr;
    EXPECT_EQ(ReadGadgetText(0), L"");
    TextBoxReport report(0);
    report.StartReport(L"b.png", true);
    report.Flush();
    EXPECT_EQ(ReadGadgetText(0), L"file:b.png") << "the next write goes through";
}

TEST_F(TextBoxReportTest, LinesReachTheBoxOnlyWhenFlushedAndThenAllAtOnce) {
    TextBoxReport report(0);
    report.StartReport(L"a.png", true);
    std::wstring expected = L"file:a.png";
    for (int i = 0; i < 2000; ++i) {
        report.AppendReportLine(TextRecord(L"Key" + std::to_wstring(i), L"value"));
        expected += L"\r\ntEXt : Key" + std::to_wstring(i) + L" value";
    }
    EXPECT_EQ(ReadGadgetText(0), L"") << "nothing is shown before the scan lets the user look";
    EXPECT_EQ(report.Writes(), 0);
    report.Flush();
    EXPECT_EQ(report.Writes(), 1);
    EXPECT_EQ(ReadGadgetText(0), expected);
    report.Flush();
    EXPECT_EQ(report.Writes(), 1) << "nothing new, nothing written";
}

TEST_F(TextBoxReportTest, ALaterNameFollowsTheLinesBeforeIt) {
    ReplaceGadgetText(0, L"an older report");
    {
        TextBoxReport report(0);
        report.StartReport(L"a", true);
        report.AppendReportLine(TextRecord(L"A", L"1"));
        report.StartReport(L"b", false);
        report.AppendReportLine(TextRecord(L"B", L"2"));
        // The sink shows what it holds when it goes, also without a last Flush.
    }
    EXPECT_EQ(ReadGadgetText(0), L"file:a\r\ntEXt : A 1\r\nfile:b\r\ntEXt : B 2");
}

TEST_F(TextBoxReportTest, AReportThatStartsByAppendingContinuesTheBoxText) {
    ReplaceGadgetText(0, L"file:x");
    TextBoxReport report(0);
    report.AppendReportLine(TextRecord(L"X", L"y"));
    report.Flush();
    EXPECT_EQ(ReadGadgetText(0), L"file:x\r\ntEXt : X y");

    ReplaceGadgetText(0, L"");
    TextBoxReport fresh(0);
    fresh.AppendReportLine(TextRecord(L"first", L"line"));
    fresh.Flush();
    EXPECT_EQ(ReadGadgetText(0), L"tEXt : first line") << "no line break in front of the first line";
}

TEST_F(TextBoxReportTest, TheReportIsShownBeforeANoticeComesUp) {
    TextBoxReport report(0);
    report.StartReport(L"missing", true);
    std::wstring seenReport = L"<no notice>", seenMessage;
    std::thread user = ConfirmNoticeLater(box_, &seenReport, &seenMessage);
    report.Notice(L"File", L"Cannot allocate memory", L"missing");
    user.join();
    EXPECT_EQ(seenReport, L"file:missing");
    EXPECT_EQ(seenMessage, L"Cannot allocate memory");
    EXPECT_EQ(report.Writes(), 1);
}

// A gathered report shown a piece at a time: the box ends as one write of the whole text leaves it.
TEST_F(TextBoxReportTest, AReportOfManyPiecesEndsAsOneWholeWriteLeavesIt) {
    GatheredReport report;
    report.StartReport(L"a.png", true);
    for (int i = 0; i < 20000; ++i) report.AppendReportLine(TextRecord(L"Key" + std::to_wstring(i), L"value"));
    report.StartReport(L"b.png", false);
    report.AppendReportLine(TextRecord(L"Last", L"line"));
    const std::wstring expected = report.Text();
    ASSERT_GT(expected.size(), 4u * 65536) << "more than the first piece and the box's first limit";
    ReplaceGadgetText(0, L"an older report");
    ReportFill fill(0);
    fill.Start(std::move(report));
    fill.ShowNextPiece();
    const std::wstring first = ReadGadgetText(0);
    EXPECT_GT(first.size(), 0u);
    EXPECT_LT(first.size(), expected.size()) << "the first piece is not the whole report";
    EXPECT_EQ(expected.compare(0, first.size(), first), 0) << "the first piece replaces the older report";
    EXPECT_EQ(first.back(), L'\n') << "a piece ends at a line break";
    EXPECT_TRUE(fill.Pending());
    fill.ShowAll();
    EXPECT_FALSE(fill.Pending());
    EXPECT_TRUE(ReadGadgetText(0) == expected) << "the whole report, byte for byte";
    DWORD start = 1, end = 1;
    SendMessageW(box_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 0u);
    EXPECT_EQ(SendMessageW(box_, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the view at the report's start";
}

// A notice comes up once the text before it is shown, and not before.
TEST_F(TextBoxReportTest, AFillShowsANoticeWhenTheTextBeforeItIsShown) {
    GatheredReport report;
    report.StartReport(L"missing.png", true);
    report.Notice(L"File", L"Cannot allocate memory", L"missing.png");
    report.StartReport(L"b.png", false);
    ReportFill fill(0);
    fill.Start(std::move(report));
    std::wstring seenReport = L"<no notice>", seenMessage;
    std::thread user = ConfirmNoticeLater(box_, &seenReport, &seenMessage);
    fill.ShowAll();
    user.join();
    EXPECT_EQ(seenReport, L"file:missing.png");
    EXPECT_EQ(ReadGadgetText(0), L"file:missing.png\r\nfile:b.png");
}

// No memory for a piece: the fill ends there and says so; the box keeps what it shows.
TEST_F(TextBoxReportTest, APieceWithoutMemoryEndsTheFillWithANotice) {
    GatheredReport report;
    report.StartReport(L"a.png", true);
    for (int i = 0; i < 20000; ++i) report.AppendReportLine(TextRecord(L"Key", L"line " + std::to_wstring(i)));
    ReportFill fill(0);
    fill.Start(std::move(report));
    fill.ShowNextPiece();
    ASSERT_TRUE(fill.Pending());
    const std::wstring head = ReadGadgetText(0);
    std::wstring seenReport = L"<no notice>", seenMessage;
    std::thread user = ConfirmNoticeLater(box_, &seenReport, &seenMessage);
    FailAllocationAfter(0);
    fill.ShowNextPiece();
    EXPECT_TRUE(StopFailingAllocations());
    user.join();
    EXPECT_EQ(seenMessage, L"Cannot allocate memory");
    EXPECT_FALSE(fill.Pending());
    EXPECT_TRUE(ReadGadgetText(0) == head);
}

// After the head, the report goes in from its end backwards, each piece just behind the head: the
// view stays at the report's start and a notice still waits for all the text before it.
TEST_F(TextBoxReportTest, TheRestGoesInBehindTheHeadFromTheEndAndANoticeWaitsForTheTextBeforeIt) {
    GatheredReport report;
    report.StartReport(L"a.png", true);
    for (int i = 0; i < 20000; ++i) report.AppendReportLine(TextRecord(L"Key" + std::to_wstring(i), L"value"));
    const std::wstring beforeNotice = report.Text();
    report.Notice(L"File", L"Cannot allocate memory", L"b.png");
    report.StartReport(L"b.png", false);
    for (int i = 0; i < 20000; ++i) report.AppendReportLine(TextRecord(L"Other" + std::to_wstring(i), L"value"));
    const std::wstring expected = report.Text();
    ReportFill fill(0);
    fill.Start(std::move(report));
    fill.ShowNextPiece();
    const std::wstring head = ReadGadgetText(0);
    fill.ShowNextPiece();
    const std::wstring two = ReadGadgetText(0);
    ASSERT_GT(two.size(), head.size());
    const size_t tail = two.size() - head.size();
    EXPECT_EQ(two.compare(0, head.size(), head), 0) << "the head stays first";
    EXPECT_EQ(two.compare(head.size(), tail, beforeNotice, beforeNotice.size() - tail, tail), 0)
        << "the next piece is the end of the text before the notice";
    EXPECT_EQ(SendMessageW(box_, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the view stays at the report's start";
    std::wstring seenReport = L"<no notice>", seenMessage;
    std::thread user = ConfirmNoticeLater(box_, &seenReport, &seenMessage);
    fill.ShowAll();
    user.join();
    EXPECT_TRUE(seenReport == beforeNotice) << "the notice comes up when all the text before it is shown";
    EXPECT_EQ(seenMessage, L"Cannot allocate memory");
    EXPECT_TRUE(ReadGadgetText(0) == expected) << "the whole report, byte for byte";
}

// Scans of real files through the program's own path: names joined by line feeds, the work buffer.
class ScanIntoReportTest : public TextBoxReportTest {
protected:
    void TearDown() override {
        ReleaseWorkBuffer();
        TextBoxReportTest::TearDown();
    }
    static std::wstring Compressed() {
        static std::wstring path =
            WriteScratchFile(L"compressed.png", PngWith({TextChunk("Title", "Hello"), CompressedTextChunk("Comment", "Hi there")}));
        return path;
    }
    static std::wstring Plain() {
        static std::wstring path = WriteScratchFile(L"plain.png", PngWith({TextChunk("Software", "paint")}));
        return path;
    }
};

TEST_F(ScanIntoReportTest, SeveralNamesAreScannedInTurnIntoOneReport) {
    ASSERT_NE(AllocateWorkBuffer(), nullptr);
    ReplaceGadgetText(0, L"the previous report");
    ScanIntoReport({Compressed(), Plain()});
    EXPECT_EQ(ReadGadgetText(0), L"file:" + Compressed() + L"\r\ntEXt : Title Hello\r\nzTXt: Comment Hi there\r\nfile:" +
                                     Plain() + L"\r\ntEXt : Software paint");
    // The next scan replaces the whole report.
    ScanIntoReport({Plain()});
    EXPECT_EQ(ReadGadgetText(0), L"file:" + Plain() + L"\r\ntEXt : Software paint");
}

TEST_F(ScanIntoReportTest, WithoutAWorkBufferCompressedTextIsEmpty) {
    ReleaseWorkBuffer();
    ASSERT_EQ(WorkBuffer(), nullptr);
    ScanIntoReport({Compressed()});
    EXPECT_EQ(ReadGadgetText(0), L"file:" + Compressed() + L"\r\ntEXt : Title Hello\r\nzTXt: Comment ");
}

TEST_F(ScanIntoReportTest, AnEmptyNameLeavesTheReportAlone) {
    ReplaceGadgetText(0, L"kept");
    ScanIntoReport({});
    ScanIntoReport({L""});
    ScanIntoReport(SplitDroppedNames(L"\n\n"));
    EXPECT_EQ(ReadGadgetText(0), L"kept");
}

TEST_F(ScanIntoReportTest, EmptyNamesInADropAreSkippedAndTheFirstRealNameReplaces) {
    ASSERT_NE(AllocateWorkBuffer(), nullptr);
    ReplaceGadgetText(0, L"the previous report");
    ScanIntoReport(SplitDroppedNames(L"\n" + Plain() + L"\n\n"));
    EXPECT_EQ(ReadGadgetText(0), L"file:" + Plain() + L"\r\ntEXt : Software paint");
    ReplaceGadgetText(0, L"the previous report");
    ScanIntoReport({L"", Plain(), L""});
    EXPECT_EQ(ReadGadgetText(0), L"file:" + Plain() + L"\r\ntEXt : Software paint");
}

// The window's scan on its own thread gives what the scan in place gives; one asked to stop gives
// no report, however far it got; a scan can follow one taken.
TEST_F(ScanIntoReportTest, AScanOnItsOwnThreadGivesTheSameReportOrNoneWhenStopped) {
    ASSERT_NE(AllocateWorkBuffer(), nullptr);
    const std::vector<std::wstring> names = {Compressed(), Plain(), ScratchFolder() + L"\\missing.png"};
    GatheredReport inPlace;
    ASSERT_TRUE(GatherReport(names, &inPlace));
    ReportScan scan;
    for (int round = 0; round < 2; ++round) {
        scan.Start(names);
        EXPECT_TRUE(scan.Running());
        ASSERT_TRUE(scan.Wait(60000));
        GatheredReport report;
        EXPECT_TRUE(scan.Take(&report));
        EXPECT_FALSE(scan.Running());
        EXPECT_EQ(report.Text(), inPlace.Text());
        ASSERT_EQ(report.Notices().size(), 1u);
        EXPECT_EQ(report.Notices()[0].shownLength, inPlace.Notices()[0].shownLength);
    }
    scan.Start(names);
    scan.AskToStop();
    ASSERT_TRUE(scan.Wait(60000));
    GatheredReport stopped;
    EXPECT_FALSE(scan.Take(&stopped));
    scan.Start({});
    ASSERT_TRUE(scan.Wait(60000));
    EXPECT_FALSE(scan.Take(&stopped)) << "no name at all";
}

// Once told to stop, the window's load path reads no further piece of a file.
TEST_F(ScanIntoReportTest, TheLoadPathToldToStopReadsNoFurther) {
    std::atomic<bool> stop{false};
    WindowFileLoader loader(&stop);
    LoadedFile file;
    ASSERT_EQ(loader.Load(Plain(), -1, &file), nullptr);
    EXPECT_EQ(file.view.n, static_cast<size_t>(QueryFileSize(Plain().c_str())));
    loader.Release(&file);
    stop = true;
    EXPECT_STREQ(loader.Load(Plain(), -1, &file), L"Cannot read file");
    EXPECT_EQ(file.owner, nullptr);
}

} // namespace
