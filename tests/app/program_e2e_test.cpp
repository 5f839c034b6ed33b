// program_e2e_test.cpp: the real pngtext.exe under Wine, driven from this process as a user would.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <string>
#include <vector>
#include "tests/app/driver/program_driver.h"
#include "tests/app/test_files.h"
#include "tests/report/scan_file_fixture.h"

namespace {

const DWORD StartTimeout = 20000;
const DWORD ReportTimeout = 10000;
const DWORD ExitTimeout = 10000;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring Lines(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& line : lines) text += (text.empty() ? L"" : L"\r\n") + line;
    return text;
}

// Files every test may use, written once.
struct Samples {
    std::wstring allKinds, emptyText, second;
    std::vector<std::wstring> allKindsLines, secondLines;
};

const Samples& TheSamples() {
    static Samples samples = [] {
        Samples s;
        s.allKinds = WriteScratchFile(L"all kinds.png",
                                      PngWith({TextChunk("Title", "Hello"), CompressedTextChunk("Comment", "Hi there"),
                                               InternationalTextChunk("Author", "en", "Autor", "Zo\xC3\xAB")}));
        s.allKindsLines = {L"tEXt : Title Hello", L"zTXt: Comment Hi there", L"iTXt : (en)Author(Autor) Zo\u00EB"};
        s.emptyText = WriteScratchFile(L"empty text.png", PngWith({PngChunk("tEXt", {}), TextChunk("After", "yes")}));
        s.second = WriteScratchFile(L"second.png", PngWith({TextChunk("Software", "a drawing program")}));
        s.secondLines = {L"tEXt : Software a drawing program"};
        return s;
    }();
    return samples;
}

// Makes window the foreground window and waits until the system agrees.
bool BringToFront(HWND window) {
    const DWORD start = GetTickCount();
    do {
        SetForegroundWindow(window);
        Sleep(50);
        if (GetForegroundWindow() == window) return true;
    } while (GetTickCount() - start < 3000);
    return false;
}

// A small visible window of this process, in the top-left corner, clear of the program's centred window.
class ForeignWindow {
public:
    ForeignWindow()
        : window_(CreateWindowExW(WS_EX_TOPMOST, L"Static", L"another program", WS_POPUP | WS_VISIBLE | WS_BORDER, 0,
                                  0, 120, 60, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)) {}
    ~ForeignWindow() {
        if (window_) DestroyWindow(window_);
    }
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;
    HWND Handle() const { return window_; }
    // Dispatches this thread's messages for the given time, as a running program would.
    void TakeMessages(DWORD milliseconds) const {
        const DWORD start = GetTickCount();
        do {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            Sleep(10);
        } while (GetTickCount() - start < milliseconds);
    }

private:
    HWND window_;
};

class ProgramTest : public testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    void TearDown() override {
        // Whatever happened, no key stays held and no program is left running.
        PressKey(VK_ESCAPE, false);
        program_.Kill();
    }

    // Starts the program and waits until its window is up.
    void Start(const std::wstring& parameters) {
        ASSERT_TRUE(program_.Start(PROGRAM_PATH, parameters)) << "cannot start " << Utf8(PROGRAM_PATH);
        ASSERT_NE(program_.WaitForWindow(StartTimeout), nullptr) << "no window \"PNG text chunks\"";
        ASSERT_NE(program_.WaitForTextBox(StartTimeout), nullptr) << "no text box";
    }

    // Starts the program on a file and waits until it waits for input; the report it then shows.
    void StartIdleOn(const std::wstring& file, std::wstring* report) {
        Start(Quoted(file));
        ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
        *report = program_.ReadReport();
    }

    // Closes the window as the close box does (WM_CLOSE) and expects a clean end.
    void CloseAndExpectExitCodeZero() {
        ASSERT_TRUE(program_.Running());
        PostMessageW(program_.Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(program_.WaitForExit(ExitTimeout), 0u);
    }

    POINT TextBoxCentre() {
        RECT client;
        GetClientRect(program_.TextBox(), &client);
        return ClientPointOnScreen(program_.TextBox(), client.right / 2, client.bottom / 2);
    }

    // The same drag machinery, aimed at the text box with a file list, is taken: so a refusal seen
    // before came from the program and not from a drag that never happened.
    void ExpectFileDropStillWorks() {
        const Samples& s = TheSamples();
        DragOutcome drag = DragFilesTo({s.allKinds}, TextBoxCentre());
        EXPECT_EQ(drag.effect, (DWORD)DROPEFFECT_COPY);
        std::vector<std::wstring> lines = {L"file:" + s.allKinds};
        lines.insert(lines.end(), s.allKindsLines.begin(), s.allKindsLines.end());
        EXPECT_EQ(Utf8(program_.WaitForReport(Lines(lines), ReportTimeout)), Utf8(Lines(lines)));
    }

    ProgramUnderTest program_;
};

TEST_F(ProgramTest, WithoutParametersTheWindowWaitsWithAnEmptyReport) {
    Start(L"");
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    EXPECT_EQ(program_.ReadReport(), L"");
    EXPECT_EQ(FindProcessWindow(program_.ProcessId(), NoticeTitle), nullptr);

    HWND window = program_.Window();
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & 0x00FF0000, 0x00CA0000) << std::hex << style << ": caption, system menu, minimise box only";
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_FALSE(style & (WS_MINIMIZE | WS_MAXIMIZE));
    RECT frame;
    GetWindowRect(window, &frame);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR((frame.left + frame.right) / 2, screenWidth / 2, 2) << "centred across";
    EXPECT_NEAR((frame.top + frame.bottom) / 2, screenHeight / 2, 2) << "centred down";

    HWND box = program_.TextBox();
    RECT boxRect;
    GetWindowRect(box, &boxRect);
    POINT topLeft = {boxRect.left, boxRect.top};
    ScreenToClient(window, &topLeft);
    EXPECT_EQ(topLeft.x, 0);
    EXPECT_EQ(topLeft.y, 0);
    EXPECT_EQ(boxRect.right - boxRect.left, 640);
    EXPECT_EQ(boxRect.bottom - boxRect.top, 460);
    // Multi-line, vertical scroll bar, no wrapping, left-aligned (no ES_CENTER / ES_RIGHT).
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(box, GWL_STYLE)), 0x50230084u) << std::hex
        << GetWindowLongW(box, GWL_STYLE);
    EXPECT_TRUE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);

    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, WithAPngTheReportIsThereBeforeAnyInput) {
    const Samples& s = TheSamples();
    ASSERT_FALSE(s.allKinds.empty());
    Start(Quoted(s.allKinds));
    // Idle means the program waits in its loop: the scan has run, and no input was given.
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    std::vector<std::wstring> lines = {L"file:" + s.allKinds};
    lines.insert(lines.end(), s.allKindsLines.begin(), s.allKindsLines.end());
    EXPECT_EQ(Utf8(program_.ReadReport()), Utf8(Lines(lines)));

    // The close box, clicked with the mouse, ends the program. The window itself says where it is.
    RECT frame;
    GetWindowRect(program_.Window(), &frame);
    const int captionY = frame.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    POINT closeBox = {-1, -1};
    for (int x = frame.right - 1; x > frame.right - 80 && closeBox.x < 0; --x) {
        DWORD_PTR hit = 0;
        SendMessageTimeoutW(program_.Window(), WM_NCHITTEST, 0, MAKELPARAM(x, captionY), SMTO_ABORTIFHUNG, 5000, &hit);
        if (hit == HTCLOSE) closeBox = {x - 4, captionY};
    }
    ASSERT_GE(closeBox.x, 0) << "no close box in the caption";
    ClickAt(closeBox);
    EXPECT_EQ(program_.WaitForExit(ExitTimeout), 0u);
}

TEST_F(ProgramTest, AMissingFileShowsItsNameAndTheNoticeBeforeTheLoop) {
    const std::wstring missing = ScratchFolder() + L"\\no such file.png";
    Start(Quoted(missing));
    HWND notice = program_.WaitForNotice(StartTimeout);
    ASSERT_NE(notice, nullptr) << "no notice titled \"File\"";
    // The report was handed to the text box before the notice came up.
    EXPECT_EQ(Utf8(program_.ReadReport()), Utf8(L"file:" + missing));
    EXPECT_EQ(NoticeMessage(notice), L"Cannot allocate memory");
    ASSERT_TRUE(ConfirmNotice(notice));
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    EXPECT_EQ(FindProcessWindow(program_.ProcessId(), NoticeTitle), nullptr);
    EXPECT_EQ(Utf8(program_.ReadReport()), Utf8(L"file:" + missing));
    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, EveryParameterIsScannedInTurnAsADropOfTheSameNamesIs) {
    const Samples& s = TheSamples();
    const std::wstring missing = ScratchFolder() + L"\\no such file.png";
    Start(Quoted(s.second) + L" " + Quoted(missing) + L" " + Quoted(s.allKinds));
    // The missing file's notice comes up once the report before it is shown, as in a drop.
    HWND notice = program_.WaitForNotice(StartTimeout);
    ASSERT_NE(notice, nullptr) << "no notice for the missing second name";
    EXPECT_EQ(NoticeMessage(notice), L"Cannot allocate memory");
    ASSERT_TRUE(ConfirmNotice(notice));
    std::vector<std::wstring> lines = {L"file:" + s.second};
    lines.insert(lines.end(), s.secondLines.begin(), s.secondLines.end());
    lines.push_back(L"file:" + missing);
    lines.push_back(L"file:" + s.allKinds);
    lines.insert(lines.end(), s.allKindsLines.begin(), s.allKindsLines.end());
    const std::wstring fromParameters = program_.WaitForReport(Lines(lines), ReportTimeout);
    EXPECT_EQ(Utf8(fromParameters), Utf8(Lines(lines)));

    // The same names dropped give the same report (another report in between, so the drop is seen).
    DragFilesTo({s.emptyText}, TextBoxCentre());
    ASSERT_NE(Utf8(program_.WaitForReport(Lines({L"file:" + s.emptyText, L"tEXt : wrong size", L"tEXt : After yes"}),
                                          ReportTimeout)),
              Utf8(fromParameters));
    DragFilesTo({s.second, missing, s.allKinds}, TextBoxCentre());
    notice = program_.WaitForNotice(StartTimeout);
    ASSERT_NE(notice, nullptr);
    ASSERT_TRUE(ConfirmNotice(notice));
    EXPECT_EQ(Utf8(program_.WaitForReport(fromParameters, ReportTimeout)), Utf8(fromParameters));
    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, OneParameterHoldingALineFeedIsSplitAsBefore) {
    // One parameter is taken as it always was: a line feed in it separates names, as in a drop.
    const Samples& s = TheSamples();
    Start(Quoted(s.second + L"\n" + s.allKinds));
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    std::vector<std::wstring> lines = {L"file:" + s.second};
    lines.insert(lines.end(), s.secondLines.begin(), s.secondLines.end());
    lines.push_back(L"file:" + s.allKinds);
    lines.insert(lines.end(), s.allKindsLines.begin(), s.allKindsLines.end());
    EXPECT_EQ(Utf8(program_.WaitForReport(Lines(lines), ReportTimeout)), Utf8(Lines(lines)));
    CloseAndExpectExitCodeZero();
}

// A PNG of a million tiny tEXt chunks (15 MB): its report takes the text box many seconds to lay out.
const std::wstring& MillionChunkFile() {
    static std::wstring path = [] {
        const std::vector<uint8_t> one = TextChunk("k", "v");
        std::vector<uint8_t> all;
        all.reserve(one.size() * 1000000);
        for (int i = 0; i < 1000000; ++i) all.insert(all.end(), one.begin(), one.end());
        return WriteScratchFile(L"a million chunks.png", PngWith({all}));
    }();
    return path;
}
// Its whole report: the "file:" line and a million lines "tEXt : k v", joined by CR LF.
size_t MillionChunkReportLength() { return (L"file:" + MillionChunkFile()).size() + 1000000 * (2 + 10); }

// The length of the text box's text, asked with a time limit: whether the window answers.
bool AnsweredLength(HWND box, DWORD timeout, size_t* length) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, timeout, &result)) return false;
    *length = result;
    return true;
}

TEST_F(ProgramTest, WhileAHugeReportFillsTheWindowAnswersAndACloseEndsIt) {
    Start(Quoted(MillionChunkFile()));
    // The report grows while the window answers.
    size_t first = 0, later = 0;
    const DWORD start = GetTickCount();
    while (first == 0 && GetTickCount() - start < StartTimeout) {
        if (!AnsweredLength(program_.TextBox(), 2000, &first)) first = 0;
        Sleep(50);
    }
    ASSERT_GT(first, 0u) << "no report shown";
    Sleep(500);
    ASSERT_TRUE(AnsweredLength(program_.TextBox(), 1000, &later)) << "the window did not answer within 1 s";
    EXPECT_GT(later, first) << "the report does not grow";
    ASSERT_LT(later, MillionChunkReportLength()) << "the report was complete before the close: nothing tested";
    // The close request is answered within 1 s, and the program then ends (generous margin).
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(program_.Window(), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 1000, &result))
        << "the close request was not answered within 1 s";
    EXPECT_EQ(program_.WaitForExit(3000), 0u);
}

// 1.5 GB of zeros and one text chunk at the end: read whole and searched, seconds of scanning.
std::wstring WriteHugeFile() {
    const int64_t size = 1536ll << 20;
    const std::vector<uint8_t> chunk = TextChunk("Last", "chunk");
    return WriteSparseFile(ScratchFolder() + L"\\huge scan.png", size,
                           {{size - static_cast<int64_t>(chunk.size()), std::string(chunk.begin(), chunk.end())}});
}

TEST_F(ProgramTest, WhileAHugeFileIsScannedTheWindowAnswersAndACloseEndsIt) {
    const std::wstring huge = WriteHugeFile();
    Start(Quoted(huge));
    size_t shown = 1;
    ASSERT_TRUE(AnsweredLength(program_.TextBox(), 1000, &shown)) << "the window did not answer within 1 s";
    ASSERT_EQ(shown, 0u) << "the scan was over before the close: nothing tested";
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(program_.Window(), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 1000, &result))
        << "the close request was not answered within 1 s";
    EXPECT_EQ(program_.WaitForExit(3000), 0u);
    DeleteFileW(huge.c_str());
}

TEST_F(ProgramTest, ADropWhileAHugeFileIsScannedReplacesTheScan) {
    const Samples& s = TheSamples();
    const std::wstring huge = WriteHugeFile();
    Start(Quoted(huge));
    size_t shown = 1;
    ASSERT_TRUE(AnsweredLength(program_.TextBox(), 1000, &shown)) << "the window did not answer within 1 s";
    ASSERT_EQ(shown, 0u) << "the scan was over before the drop: nothing tested";
    DragOutcome drag = DragFilesTo({s.allKinds}, TextBoxCentre());
    EXPECT_EQ(drag.effect, (DWORD)DROPEFFECT_COPY);
    std::vector<std::wstring> lines = {L"file:" + s.allKinds};
    lines.insert(lines.end(), s.allKindsLines.begin(), s.allKindsLines.end());
    EXPECT_EQ(Utf8(program_.WaitForReport(Lines(lines), ReportTimeout)), Utf8(Lines(lines)));
    Sleep(500);
    EXPECT_EQ(Utf8(program_.ReadReport()), Utf8(Lines(lines))) << "the huge file's report came after all";
    CloseAndExpectExitCodeZero();
    DeleteFileW(huge.c_str());
}

TEST_F(ProgramTest, EscapeEndsTheProgramWhileAHugeReportFills) {
    Start(Quoted(MillionChunkFile()));
    size_t shown = 0;
    const DWORD start = GetTickCount();
    while (shown == 0 && GetTickCount() - start < StartTimeout) {
        if (!AnsweredLength(program_.TextBox(), 2000, &shown)) shown = 0;
        Sleep(50);
    }
    ASSERT_GT(shown, 0u) << "no report shown";
    ASSERT_TRUE(BringToFront(program_.Window()));
    Sleep(300);
    ASSERT_TRUE(AnsweredLength(program_.TextBox(), 1000, &shown));
    ASSERT_LT(shown, MillionChunkReportLength()) << "the report was complete before Escape: nothing tested";
    PressKey(VK_ESCAPE, true);
    const DWORD code = program_.WaitForExit(3000);
    PressKey(VK_ESCAPE, false);
    EXPECT_EQ(code, 0u);
}

// The clipboard's Unicode text, or "<none>".
std::wstring ClipboardText() {
    std::wstring text = L"<none>";
    for (int i = 0; i < 50 && !OpenClipboard(nullptr); ++i) Sleep(20);
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void PressWithControl(WORD key) {
    PressKey(VK_CONTROL, true);
    PressKey(key, true);
    PressKey(key, false);
    PressKey(VK_CONTROL, false);
}

TEST_F(ProgramTest, ControlAThenControlCCopiesTheWholeReport) {
    const Samples& s = TheSamples();
    std::wstring report;
    ASSERT_NO_FATAL_FAILURE(StartIdleOn(s.allKinds, &report));
    ASSERT_NE(report.find(L"\r\n"), std::wstring::npos);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    ASSERT_TRUE(BringToFront(program_.Window()));
    // A click puts the caret in the middle of the report: nothing is selected.
    ClickAt(TextBoxCentre());
    Sleep(200);
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    PressWithControl('A');
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    PressWithControl('C');
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    std::wstring copied = ClipboardText();
    for (int i = 0; i < 50 && copied != report; ++i) {
        Sleep(50);
        copied = ClipboardText();
    }
    EXPECT_EQ(Utf8(copied), Utf8(report));
    EXPECT_TRUE(program_.Running());
    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, HoldingEscapeEndsTheProgram) {
    Start(L"");
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    // The key goes to the active window, as a user's key press does.
    ASSERT_TRUE(BringToFront(program_.Window()));
    PressKey(VK_ESCAPE, true);
    const DWORD code = program_.WaitForExit(ExitTimeout);
    PressKey(VK_ESCAPE, false);
    EXPECT_EQ(code, 0u);
}

TEST_F(ProgramTest, EscapeHeldInAnotherProgramDoesNotEndOurs) {
    const Samples& s = TheSamples();
    std::wstring before;
    ASSERT_NO_FATAL_FAILURE(StartIdleOn(s.second, &before));
    ForeignWindow other;
    ASSERT_NE(other.Handle(), nullptr);
    ASSERT_TRUE(BringToFront(other.Handle()));
    // The activation's own messages first: the display's focus change resets the key states.
    other.TakeMessages(300);
    PressKey(VK_ESCAPE, true);
    other.TakeMessages(50);
    ASSERT_TRUE(GetAsyncKeyState(VK_ESCAPE) & 0x8000);
    // Escape stays held in the other window while input reaches ours: the mouse moves over it.
    const POINT centre = TextBoxCentre();
    for (int step = 0; step < 10; ++step) {
        MoveMouseTo(POINT{centre.x + 10 * step, centre.y + 5 * step});
        other.TakeMessages(30);
    }
    PostMessageW(program_.Window(), WM_NULL, 0, 0);
    EXPECT_TRUE(program_.WaitUntilIdle(StartTimeout));
    EXPECT_EQ(GetForegroundWindow(), other.Handle());
    EXPECT_TRUE(program_.Running());
    PressKey(VK_ESCAPE, false);
    EXPECT_EQ(program_.ReadReport(), before);
    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, MessagesNumberedLikeEventsLeaveTheProgramAndItsReportAlone) {
    const Samples& s = TheSamples();
    std::wstring before;
    ASSERT_NO_FATAL_FAILURE(StartIdleOn(s.second, &before));
    // Any process may post these: the numbers of the close and drop events, sent as plain messages.
    for (HWND target : {program_.Window(), program_.TextBox()}) {
        for (UINT number : {13116u, 13106u}) EXPECT_TRUE(PostMessageW(target, number, 0, 0));
    }
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    Sleep(200);
    EXPECT_TRUE(program_.Running());
    EXPECT_EQ(Utf8(program_.ReadReport()), Utf8(before));
    EXPECT_EQ(FindProcessWindow(program_.ProcessId(), NoticeTitle), nullptr);
    // The real events still work: a drop is scanned, the close box ends the program.
    ExpectFileDropStillWorks();
    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, ATextChunkOfLengthZeroNoLongerEndsTheProgram) {
    const Samples& s = TheSamples();
    Start(Quoted(s.emptyText));
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    EXPECT_EQ(Utf8(program_.ReadReport()),
              Utf8(Lines({L"file:" + s.emptyText, L"tEXt : wrong size", L"tEXt : After yes"})));
    EXPECT_TRUE(program_.Running());
    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, ADroppedFileIsScannedAndReplacesTheReport) {
    const Samples& s = TheSamples();
    Start(Quoted(s.second));
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    DragOutcome drag = DragFilesTo({s.allKinds}, TextBoxCentre());
    EXPECT_EQ(drag.result, DRAGDROP_S_DROP);
    EXPECT_EQ(drag.effect, (DWORD)DROPEFFECT_COPY);
    std::vector<std::wstring> lines = {L"file:" + s.allKinds};
    lines.insert(lines.end(), s.allKindsLines.begin(), s.allKindsLines.end());
    EXPECT_EQ(Utf8(program_.WaitForReport(Lines(lines), ReportTimeout)), Utf8(Lines(lines)));
    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, SeveralDroppedFilesAreScannedInTurn) {
    const Samples& s = TheSamples();
    Start(L"");
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    DragOutcome drag = DragFilesTo({s.allKinds, s.second}, TextBoxCentre(),
                                   DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK);
    EXPECT_EQ(drag.result, DRAGDROP_S_DROP);
    EXPECT_EQ(drag.effect, (DWORD)DROPEFFECT_COPY);
    std::vector<std::wstring> lines = {L"file:" + s.allKinds};
    lines.insert(lines.end(), s.allKindsLines.begin(), s.allKindsLines.end());
    lines.push_back(L"file:" + s.second);
    lines.insert(lines.end(), s.secondLines.begin(), s.secondLines.end());
    EXPECT_EQ(Utf8(program_.WaitForReport(Lines(lines), ReportTimeout)), Utf8(Lines(lines)));
    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, PlainTextIsRefused) {
    const Samples& s = TheSamples();
    std::wstring before;
    ASSERT_NO_FATAL_FAILURE(StartIdleOn(s.second, &before));
    DragOutcome drag = DragTextTo(s.allKinds, TextBoxCentre());
    EXPECT_EQ(drag.effect, (DWORD)DROPEFFECT_NONE);
    for (DWORD effect : drag.feedback) EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    EXPECT_EQ(program_.ReadReport(), before);
    EXPECT_EQ(FindProcessWindow(program_.ProcessId(), NoticeTitle), nullptr);
    ExpectFileDropStillWorks();
    CloseAndExpectExitCodeZero();
}

TEST_F(ProgramTest, TheStripBelowTheTextBoxRefusesFiles) {
    const Samples& s = TheSamples();
    std::wstring before;
    ASSERT_NO_FATAL_FAILURE(StartIdleOn(s.second, &before));
    DragOutcome drag = DragFilesTo({s.allKinds}, ClientPointOnScreen(program_.Window(), 320, 470));
    EXPECT_EQ(drag.effect, (DWORD)DROPEFFECT_NONE);
    ASSERT_TRUE(program_.WaitUntilIdle(StartTimeout));
    EXPECT_EQ(program_.ReadReport(), before);
    ExpectFileDropStillWorks();
    CloseAndExpectExitCodeZero();
}

// The resources windres put into the executable: icon 1 in three sizes and the Common Controls 6 manifest.
TEST(ProgramResources, IconOneInThreeSizesAndTheCommonControlsManifest) {
    HMODULE image = LoadLibraryExW(PROGRAM_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);
    HRSRC group = FindResourceW(image, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    BYTE* directory = static_cast<BYTE*>(LockResource(LoadResource(image, group)));
    ASSERT_NE(directory, nullptr);
    for (int size : {16, 32, 48}) {
        int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        HRSRC icon = FindResourceW(image, MAKEINTRESOURCEW(id), RT_ICON);
        ASSERT_NE(icon, nullptr) << size;
        const BITMAPINFOHEADER* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(image, icon)));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->biWidth, size);
        EXPECT_EQ(header->biHeight, 2 * size) << "colour and mask";
        EXPECT_EQ(header->biBitCount, 32) << "with alpha";
    }
    HRSRC manifest = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(image, manifest)));
    std::string xml(text, SizeofResource(image, manifest));
    EXPECT_NE(xml.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("processorArchitecture=\"" MANIFEST_PROCESSOR_TEXT
                       "\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\""),
              std::string::npos)
        << "the build's own processor";
    FreeLibrary(image);
}

} // namespace
