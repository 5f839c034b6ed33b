// console_front_end_test.cpp: pngtext-cli's stdout, byte for byte, against the scan's report lines
// converted whole by the system: plain and mixed texts, many scripts, reports larger than one write.
#include <gtest/gtest.h>
#include <cstdio>
#include <windows.h>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "app/console/clean_file.h"
#include "app/console/form_sinks.h"
#include "app/console/out_folder.h"
#include "report/compressed_text.h"
#include "report/console_file_loader.h"
#include "report/json_lines.h"
#include "report/report_sink.h"
#include "report/scan_text_chunks.h"
#include "png/stealth_reader.h"
#include "runtime/files.h"
#include "runtime/runtime_test_seams.h"
#include "runtime/system_message.h"
#include "tests/app/test_files.h"
#include "tests/failing_allocator.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/png/pixel_png.h"
#include "tests/report/loader_test_support.h"
#include "tests/testdata.h"
#include "tests/report/scan_file_fixture.h"
#include "tests/report/test_png.h"

namespace {

struct ProgramRun {
    std::string out;
    std::string err;
    DWORD exitCode = 99;
};

std::wstring Quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

// Shared for writing: Wine may report a child's end before it has closed its handles, and a file the
// previous run still holds would otherwise not open, leaving INVALID_HANDLE_VALUE (the pseudo handle
// of the calling process) as the next run's output.
HANDLE InheritableOutput(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs pngtext-cli with the given argument text; stdout and stderr are captured whole. stdoutHandle:
// an inheritable handle to give the program as its stdout instead (the caller keeps and closes it);
// stderrHandle the same for stderr.
ProgramRun RunConsoleProgram(const std::wstring& arguments, HANDLE stdoutHandle = nullptr, HANDLE stderrHandle = nullptr) {
    ProgramRun run;
    // Files of their own for each run: a console program's handles can outlive the signal of its end
    // for a moment, and the next run must not find last run's output.
    static int runs = 0;
    const std::wstring number = std::to_wstring(++runs);
    const std::wstring outPath = ScratchFolder() + L"\\cli-out-" + number + L".txt";
    const std::wstring errPath = ScratchFolder() + L"\\cli-err-" + number + L".txt";
    HANDLE out = stdoutHandle ? stdoutHandle : InheritableOutput(outPath);
    HANDLE err = stderrHandle ? stderrHandle : InheritableOutput(errPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring commandLine = Quoted(CLI_PATH) + (arguments.empty() ? L"" : L" " + arguments);
    PROCESS_INFORMATION process = {};
    // Under 64-bit Wine a start now and then fails in a long run of starts (seen twice in the whole
    // 64-bit suite, on a loaded machine): the start is tried again, and one that still fails says why.
    BOOL started = FALSE;
    DWORD startError = 0;
    for (int attempt = 0; attempt < 5 && !started; attempt++) {
        if (attempt) Sleep(200);
        started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                 &process);
        if (!started) startError = GetLastError();
    }
    if (!stdoutHandle) CloseHandle(out);
    if (!stderrHandle) CloseHandle(err);
    if (!started) {
        run.err = "CreateProcessW failed with error " + std::to_string(startError);
        return run;
    }
    if (startError) std::printf("note: CreateProcessW failed once with error %lu, then started\n", startError);
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!stdoutHandle) run.out = ReadWhole(outPath);
    if (!stderrHandle) run.err = ReadWhole(errPath);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return run;
}

void ExpectSameReport(const std::wstring& name, int minimumLines) {
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(CLI_PATH)) << "the console front end is not built";
    ExpectedBytes expected = ScanInProcess(name);
    ASSERT_EQ(0, expected.notices) << testing::PrintToString(name);
    ASSERT_GE(expected.lines, minimumLines) << testing::PrintToString(name);
    ProgramRun run = RunConsoleProgram(Quoted(name));
    EXPECT_EQ(0u, run.exitCode) << testing::PrintToString(name);
    ASSERT_EQ(expected.text.size(), run.out.size()) << testing::PrintToString(name);
    EXPECT_TRUE(expected.text == run.out) << "output bytes differ for " << testing::PrintToString(name);
}

TEST(ConsoleOutputBytes, SuiteTextsInManyScriptsAreWrittenAsTheSystemConvertsThem) {
    // English, Finnish, Greek, Hindi and Japanese international texts, compressed texts and plain texts.
    for (const wchar_t* file : {L"ct0n0g04.png", L"ct1n0g04.png", L"cten0g04.png", L"ctfn0g04.png", L"ctgn0g04.png",
                                L"cthn0g04.png", L"ctjn0g04.png", L"ctzn0g04.png"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(file)));
        ExpectSameReport(SuiteFile(file), 1);
    }
}

TEST(ConsoleOutputBytes, MixedAndLargeTextsKeepTheirBytesAcrossRunsAndWrites) {
    // ASCII and non-ASCII runs of every short length next to each other, Latin-1 bytes of a plain
    // text, line breaks inside texts, and a report larger than one write of the console program.
    std::string mixed;
    for (int run = 0; run < 40; run++) {
        mixed += std::string(static_cast<size_t>(run), 'a' + run % 26);
        mixed += run % 3 == 0 ? "\xC3\xA9" : run % 3 == 1 ? "\xE2\x82\xAC\xE2\x82\xAC" : "\xF0\x9F\x98\x80";
        if (run % 7 == 0) mixed += "\r\n";
    }
    std::string large;
    while (large.size() < (5u << 20)) large += "{\"seed\": 1234, \"text\": \"caf\xC3\xA9 \xCE\xB1\"}\n";
    std::wstring name = WriteScratchFile(
        L"console-mixed.png",
        PngWith({TextChunk("Latin", "caf\xE9 na\xEFve \xA9 plain"), InternationalTextChunk("Mixed", "en", "Gemischt", mixed),
                 CompressedTextChunk("Workflow", std::string(100000, 'w') + "\xE9"),
                 InternationalTextChunk("Large", "", "", large)}));
    ASSERT_FALSE(name.empty());
    ExpectSameReport(name, 5);
}

}  // namespace

TEST(ConsoleFrontEnd, PrintsEveryLineAsUtf8EndedByLineFeeds) {
    const std::wstring greek = SuiteFile(L"ctgn0g04.png");
    ProgramRun run = RunConsoleProgram(Quoted(greek));
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("", run.err);
    // Read independently of the program: the six iTXt chunks of the Greek test image.
    const std::string expected = Utf8(
        L"file:" + greek + L"\n"
        L"iTXt : (el)Title(\u03A4\u03AF\u03C4\u03BB\u03BF\u03C2) PngSuite\n");
    ASSERT_GE(run.out.size(), expected.size());
    EXPECT_EQ(expected, run.out.substr(0, expected.size()));
    size_t lines = 0;
    for (char c : run.out) lines += c == '\n';
    EXPECT_EQ(7u, lines) << run.out;
    EXPECT_EQ('\n', run.out.back());
    EXPECT_EQ(std::string::npos, run.out.find('\r')) << "lines end in LF alone";
}

TEST(ConsoleFrontEnd, ReportsEveryFileInTurnAndNoticesOnStderr) {
    const std::wstring compressed = SuiteFile(L"ctzn0g04.png");
    const std::wstring missing = ScratchFolder() + L"\\no such file.png";
    const std::wstring empty = WriteScratchFile(L"empty.png", {});
    ProgramRun run = RunConsoleProgram(Quoted(missing) + L" " + Quoted(compressed) + L" " + Quoted(empty));
    EXPECT_EQ(1u, run.exitCode) << "a file that cannot be loaded makes the exit code 1";
    EXPECT_EQ(Utf8(missing + L": " + SystemMessage(ERROR_FILE_NOT_FOUND) + L"\n" + empty + L": Wrong size!\n"), run.err);
    const std::string expectedStart = Utf8(L"file:" + missing + L"\nfile:" + compressed + L"\ntEXt : Title PngSuite\n");
    ASSERT_GE(run.out.size(), expectedStart.size());
    EXPECT_EQ(expectedStart, run.out.substr(0, expectedStart.size()));
    EXPECT_NE(std::string::npos, run.out.find("zTXt: Disclaimer Freeware.\n")) << "compressed text is inflated";
    const std::string lastLine = Utf8(L"file:" + empty + L"\n");
    EXPECT_EQ(lastLine, run.out.substr(run.out.size() - lastLine.size()));
}

TEST(ConsoleFrontEnd, UsageErrorsHelpAndVersionHaveTheirExitCodes) {
    const std::wstring greek = Quoted(SuiteFile(L"ctgn0g04.png"));
    struct Case {
        std::wstring arguments;
        DWORD exitCode;
        const char* outStart;  // null: nothing on stdout
        const char* errPart;   // null: nothing on stderr
    } cases[] = {
        {L"", 2, nullptr, "usage: pngtext-cli"},
        {L"--bogus " + greek, 2, nullptr, "unknown option: --bogus"},
        {greek + L" -x", 2, nullptr, "unknown option: -x"},
        {L"--help", 0, "usage: pngtext-cli", nullptr},
        {L"-h " + greek, 0, "usage: pngtext-cli", nullptr},
        {L"--version", 0, "pngtext-cli " PNGTEXT_VERSION_TEXT "\n", nullptr},
        // After "--" a name that starts with a dash is a name: this one does not exist.
        {L"-- --help", 1, "file:--help\n", "--help: "},
        // An argument holding a line feed is one name.
        {L"\"a.png\nb.png\"", 1, "file:a.png\nb.png\n", "a.png\nb.png: "},
        // cmd's way of asking for help.
        {L"/?", 0, "usage: pngtext-cli", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        ProgramRun run = RunConsoleProgram(c.arguments);
        EXPECT_EQ(c.exitCode, run.exitCode);
        if (c.outStart) {
            EXPECT_EQ(c.outStart, run.out.substr(0, strlen(c.outStart)));
        } else {
            EXPECT_EQ("", run.out);
        }
        if (c.errPart) {
            EXPECT_NE(std::string::npos, run.err.find(c.errPart)) << run.err;
        } else {
            EXPECT_EQ("", run.err);
        }
    }
}

// A folder tree of small PNGs whose names test the order and the case of names: returns its path.
static std::wstring WriteNameTree() {
    const std::wstring root = ScratchFolder() + L"\\names";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW((root + L"\\sub").c_str(), nullptr);
    CreateDirectoryW((root + L"\\sub\\deeper").c_str(), nullptr);
    CreateDirectoryW((root + L"\\Empty").c_str(), nullptr);
    CreateDirectoryW((root + L"\\folder.png").c_str(), nullptr);
    for (const wchar_t* name : {L"b.png", L"A.png", L"c.PNG", L"note.txt", L"sub\\d.png", L"sub\\deeper\\e.png"}) {
        WriteScratchFile(L"names\\" + std::wstring(name), PngWith({TextChunk("Name", "x")}));
    }
    return root;
}

// The "file:" lines of a text report, without the folder prefix given.
static std::string FileLines(const std::string& out, const std::wstring& prefix) {
    const std::string start = "file:" + Utf8(prefix);
    std::string names;
    for (size_t at = out.find(start); at != std::string::npos; at = out.find(start, at + 1)) {
        size_t end = out.find('\n', at);
        names += out.substr(at + start.size(), end - at - start.size()) + " ";
    }
    return names;
}

TEST(ConsoleFrontEnd, WildcardsAndFoldersStandForTheirFilesInNameOrder) {
    const std::wstring root = WriteNameTree();
    struct Case {
        std::wstring arguments;
        const char* names;   // the files reported, relative to root
        DWORD exitCode;
        const char* err;
    } cases[] = {
        {Quoted(root), "\\A.png \\b.png \\c.PNG ", 0, ""},
        {Quoted(root + L"/"), "/A.png /b.png /c.PNG ", 0, ""},
        {L"-r " + Quoted(root), "\\A.png \\b.png \\c.PNG \\sub\\d.png \\sub\\deeper\\e.png ", 0, ""},
        {Quoted(root + L"\\*.png"), "\\A.png \\b.png \\c.PNG ", 0, ""},
        {Quoted(root + L"\\?.p*") + L" " + Quoted(root + L"\\n*.txt"), "\\A.png \\b.png \\c.PNG \\note.txt ", 0, ""},
        {L"--recursive " + Quoted(root + L"\\s*"), "\\sub\\d.png \\sub\\deeper\\e.png ", 0, ""},
        {Quoted(root + L"\\zz*.png") + L" " + Quoted(root + L"\\b.png"), "\\b.png ", 1, "\\zz*.png: No file matches\n"},
        {Quoted(root + L"\\Empty"), "", 1, "\\Empty: No .png file in the folder\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        ProgramRun run = RunConsoleProgram(c.arguments);
        EXPECT_EQ(c.exitCode, run.exitCode);
        EXPECT_EQ(c.names, FileLines(run.out, root));
        EXPECT_EQ(*c.err ? Utf8(root) + c.err : std::string(), run.err);
    }
    // Files found in a folder are loaded as the named files are: the same report.
    ProgramRun folder = RunConsoleProgram(L"-r " + Quoted(root));
    ExpectedBytes named = ScanInProcess({root + L"\\A.png", root + L"\\b.png", root + L"\\c.PNG", root + L"\\sub\\d.png",
                                         root + L"\\sub\\deeper\\e.png"});
    EXPECT_EQ(named.text, folder.out);
}

// Reads what a console screen buffer shows, row by row, trailing blanks removed, rows ended by LF.
static std::wstring ScreenText(HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info)) return L"";
    std::wstring text;
    std::vector<wchar_t> row(static_cast<size_t>(info.dwSize.X));
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; y++) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), COORD{0, y}, &read);
        std::wstring line(row.data(), read);
        line.erase(line.find_last_not_of(L' ') + 1);
        text += line + L"\n";
    }
    return text;
}

TEST(ConsoleFrontEnd, ShowsUnicodeOnAConsoleAndLeavesItsCodePage) {
    // A console of the test's own: under CTest the test may have none, or one without a screen buffer.
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << GetLastError();
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                              CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, screen);
    COORD size = {200, 300};
    SetConsoleScreenBufferSize(screen, size);
    const UINT codePage = GetConsoleOutputCP();
    ASSERT_NE(static_cast<UINT>(CP_UTF8), codePage);

    const std::wstring greek = SuiteFile(L"ctgn0g04.png");
    // A text that would recolour the console and ring its bell: shown as symbols, not acted on.
    const std::wstring escaping = WriteScratchFile(L"escaping.png", PngWith({TextChunk("Esc", "\x1b[31mred\x07\tend")}));
    std::wstring commandLine = Quoted(CLI_PATH) + L" " + Quoted(greek) + L" " + Quoted(escaping);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = screen;
    startup.hStdError = screen;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(codePage, GetConsoleOutputCP()) << "the console's code page is the user's";
    std::wstring shown = ScreenText(screen);
    EXPECT_NE(std::wstring::npos, shown.find(L"iTXt : (el)Title(\u03A4\u03AF\u03C4\u03BB\u03BF\u03C2) PngSuite\n")) << shown;
    EXPECT_NE(std::wstring::npos, shown.find(L"tEXt : Esc \u241B[31mred\u2407")) << shown;
    CloseHandle(screen);
    FreeConsole();
}

TEST(ConsoleLoader, ANameLongerThanThePathLimitIsOpenedWhole) {
    // The first 260 units of the long name name another file, of 8 bytes.
    const std::wstring folder = ScratchFolder() + L"\\";
    ASSERT_LT(folder.size(), static_cast<size_t>(MAX_PATH) - 10);
    const std::wstring shortName(MAX_PATH - folder.size(), L's');
    ASSERT_FALSE(WriteScratchFile(shortName, std::vector<uint8_t>(8, 'x')).empty());
    const std::wstring longPath =
        WriteScratchFile(shortName + L"-long.png", PngWith({TextChunk("Long", "name")}));
    ASSERT_FALSE(longPath.empty());
    for (const std::wstring& name : {longPath, L"\\\\?\\" + longPath}) {
        ProgramRun run = RunConsoleProgram(Quoted(name));
        EXPECT_EQ(0u, run.exitCode) << run.err;
        EXPECT_EQ(Utf8(L"file:" + name + L"\ntEXt : Long name\n"), run.out);
    }
    // A device is no file; a name ending in a separator is a folder, and this one is none.
    // (The separator doubled before the closing quote, as command-line quoting wants it.)
    ProgramRun device = RunConsoleProgram(L"NUL " + Quoted(longPath + L"\\\\"));
    EXPECT_EQ(1u, device.exitCode);
    EXPECT_EQ(Utf8(L"NUL: Not a file (a device)\n" + longPath + L"\\: Cannot read folder\n"), device.err);
}

TEST(ConsoleFrontEnd, ManyFilesOnAllCoresGiveTheWindowsReportInArgumentOrderAndAsJson) {
    // Fuzzed and suite files, a large one among them so that later files finish first, and names
    // that give notices; each given twice.
    std::vector<std::wstring> names = LoaderTestFiles();
    names.pop_back();  // the folder: the console scans its files instead
    names.insert(names.begin() + 5, WriteScratchFile(L"large-among-many.png",
                                                     PngWith({CompressedTextChunk("Big", std::string(8u << 20, 'b'))})));
    // Compressed texts too long for the work buffer, the longer first, which each thread's inflate
    // space keeps for the next files.
    std::string longer, shorter;
    for (int i = 0; longer.size() < 300000; i++) longer += std::to_string(i) + (i % 7 ? " " : "\n");
    for (int i = 0; shorter.size() < 70000; i++) shorter += std::to_string(3 * i) + ",";
    names.insert(names.begin() + 6, WriteScratchFile(L"inflated-longer.png",
                                                     PngWith({CompressedTextChunk("Longer", longer), TextChunk("Between", "x"),
                                                              CompressedTextChunk("Shorter", shorter)})));
    names.insert(names.begin() + 7, WriteScratchFile(L"inflated-shorter.png", PngWith({CompressedTextChunk("Shorter", shorter)})));
    const std::vector<std::wstring> once = names;
    names.insert(names.end(), once.begin(), once.end());
    std::wstring arguments;
    for (const std::wstring& name : names) arguments += Quoted(name) + L" ";
    ConsoleFileLoader loader;
    ExpectedBytes expected = ScanInProcess(names, &loader);
    ProgramRun text = RunConsoleProgram(arguments);
    EXPECT_EQ(1u, text.exitCode);
    EXPECT_TRUE(expected.text == text.out) << "report bytes differ";
    EXPECT_EQ(expected.err, text.err);
    ProgramRun json = RunConsoleProgram(L"--json " + arguments);
    EXPECT_EQ(1u, json.exitCode);
    EXPECT_TRUE(expected.json == json.out) << "JSON lines differ";
    EXPECT_EQ(expected.err, json.err) << "notices stay on stderr too";
}

// The JSON Lines of a few files as one process gives them: the smoke of the real console tool where each
// process start is expensive.
TEST(ConsoleFrontEnd, JsonLinesGiveEveryChunkAndEveryNoticeInReportOrder) {
    const std::vector<std::wstring> names = {SuiteFile(L"ctzn0g04.png"), ScratchFolder() + L"\\no such file.png",
                                             SuiteFile(L"cten0g04.png")};
    ConsoleFileLoader loader;
    ExpectedBytes expected = ScanInProcess(names, &loader);
    ProgramRun json = RunConsoleProgram(L"--json " + Quoted(names[0]) + L" " + Quoted(names[1]) + L" " + Quoted(names[2]));
    EXPECT_EQ(1u, json.exitCode) << "a name that cannot be opened";
    EXPECT_EQ(expected.json, json.out);
    EXPECT_NE(std::string::npos, json.out.find("\"inflate\":\"complete\"")) << json.out;
    EXPECT_EQ(expected.err, json.err);
}

// An image as AI tools write them: a parameters text, a prompt and a workflow in JSON, a compressed
// title, and a comment stored as UTF-8 in a tEXt chunk (where Latin-1 belongs).
static std::wstring WriteAiImage() {
    return WriteScratchFile(
        L"ai image.png",
        PngWith({TextChunk("Comment", "caf\xC3\xA9"), CompressedTextChunk("Title", "Hello"),
                 TextChunk("parameters", "a cat, Steps: 20"),
                 InternationalTextChunk("prompt", "", "", "{\"1\": {\"inputs\": {\"text\": \"Cat \xC3\xA9t\xC3\xA9\"}}}"),
                 TextChunk("workflow", "{\"nodes\":[1,{\"id\":2}],\"links\":[],\"extra\":{}}")}));
}

TEST(ConsoleFrontEnd, OptionsPickTheChunksAndShapeTheOutput) {
    const std::wstring ai = WriteAiImage();
    const std::wstring suite = SuiteFile(L"ctzn0g04.png");
    const std::wstring greek = SuiteFile(L"ctgn0g04.png");
    const std::wstring missing = ScratchFolder() + L"\\missing.png";
    const std::string aiLine = "file:" + Utf8(ai) + "\n";
    std::string aiJson;
    AppendJsonString(aiJson, ai);
    const std::string suiteLine = "file:" + Utf8(suite) + "\n";
    struct Case {
        std::wstring arguments;
        DWORD exitCode;
        std::string out;
    } cases[] = {
        // -k: exact case, * and ?, any of several, -i; files without a match keep their "file:" line.
        {L"-k parameters " + Quoted(ai), 0, aiLine + "tEXt : parameters a cat, Steps: 20\n"},
        {L"-k Parameters " + Quoted(ai) + L" " + Quoted(suite), 0, aiLine + suiteLine},
        {L"-i -k Parameters " + Quoted(ai), 0, aiLine + "tEXt : parameters a cat, Steps: 20\n"},
        {L"--keyword=p* " + Quoted(ai), 0,
         aiLine + "tEXt : parameters a cat, Steps: 20\niTXt : prompt(?\?) {\"1\": {\"inputs\": {\"text\": \"Cat \xC3\xA9t\xC3\xA9\"}}}\n"},
        {L"-k ?itle -k nothing " + Quoted(ai), 0, aiLine + "zTXt: Title Hello\n"},
        // --text: the text alone, LF or NUL after each; --pretty indents JSON only.
        {L"-k workflow --text " + Quoted(ai), 0, "{\"nodes\":[1,{\"id\":2}],\"links\":[],\"extra\":{}}\n"},
        {L"-k workflow -k Title --text --pretty " + Quoted(ai), 0,
         "Hello\n{\n  \"nodes\": [\n    1,\n    {\n      \"id\": 2\n    }\n  ],\n  \"links\": [],\n  \"extra\": {}\n}\n"},
        {L"-k parameters -k Title --text -0 " + Quoted(ai) + L" " + Quoted(suite), 0,
         std::string("Hello\0a cat, Steps: 20\0PngSuite\0", 32)},
        // --grep: keyword or text, case ignored in every script, inflated and decoded texts included.
        {L"-e CAT " + Quoted(ai), 0,
         aiLine + "tEXt : parameters a cat, Steps: 20\niTXt : prompt(?\?) {\"1\": {\"inputs\": {\"text\": \"Cat \xC3\xA9t\xC3\xA9\"}}}\n"},
        {L"-e \u00C9T\u00C9 -e nothing --text " + Quoted(ai), 0, "{\"1\": {\"inputs\": {\"text\": \"Cat \xC3\xA9t\xC3\xA9\"}}}\n"},
        {L"-e cAT -k parameters --text " + Quoted(ai), 0, "a cat, Steps: 20\n"},
        {L"--grep=FREEWARE --text " + Quoted(suite), 0, "Freeware.\n"},
        {L"-e \u0394\u03A9\u03A1\u0395\u0386\u039D --text " + Quoted(greek), 0,
         Utf8(L"\u0394\u03C9\u03C1\u03B5\u03AC\u03BD \u03BB\u03BF\u03B3\u03B9\u03C3\u03BC\u03B9\u03BA\u03CC.\n")},
        {L"-e TITLE -k Title --text " + Quoted(suite), 0, "PngSuite\n"},
        {L"-e nowhere " + Quoted(ai), 1, aiLine},
        // -l: names of the files with a reported chunk; grep's exit codes, a read error first.
        {L"-l -k workflow " + Quoted(ai) + L" " + Quoted(suite), 0, Utf8(ai) + "\n"},
        {L"-l -k workflow " + Quoted(suite), 1, ""},
        {L"-l -k workflow " + Quoted(ai) + L" " + Quoted(missing), 2, Utf8(ai) + "\n"},
        {L"-l -k Title -0 " + Quoted(ai) + L" " + Quoted(suite), 0, Utf8(ai) + std::string(1, '\0') + Utf8(suite) + std::string(1, '\0')},
        {L"-rl -k Title " + Quoted(suite), 0, Utf8(suite) + "\n"},
        // UTF-8 in tEXt: read as UTF-8 on request; JSON marks it either way.
        {L"--utf8-text -k Comment --text " + Quoted(ai), 0, "caf\xC3\xA9\n"},
        {L"--utf8-text -k Comment --json " + Quoted(ai), 0,
         "{\"file\":" + aiJson + ",\"offset\":37,\"type\":\"tEXt\",\"keyword\":\"Comment\",\"compressed\":false,"
         "\"text\":\"caf\xC3\xA9\",\"crc\":\"ok\",\"utf8_text\":true}\n"},
        {L"--utf8-text -k Title --json " + Quoted(ai), 0,
         "{\"file\":" + aiJson + ",\"offset\":62,\"type\":\"zTXt\",\"keyword\":\"Title\",\"compressed\":true,"
         "\"text\":\"Hello\",\"crc\":\"ok\",\"inflate\":\"complete\"}\n"},
        // Options that contradict each other, or lack what they need.
        {L"--json --text " + Quoted(ai), 2, ""},
        {L"-l --out x " + Quoted(ai), 2, ""},
        {L"-0 " + Quoted(ai), 2, ""},
        {L"--pretty " + Quoted(ai), 2, ""},
        {L"--force " + Quoted(ai), 2, ""},
        {Quoted(ai) + L" -k", 2, ""},
        {L"--grep= " + Quoted(ai), 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        ProgramRun run = RunConsoleProgram(c.arguments);
        EXPECT_EQ(c.exitCode, run.exitCode) << run.err;
        EXPECT_EQ(c.out, run.out);
    }
}

// Every record's text, as UTF-8 followed by a NUL: what --text -0 must print.
class ExpectedTexts : public ExpectedBytes {
public:
    bool AppendReportLine(const TextChunkRecord& record) override {
        texts += Utf8(record.text);
        texts += '\0';
        count++;
        return ExpectedBytes::AppendReportLine(record);
    }
    std::string texts;
    int count = 0;
};

TEST(ConsoleFrontEnd, TextAloneIsEachRecordsTextByteForByte) {
    std::vector<std::wstring> names = LoaderTestFiles();
    names.pop_back();  // the folder
    names.push_back(WriteAiImage());
    InitFileLibrary();
    std::vector<uint8_t> work(WorkBufferSize);
    ConsoleFileLoader loader;
    ExpectedTexts expected;
    std::wstring arguments = L"--text -0";
    for (size_t i = 0; i < names.size(); i++) {
        ScanTextChunks(names[i], i == 0, &expected, work.data(), &loader);
        arguments += L" " + Quoted(names[i]);
    }
    ASSERT_GT(expected.count, 150);
    ProgramRun run = RunConsoleProgram(arguments);
    EXPECT_EQ(1u, run.exitCode) << "some names give notices";
    EXPECT_EQ(expected.err, run.err);
    ASSERT_EQ(expected.texts.size(), run.out.size());
    EXPECT_TRUE(expected.texts == run.out) << "text bytes differ";
}

TEST(ConsoleFrontEnd, EveryChunkIsReportedWholeInEveryFormHoweverLongTheReport) {
    // A text longer than the window's report may grow, then the chunks a script looks for.
    const std::string big(16777300, 'x');
    const std::wstring file = WriteScratchFile(
        L"after-the-cut.png", PngWith({TextChunk("big", big), TextChunk("workflow", "{\"a\":1}"),
                                       TextChunk("nul", std::string("before\0after", 12))}));
    ASSERT_FALSE(file.empty());
    const std::string name = Utf8(file);
    std::string json;
    AppendJsonString(json, file);
    const std::wstring out = ScratchFolder() + L"\\cut-out-" + std::to_wstring(GetTickCount());
    struct Case {
        std::wstring arguments;
        DWORD exitCode;
        std::string out;
    } cases[] = {
        {L"-k workflow -k nul", 0, "file:" + name + "\ntEXt : workflow {\"a\":1}\ntEXt : nul before\n"},
        {L"--text -k workflow", 0, "{\"a\":1}\n"},
        {L"-l -k workflow", 0, name + "\n"},
        {L"-e \"\\\"a\\\"\" --text", 0, "{\"a\":1}\n"},
        {L"--json -k workflow -k nul", 0,
         "{\"file\":" + json + ",\"offset\":16777353,\"type\":\"tEXt\",\"keyword\":\"workflow\",\"compressed\":false,"
         "\"text\":\"{\\\"a\\\":1}\",\"crc\":\"ok\"}\n"
         "{\"file\":" + json + ",\"offset\":16777381,\"type\":\"tEXt\",\"keyword\":\"nul\",\"compressed\":false,"
         "\"text\":\"before\",\"text_cut_at_nul\":true,\"crc\":\"ok\"}\n"},
        {L"--out " + Quoted(out) + L" -k workflow", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        ProgramRun run = RunConsoleProgram(c.arguments + L" " + Quoted(file));
        EXPECT_EQ(c.exitCode, run.exitCode) << run.err;
        EXPECT_EQ(c.out, run.out);
        EXPECT_EQ("", run.err);
    }
    EXPECT_EQ("{\"a\":1}", ReadWhole(out + L"\\after-the-cut.workflow.json"));
    // The whole report: every line, none of them a cut, and exit code 0 says so.
    ProgramRun whole = RunConsoleProgram(Quoted(file));
    EXPECT_EQ(0u, whole.exitCode);
    EXPECT_TRUE("file:" + name + "\ntEXt : big " + big + "\ntEXt : workflow {\"a\":1}\ntEXt : nul before\n" == whole.out)
        << whole.out.substr(whole.out.size() < 200 ? 0 : whole.out.size() - 200);
    ProgramRun texts = RunConsoleProgram(L"--text " + Quoted(file));
    EXPECT_TRUE(big + "\n{\"a\":1}\nbefore\n" == texts.out) << "no blank text for a cut";
}

// The files of a folder with their sizes, and its folders (hidden ones too) as "NAME/".
static std::string FolderListing(const std::wstring& folder) {
    std::vector<std::string> lines;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return "(no folder)";
    do {
        const std::wstring name = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            lines.push_back(Utf8(name) + " " + std::to_string(found.nFileSizeLow) + "\n");
        else if (name != L"." && name != L"..")
            lines.push_back(Utf8(name) + "/\n");
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (const std::string& line : lines) all += line;
    return all;
}

TEST(ConsoleOutFolder, OneFilePerChunkNamedSafelyNeverOverwrittenWithoutForce) {
    const std::wstring ai = WriteAiImage();
    const std::wstring named = WriteScratchFile(
        L"named.png", PngWith({TextChunk("a<b>:c|d?*", "x"), TextChunk("trail. .", "[1, 2]"), TextChunk("a<b>:c|d?*", "y"),
                             TextChunk("", "no keyword"), TextChunk("json", "{\"a\": 1} trailing")}));
    const std::wstring out = ScratchFolder() + L"\\out-" + std::to_wstring(GetTickCount()) + L"\\made";
    ProgramRun first = RunConsoleProgram(L"-v --utf8-text --out " + Quoted(out) + L" " + Quoted(ai) + L" " + Quoted(named));
    EXPECT_EQ(0u, first.exitCode) << first.err;
    EXPECT_EQ("", first.out);
    EXPECT_EQ("ai image.Comment.txt 5\nai image.Title.txt 5\nai image.parameters.txt 16\nai image.prompt.json 40\n"
              "ai image.workflow.json 44\nnamed._.txt 10\nnamed.a_b__c_d__.2.txt 1\nnamed.a_b__c_d__.txt 1\n"
              "named.json.txt 17\nnamed.trail.json 6\n",
              FolderListing(out))
        << "the folder is made, names are safe, repeats numbered, JSON parsed";
    EXPECT_EQ(Utf8(out + L"\\ai image.Comment.txt\n"), first.err.substr(0, first.err.find('\n') + 1)) << "-v names each file";
    EXPECT_EQ("{\"1\": {\"inputs\": {\"text\": \"Cat \xC3\xA9t\xC3\xA9\"}}}", ReadWhole(out + L"\\ai image.prompt.json"))
        << "the text as UTF-8, no byte-order mark";

    // Again into the same folder: every file exists, none is touched, each is a notice and exit code 1.
    HANDLE marker = CreateFileW((out + L"\\ai image.Title.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(marker, "mine", 4, &written, nullptr);
    CloseHandle(marker);
    ProgramRun again = RunConsoleProgram(L"--pretty --out " + Quoted(out) + L" -k Title -k workflow " + Quoted(ai));
    EXPECT_EQ(1u, again.exitCode);
    EXPECT_EQ(Utf8(out + L"\\ai image.Title.txt: Exists, not overwritten (--force overwrites)\n" + out +
                   L"\\ai image.workflow.json: Exists, not overwritten (--force overwrites)\n"),
              again.err);
    EXPECT_EQ("mine", ReadWhole(out + L"\\ai image.Title.txt"));
    ProgramRun grep = RunConsoleProgram(L"-e hello --out " + Quoted(out) + L" " + Quoted(ai));
    EXPECT_EQ(2u, grep.exitCode) << "with --grep a file not written is an error";

    // --force overwrites; --pretty indents the JSON it writes.
    ProgramRun forced = RunConsoleProgram(L"--force --pretty --out " + Quoted(out) + L" -k Title -k workflow " + Quoted(ai));
    EXPECT_EQ(0u, forced.exitCode) << forced.err;
    EXPECT_EQ("", forced.err);
    EXPECT_EQ("Hello", ReadWhole(out + L"\\ai image.Title.txt"));
    EXPECT_EQ("{\n  \"nodes\": [\n    1,\n    {\n      \"id\": 2\n    }\n  ],\n  \"links\": [],\n  \"extra\": {}\n}",
              ReadWhole(out + L"\\ai image.workflow.json"));
}

// A stream that writes to a file, as the program's stderr does.
static ConsoleStream StreamTo(HANDLE file) {
    HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, file);
    ConsoleStream stream(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, saved);
    return stream;
}

TEST(ConsoleOutFolder, AFullDiskLeavesNoFileUnderItsNameAndTheNextRunWritesIt) {
    const std::wstring out = ScratchFolder() + L"\\full-" + std::to_wstring(GetTickCount());
    CliOptions options;
    options.form = OutputForm::OutFolder;
    options.outFolder = out;
    const std::wstring errPath = ScratchFolder() + L"\\full-err.txt";
    HANDLE errFile = InheritableOutput(errPath);
    ConsoleStream err = StreamTo(errFile);
    {
        // A volume with 60 KB of room: the large text does not fit, and nothing fits after it.
        SetWriterRoom(61440);
        OutFolder folder(options);
        EXPECT_FALSE(folder.Write(L"big.png", L"big", std::wstring(200000, L'b'), false, &err));
        EXPECT_FALSE(folder.Write(L"big.png", L"after", L"after", false, &err));
        SetWriterRoom(-1);
    }
    CloseHandle(errFile);
    const std::string said = ReadWhole(errPath);
    EXPECT_EQ(0u, said.find(Utf8(out + L"\\big.big.txt: Cannot write file: "))) << said;
    EXPECT_NE(std::string::npos, said.find(Utf8(out + L"\\big.after.txt: Cannot write file: "))) << said;
    EXPECT_EQ("", FolderListing(out)) << "nothing half-written, no temporary file left";
    ProgramRun again = RunConsoleProgram(L"--out " + Quoted(out) + L" -k big -k after " +
                                         Quoted(WriteScratchFile(L"big.png", PngWith({TextChunk("big", std::string(200000, 'b')),
                                                                                      TextChunk("after", "after")}))));
    EXPECT_EQ(0u, again.exitCode) << again.err;
    EXPECT_EQ("big.after.txt 5\nbig.big.txt 200000\n", FolderListing(out));
}

TEST(ConsoleOutFolder, ForceReplacesALinkInTheFolderAndNeverWritesThroughIt) {
    const std::wstring image = WriteScratchFile(L"linked.png", PngWith({TextChunk("k", "new text"), TextChunk("k", "newer")}));
    const std::wstring out = ScratchFolder() + L"\\linked-" + std::to_wstring(GetTickCount());
    const std::wstring outside = out + L"-outside.txt";
    CreateDirectoryW(out.c_str(), nullptr);
    HANDLE file = CreateFileW(outside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, "outside", 7, &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(CreateHardLinkW((out + L"\\linked.k.txt").c_str(), outside.c_str(), nullptr));
    const bool symbolic = CreateSymbolicLinkW((out + L"\\linked.k.2.txt").c_str(), outside.c_str(), 0) != FALSE;
    ProgramRun kept = RunConsoleProgram(L"--out " + Quoted(out) + L" " + Quoted(image));
    EXPECT_EQ(1u, kept.exitCode);
    EXPECT_EQ("outside", ReadWhole(outside));
    ProgramRun forced = RunConsoleProgram(L"--force --out " + Quoted(out) + L" " + Quoted(image));
    EXPECT_EQ(0u, forced.exitCode) << forced.err;
    EXPECT_EQ("new text", ReadWhole(out + L"\\linked.k.txt"));
    if (symbolic) {
        EXPECT_EQ("newer", ReadWhole(out + L"\\linked.k.2.txt"));
    }
    EXPECT_EQ("outside", ReadWhole(outside)) << "the file outside the folder was written through the link";
}

// Starts pngtext-cli in a console of its own, as Explorer does; null handle when it cannot.
static HANDLE StartInConsoleOfItsOwn(const std::wstring& arguments, DWORD* processId) {
    std::wstring commandLine = Quoted(CLI_PATH) + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr, &startup,
                        &process))
        return nullptr;
    CloseHandle(process.hThread);
    *processId = process.dwProcessId;
    return process.hProcess;
}

// Attaches to the console of a process and reads its screen; empty when it cannot (yet).
static std::wstring ScreenOf(DWORD processId) {
    FreeConsole();
    if (!AttachConsole(processId)) return L"";
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    std::wstring text = ScreenText(screen);
    CloseHandle(screen);
    return text;
}

// Presses a key in the console the test is attached to.
static bool PressKey() {
    HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) return false;
    INPUT_RECORD key[2] = {};
    for (int i = 0; i < 2; i++) {
        key[i].EventType = KEY_EVENT;
        key[i].Event.KeyEvent.bKeyDown = i == 0;
        key[i].Event.KeyEvent.wRepeatCount = 1;
        key[i].Event.KeyEvent.wVirtualKeyCode = VK_SPACE;
        key[i].Event.KeyEvent.uChar.UnicodeChar = L' ';
    }
    DWORD written = 0;
    bool pressed = WriteConsoleInputW(input, key, 2, &written) && written == 2;
    CloseHandle(input);
    return pressed;
}

TEST(ConsoleFrontEnd, AConsoleOfItsOwnStaysOpenUntilAKeyIsPressed) {
    const std::wstring suite = SuiteFile(L"ctzn0g04.png");
    struct Case {
        std::wstring arguments;
        DWORD exitCode;
        const wchar_t* shows;  // besides the prompt
    } cases[] = {
        {Quoted(suite), 0, L"zTXt: Disclaimer Freeware."},  // files dropped on the program
        {L"", 2, L"Files can be dropped on pngtext-cli.exe"},  // a double-click: usage, and how to give it files
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        DWORD id = 0;
        HANDLE process = StartInConsoleOfItsOwn(c.arguments, &id);
        ASSERT_NE(nullptr, process);
        // Attached too early, the test would share the console before the program asks who does.
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process, 1500)) << "it waits";
        std::wstring shown;
        for (int wait = 0; wait < 300 && shown.find(L"Press any key to close this window.") == std::wstring::npos; wait++) {
            if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
            shown = ScreenOf(id);
        }
        EXPECT_NE(std::wstring::npos, shown.find(L"Press any key to close this window.")) << shown;
        EXPECT_NE(std::wstring::npos, shown.find(c.shows)) << shown;
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process, 300)) << "it waits for the key";
        EXPECT_TRUE(PressKey());
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process, 15000)) << "a key closes it";
        DWORD exitCode = 99;
        GetExitCodeProcess(process, &exitCode);
        EXPECT_EQ(c.exitCode, exitCode);
        if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) TerminateProcess(process, 99);
        CloseHandle(process);
        FreeConsole();
    }
}

// ---- Every failure is said: output that cannot be written, folders that cannot be read ----

// Names of one small PNG, count times: enough output that every write after the first fails too.
static std::wstring ManyNames(int count) {
    const std::wstring one = Quoted(WriteScratchFile(L"one-text.png", PngWith({TextChunk("Title", std::string(300, 'x'))})));
    std::wstring names;
    for (int i = 0; i < count; i++) names += (i ? L" " : L"") + one;
    return names;
}

TEST(ConsoleFailures, APipeClosedByItsReaderEndsTheRunQuietly) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    CloseHandle(readEnd);  // the reader has gone before the first line, as `| head -0` would
    ProgramRun run = RunConsoleProgram(ManyNames(200), writeEnd);
    CloseHandle(writeEnd);
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_EQ("", run.err);
}

TEST(ConsoleFailures, AFolderThatCannotBeReadAtAnyDepthIsSaid) {
    // A folder whose name is longer than a listing of it can take: the walk meets it, cannot list it.
    const std::wstring root = ScratchFolder() + L"\\deep-tree";
    CreateDirectoryW(root.c_str(), nullptr);
    WriteScratchFile(L"deep-tree\\top.png", PngWith({TextChunk("Top", "1")}));
    std::wstring deep = L"\\\\?\\" + root;
    for (int level = 0; level < 3; level++) {
        deep += L"\\" + std::wstring(120, static_cast<wchar_t>(L'a' + level));
        CreateDirectoryW(deep.c_str(), nullptr);
    }
    WriteScratchFile(deep.substr(4 + ScratchFolder().size() + 1) + L"\\bottom.png", PngWith({TextChunk("Bottom", "2")}));
    ProgramRun run = RunConsoleProgram(L"-r " + Quoted(root));
    EXPECT_NE(std::string::npos, run.out.find("tEXt : Top 1\n")) << run.out;
    if (run.err.empty()) {
        // The system lists folders of any length (Wine does): nothing to say, and nothing lost.
        EXPECT_NE(std::string::npos, run.out.find("tEXt : Bottom 2\n")) << run.out;
        EXPECT_EQ(0u, run.exitCode);
    } else {
        EXPECT_EQ(1u, run.exitCode);
        EXPECT_NE(std::string::npos, run.err.find(": Cannot read folder\n")) << run.err;
    }
}

// What a report sink wrote through real streams: stdout's bytes and stderr's.
static std::pair<std::string, std::string> WrittenBy(ConsoleReport& report) {
    const std::wstring outPath = ScratchFolder() + L"\\report-out.txt";
    const std::wstring errPath = ScratchFolder() + L"\\report-err.txt";
    HANDLE outFile = InheritableOutput(outPath), errFile = InheritableOutput(errPath);
    HANDLE savedOut = GetStdHandle(STD_OUTPUT_HANDLE), savedErr = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, outFile);
    SetStdHandle(STD_ERROR_HANDLE, errFile);
    ConsoleStream out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, savedOut);
    SetStdHandle(STD_ERROR_HANDLE, savedErr);
    report.WriteTo(&out, &err);
    CloseHandle(outFile);
    CloseHandle(errFile);
    return {ReadWhole(outPath), ReadWhole(errPath)};
}

TEST(ConsoleFailures, MemoryRunningOutAnywhereInAFilesScanLeavesWholeLinesAndANotice) {
    const std::wstring file = WriteScratchFile(
        L"out-of-memory.png", PngWith({TextChunk("Title", "Hello"), CompressedTextChunk("Comment", std::string(40000, 'z')),
                                       InternationalTextChunk("Title", "en", "Titel", "Hallo")}));
    std::vector<uint8_t> work(WorkBufferSize);
    // A report of its own, and one made in a thread's buffers that are kept from run to run (output
    // gathered as UTF-8, the search's scratch kept).
    for (bool json : {false, true}) for (bool kept : {false, true}) {
        CliOptions options;
        options.form = json ? OutputForm::Json : OutputForm::Report;
        const ChunkFilter everyChunk(options);
        ConsoleFileLoader loader;
        std::unique_ptr<ConsoleReport> whole = NewConsoleReport(options, everyChunk);
        ASSERT_TRUE(ScanTextChunks(file, true, whole.get(), work.data(), &loader));
        const std::string wholeOut = WrittenBy(*whole).first;
        int failures = 0;
        bool loaded = true;
        SearchScratch scratch(work.data(), true);
        OutputPool pool;
        ReportBuffers buffers;
        buffers.pool = &pool;
        buffers.stdoutUtf8 = buffers.stderrUtf8 = true;
        auto newReport = [&] { return NewConsoleReport(options, everyChunk, nullptr, kept ? &buffers : nullptr).release(); };
        std::unique_ptr<ConsoleReport> report(newReport());  // made outside the armed runs
        FailEachAllocationOf([&] {
                loaded = kept ? ScanTextChunks(file, true, report.get(), &scratch, &loader)
                              : ScanTextChunks(file, true, report.get(), work.data(), &loader);
            },
            [&](bool failed) {
                std::pair<std::string, std::string> written = WrittenBy(*report);
                report.reset(newReport());
                if (!failed) {
                    EXPECT_TRUE(loaded);
                    EXPECT_EQ(wholeOut, written.first);
                    return;
                }
                failures++;
                EXPECT_FALSE(loaded) << "a report cut by memory is never passed off as whole";
                EXPECT_EQ(Utf8(file) + ": Cannot allocate memory\n", written.second);
                // Whole lines of the complete report, in order; JSON adds the notice's object.
                std::string lines = written.first;
                if (json) {
                    size_t notice = lines.rfind("{\"file\"");
                    ASSERT_NE(std::string::npos, notice);
                    EXPECT_NE(std::string::npos, lines.find("\"notice\":\"Cannot allocate memory\"", notice));
                    lines.resize(notice);
                }
                EXPECT_EQ(wholeOut.substr(0, lines.size()), lines);
                EXPECT_TRUE(lines.empty() || lines.back() == '\n');
            });
        EXPECT_GT(failures, 3);
    }
}

TEST(ConsoleFailures, OutputThatCannotBeWrittenStopsTheRunWithItsOwnExitCodeAndReason) {
    const std::wstring names = ManyNames(200);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    // A full disk: Wine reaches Linux's /dev/full as Z:\\dev\\full; Windows has none to offer.
    HANDLE full = CreateFileW(L"Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (full == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no full device to write to";
    for (const wchar_t* form : {L"", L"--json "}) {
        ProgramRun run = RunConsoleProgram(form + names, full);
        EXPECT_EQ(3u, run.exitCode) << "exit code 0 would say the report is whole";
        EXPECT_EQ(0u, run.err.find("pngtext-cli: cannot write output: ")) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line, no notice per file: " << run.err;
    }
    // stderr full: its notices are lost, which is as much a failed output as stdout's.
    const std::wstring image = WriteScratchFile(L"stderr-full.png", PngWith({TextChunk("Title", "x")}));
    const std::wstring copies = ScratchFolder() + L"\\stderr-full-" + std::to_wstring(GetTickCount());
    for (const std::wstring& arguments : {L"-v --clean " + Quoted(copies) + L" " + Quoted(image),
                                          L"-v --out " + Quoted(copies + L"-out") + L" " + Quoted(image),
                                          Quoted(image) + L" " + Quoted(ScratchFolder() + L"\\no-such-file.png"),
                                          L"--json " + Quoted(ScratchFolder() + L"\\no-such-file.png")}) {
        ProgramRun run = RunConsoleProgram(arguments, nullptr, full);
        EXPECT_EQ(3u, run.exitCode) << "a notice that could not be written was passed off as success: " << Utf8(arguments);
    }
    ProgramRun quiet = RunConsoleProgram(Quoted(image), nullptr, full);
    EXPECT_EQ(0u, quiet.exitCode) << "nothing written to stderr, nothing failed";
    EXPECT_EQ("file:" + Utf8(image) + "\ntEXt : Title x\n", quiet.out);
    CloseHandle(full);
}

// Images with each kind of hidden data, written to disk, for --check: name and bytes.
static std::vector<std::pair<std::wstring, std::string>> CheckImages() {
    using testpng::Chunk;
    using pixelpng::Encode;
    std::vector<std::pair<std::wstring, std::string>> images;
    auto hidden = [](unsigned channels, pixelpng::Mode mode, bool compressed, const std::string& text) {
        pixelpng::Pixels pixels = pixelpng::Noise(96, 200, channels);
        pixelpng::HideText(&pixels, mode, compressed, text);
        return Encode(pixels);
    };
    auto with = [](std::vector<std::string> chunks, const std::string& trailer = std::string()) {
        pixelpng::Layout layout;
        layout.beforeImageData = std::move(chunks);
        layout.trailer = trailer;
        return Encode(pixelpng::Noise(96, 200, 4), layout);
    };
    const std::string xmp = "<x:xmpmeta><rdf:Description Iptc4xmpExt:DigitalSourceType="
                            "\"http://cv.iptc.org/newscodes/digitalsourcetype/trainedAlgorithmicMedia\"/></x:xmpmeta>";
    images.emplace_back(L"plain.png", Encode(pixelpng::Noise(96, 200, 4)));
    images.emplace_back(L"stealth-alpha.png", hidden(4, pixelpng::Mode::Alpha, false, "a fox\nSteps: 20"));
    images.emplace_back(L"stealth-alpha-gzip.png", hidden(4, pixelpng::Mode::Alpha, true, "{\"Comment\": \"{}\"}"));
    images.emplace_back(L"stealth-rgb.png", hidden(3, pixelpng::Mode::Rgb, false, "Steps: 30"));
    images.emplace_back(L"stealth-rgb-gzip.png", hidden(3, pixelpng::Mode::Rgb, true, "Steps: 40"));
    images.emplace_back(L"credentials.png", with({Chunk("caBX", std::string(500, 'c'))}));
    images.emplace_back(L"exif.png", with({Chunk("eXIf", pixelpng::ExifData(false, 6, true))}));
    images.emplace_back(L"xmp.png", with({Chunk("iTXt", testpng::ItxtData("XML:com.adobe.xmp", 0, 0, "", "", xmp))}));
    images.emplace_back(L"trailer.png", with({}, "Steps: 20, Seed: 5"));
    images.emplace_back(L"key.png", with({Chunk("tEXt", testpng::TextData("workflow",
                                              "{\"widgets_values\": [\"sk-abcdefghijklmnopqrstuvwxyz\"]}"))}));
    // An image of few colours, as a lossless optimiser stores one: the text is in its palette's colours.
    pixelpng::Pixels few = pixelpng::FewColours(96, 200, 64);
    pixelpng::HideText(&few, pixelpng::Mode::Alpha, false, "Steps: 20");
    pixelpng::Layout paletted;
    paletted.paletteDepth = 8;
    images.emplace_back(L"stealth-palette.png", Encode(few, paletted));
    return images;
}

TEST(ConsoleFrontEnd, CheckFindsEachKindOfHiddenDataAndNothingInAPlainImage) {
    CreateDirectoryW((ScratchFolder() + L"\\check").c_str(), nullptr);
    struct Expected {
        const wchar_t* name;
        const char* lines;  // after the "file:" line
    } expected[] = {
        {L"plain.png", "nothing found\n"},
        {L"stealth-alpha.png", "stealth: alpha, 15 bytes\n"},
        {L"stealth-alpha-gzip.png", "stealth: alpha, compressed, "},
        {L"stealth-rgb.png", "stealth: rgb, 9 bytes\n"},
        {L"stealth-rgb-gzip.png", "stealth: rgb, compressed, "},
        {L"credentials.png", "caBX: 500 bytes of content credentials\n"},
        {L"exif.png", "eXIf: 56 bytes, orientation 6, GPS\n"},
        {L"xmp.png", "iTXt XML:com.adobe.xmp: 166 bytes\nXMP: digital source type trainedAlgorithmicMedia (made by AI)\n"},
        {L"trailer.png", "after IEND: 18 bytes\n"},
        {L"key.png", "tEXt workflow: 62 bytes, generation data\nsecret in tEXt workflow: a key starting \"sk-ab...\" at byte 21 of it\n"},
        {L"stealth-palette.png", "stealth: alpha, 9 bytes\n"},
    };
    std::vector<std::pair<std::wstring, std::string>> images = CheckImages();
    for (const Expected& e : expected) {
        std::wstring path;
        for (const auto& image : images) {
            if (image.first == e.name) path = WriteScratchFile(L"check\\" + image.first, std::vector<uint8_t>(image.second.begin(), image.second.end()));
        }
        ASSERT_FALSE(path.empty());
        ProgramRun run = RunConsoleProgram(L"--check " + Quoted(path));
        SCOPED_TRACE(testing::PrintToString(run.out));
        const std::string start = "file:" + Utf8(path) + "\n" + e.lines;
        EXPECT_EQ(start, run.out.substr(0, start.size()));
        EXPECT_EQ(wcscmp(e.name, L"plain.png") == 0 ? 1u : 0u, run.exitCode) << "grep's: 1 nothing found, 0 found";
        EXPECT_EQ("", run.err);
    }
}

TEST(ConsoleFrontEnd, CheckAsJsonGivesAnObjectPerFindingAndTheHiddenText) {
    CreateDirectoryW((ScratchFolder() + L"\\check").c_str(), nullptr);
    std::vector<std::pair<std::wstring, std::string>> images = CheckImages();
    const std::wstring stealth = WriteScratchFile(L"check\\json-stealth.png", std::vector<uint8_t>(images[2].second.begin(), images[2].second.end()));
    const std::wstring plain = WriteScratchFile(L"check\\json-plain.png", std::vector<uint8_t>(images[0].second.begin(), images[0].second.end()));
    std::string stealthJson, plainJson;
    AppendJsonString(stealthJson, stealth);
    AppendJsonString(plainJson, plain);
    ProgramRun run = RunConsoleProgram(L"--check --json " + Quoted(stealth) + L" " + Quoted(plain));
    EXPECT_EQ(0u, run.exitCode);
    const std::string gzipped = pixelpng::Gzip("{\"Comment\": \"{}\"}");
    EXPECT_EQ("{\"file\":" + stealthJson + ",\"finding\":\"stealth\",\"mode\":\"alpha\",\"compressed\":true,\"length_bits\":" +
                  std::to_string(gzipped.size() * 8) + ",\"size\":" + std::to_string(gzipped.size()) +
                  ",\"state\":\"complete\",\"inflate\":\"complete\",\"text\":\"{\\\"Comment\\\": \\\"{}\\\"}\"}\n"
                  "{\"file\":" + plainJson + ",\"finding\":\"nothing\"}\n",
              run.out);
}

TEST(ConsoleFrontEnd, CheckExitCodesAndTheOptionsItRefuses) {
    CreateDirectoryW((ScratchFolder() + L"\\check").c_str(), nullptr);
    std::vector<std::pair<std::wstring, std::string>> images = CheckImages();
    const std::wstring plain = Quoted(WriteScratchFile(L"check\\codes-plain.png", std::vector<uint8_t>(images[0].second.begin(), images[0].second.end())));
    std::string cut = images[0].second.substr(0, images[0].second.size() - 100);
    const std::wstring damaged = Quoted(WriteScratchFile(L"check\\codes-cut.png", std::vector<uint8_t>(cut.begin(), cut.end())));
    const std::wstring notPng = Quoted(WriteScratchFile(L"check\\codes-text.png", {'h', 'i'}));
    struct Case {
        std::wstring arguments;
        DWORD exitCode;
        const char* errPart;  // null: nothing on stderr
    } cases[] = {
        {L"--check " + plain, 1, nullptr},
        {L"--check " + plain + L" " + Quoted(SuiteFile(L"ct1n0g04.png")), 0, nullptr},
        {L"--check " + plain + L" missing.png", 2, "missing.png: "},
        {L"--check " + notPng, 2, "codes-text.png: Not a PNG file\n"},
        {L"--check " + damaged, 2, "codes-cut.png: Damaged PNG: a chunk runs past the end of the file at offset "},
        {L"--check -l " + plain, 2, "--check chooses the output"},
        {L"--check --text " + plain, 2, "--check chooses the output"},
        {L"--check --out x " + plain, 2, "--check chooses the output"},
        {L"--check -k prompt " + plain, 2, "-k, -i, --grep and --utf8-text do not go with it"},
        {L"--check -e fox " + plain, 2, "-k, -i, --grep and --utf8-text do not go with it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        ProgramRun run = RunConsoleProgram(c.arguments);
        EXPECT_EQ(c.exitCode, run.exitCode);
        if (c.errPart) {
            EXPECT_NE(std::string::npos, run.err.find(c.errPart)) << run.err;
        } else {
            EXPECT_EQ("", run.err);
        }
    }
}

// --clean: a file written to disk from bytes.
static std::wstring WriteBytes(const std::wstring& name, const std::string& bytes) {
    return WriteScratchFile(name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

static std::wstring FreshFolder(const wchar_t* name) {
    static int made = 0;
    return ScratchFolder() + L"\\" + name + L"-" + std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++made);
}

TEST(ConsoleClean, CopiesKeepEveryOtherChunkByteForByteAndNoTextOriginalsUntouched) {
    const std::wstring source = FreshFolder(L"clean-src");
    CreateDirectoryW(source.c_str(), nullptr);
    CreateDirectoryW((source + L"\\sub").c_str(), nullptr);
    std::vector<std::pair<std::wstring, std::string>> images;
    for (auto& image : CheckImages()) {
        if (image.first.find(L"stealth") == std::wstring::npos) images.push_back(image);
    }
    using testpng::Chunk;
    pixelpng::Layout layout;
    layout.beforeImageData = {Chunk("iCCP", std::string("icc\0\0", 5) + testpng::Deflate("profile")),
                              Chunk("tEXt", testpng::TextData("parameters", "a fox")), Chunk("pHYs", std::string(9, '\1')),
                              Chunk("tIME", std::string(7, '\1')), Chunk("prVt", "private")};
    layout.afterImageData = {Chunk("zTXt", testpng::ZtxtData("workflow", "{}"))};
    layout.imageDataPiece = 4096;
    images.emplace_back(L"sub\\colour.png", pixelpng::Encode(pixelpng::Noise(96, 200, 4), layout));
    for (auto& image : images) WriteBytes(source.substr(ScratchFolder().size() + 1) + L"\\" + image.first, image.second);
    const std::wstring copies = FreshFolder(L"clean-out");
    ProgramRun run = RunConsoleProgram(L"-r -v --clean " + Quoted(copies) + L" " + Quoted(source));
    EXPECT_EQ(1u, run.exitCode) << "the eXIf kept for its orientation is said" << run.err;
    EXPECT_EQ(std::string::npos, FolderListing(copies).find("~pngtext-")) << "the run's folder for temporaries is gone";
    for (auto& image : images) {
        SCOPED_TRACE(Utf8(image.first));
        EXPECT_EQ(image.second, ReadWhole(source + L"\\" + image.first)) << "the original is untouched";
        const std::string copy = ReadWhole(copies + L"\\" + image.first);
        ASSERT_FALSE(copy.empty());
        std::string expected = image.second.substr(0, 8);
        for (const std::string& chunk : pixelpng::ChunksOf(image.second)) {
            const std::string type = chunk.substr(4, 4);
            const bool turning = type == "eXIf";  // orientation 6 in the test image
            if (turning || (type != "tEXt" && type != "zTXt" && type != "iTXt" && type != "tIME" && type != "caBX"))
                expected += chunk;
        }
        EXPECT_TRUE(expected == copy) << expected.size() << " bytes expected, " << copy.size() << " copied";
    }
    EXPECT_NE(std::string::npos, run.err.find("exif.png: eXIf kept in the copy: its orientation is 6")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("credentials.png: caBX removed: ")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("  removed tEXt parameters (16 bytes): text\n")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("  kept prVt (7 bytes): unknown chunk")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("  kept byte for byte, in order: IHDR, iCCP, pHYs, IDAT x")) << run.err;

    // --keep keeps the texts named; --drop eXIf removes the turning eXIf; JSON tells each copy.
    const std::wstring kept = FreshFolder(L"clean-keep");
    ProgramRun json = RunConsoleProgram(L"--json --keep parameters --drop eXIf --clean " + Quoted(kept) + L" " +
                                        Quoted(source + L"\\sub\\colour.png") + L" " + Quoted(source + L"\\exif.png"));
    EXPECT_EQ(0u, json.exitCode) << json.err;
    std::vector<std::string> chunks = pixelpng::ChunksOf(ReadWhole(kept + L"\\colour.png"));
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ("tEXt", chunks[2].substr(4, 4));
    EXPECT_EQ(std::string::npos, ReadWhole(kept + L"\\exif.png").find("eXIf"));
    EXPECT_NE(std::string::npos, json.out.find("\"copy\":")) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("{\"type\":\"zTXt\",\"keyword\":\"workflow\"")) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("\"why\":\"kept_text\"")) << json.out;
}

TEST(ConsoleClean, NothingExistingIsOverwrittenAndACopyNeverReplacesItsSource) {
    const std::wstring folder = FreshFolder(L"clean-exists");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring image = WriteBytes(folder.substr(ScratchFolder().size() + 1) + L"\\a.png", CheckImages()[9].second);
    const std::wstring copies = folder + L"\\copies";
    CreateDirectoryW(copies.c_str(), nullptr);
    HANDLE mine = CreateFileW((copies + L"\\a.png").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(mine, "mine", 4, &written, nullptr);
    CloseHandle(mine);
    ProgramRun kept = RunConsoleProgram(L"--clean " + Quoted(copies) + L" " + Quoted(image));
    EXPECT_EQ(1u, kept.exitCode);
    EXPECT_EQ(Utf8(copies + L"\\a.png: Exists, not overwritten (--force overwrites)\n"), kept.err);
    EXPECT_EQ("mine", ReadWhole(copies + L"\\a.png"));
    ProgramRun forced = RunConsoleProgram(L"--force --clean " + Quoted(copies) + L" " + Quoted(image));
    EXPECT_EQ(0u, forced.exitCode) << forced.err;
    EXPECT_EQ(std::string::npos, ReadWhole(copies + L"\\a.png").find("workflow"));
    // The folder of the file itself, with --force: the file is never replaced by its copy.
    const std::string original = ReadWhole(image);
    ProgramRun itself = RunConsoleProgram(L"--force --clean " + Quoted(folder) + L" " + Quoted(image));
    EXPECT_EQ(1u, itself.exitCode);
    EXPECT_NE(std::string::npos, itself.err.find("a.png: The copy would replace the file itself: no copy made")) << itself.err;
    EXPECT_EQ(original, ReadWhole(image));
    EXPECT_EQ("a.png " + std::to_string(original.size()) + "\ncopies/\n", FolderListing(folder)) << "no temporary file left";
}

TEST(ConsoleClean, ADamagedPngGetsANoticeAndNothingIsLeftBehind) {
    const std::wstring copies = FreshFolder(L"clean-damaged");
    std::string good = pixelpng::Encode(pixelpng::Noise(32, 32, 4));
    std::string badCrc = good;
    badCrc[good.find("IDAT") + 20] ^= 1;
    std::string cut = good.substr(0, good.size() - 30);
    const std::wstring bad = WriteBytes(L"damaged-crc.png", badCrc), short_ = WriteBytes(L"damaged-cut.png", cut),
                       text = WriteBytes(L"damaged-text.png", "not an image");
    ProgramRun run = RunConsoleProgram(L"--clean " + Quoted(copies) + L" " + Quoted(bad) + L" " + Quoted(short_) + L" " +
                                       Quoted(text));
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("damaged-crc.png: Not a well-formed PNG (the CRC of IDAT at byte 33 is wrong): no copy made\n"))
        << run.err;
    EXPECT_NE(std::string::npos, run.err.find("damaged-cut.png: Not a well-formed PNG (a chunk at byte ")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("damaged-text.png: Not a well-formed PNG (no PNG signature): no copy made\n")) << run.err;
    EXPECT_EQ("(no folder)", FolderListing(copies)) << "no copy, not even the folder";
    EXPECT_EQ(badCrc, ReadWhole(bad));
}

TEST(ConsoleClean, AFullDiskLeavesNoCopyAndNoTemporaryFile) {
    const std::wstring copies = FreshFolder(L"clean-full");
    pixelpng::Layout layout;
    layout.beforeImageData = {testpng::Chunk("tEXt", testpng::TextData("parameters", "a fox"))};
    const std::wstring image = WriteBytes(L"clean-full.png", pixelpng::Encode(pixelpng::Noise(200, 200, 4), layout));
    CliOptions options = ParseCommandLine(4, std::vector<const wchar_t*>{L"pngtext-cli", L"--clean", copies.c_str(), image.c_str()}.data());
    ASSERT_EQ(L"", options.error);
    ChunkFilter filter(options);
    std::unique_ptr<ConsoleReport> sink = NewConsoleReport(options, filter);
    ConsoleReport& report = *sink;
    ConsoleFileLoader loader;
    CleanMemory memory;
    CleanRun run(options);
    CliItem item;
    item.name = image;
    item.rootLength = ScratchFolder().size() + 1;
    SetWriterRoom(20000);  // less than the image data
    EXPECT_FALSE(CleanFile(item, options, &loader, &memory, &run, &report));
    SetWriterRoom(-1);
    const std::wstring errPath = ScratchFolder() + L"\\clean-full-err.txt";
    HANDLE errFile = InheritableOutput(errPath);
    ConsoleStream err = StreamTo(errFile);
    ConsoleStream out = StreamTo(errFile);
    report.WriteTo(&out, &err);
    CloseHandle(errFile);
    const std::string said = ReadWhole(errPath);
    EXPECT_EQ(0u, said.find(Utf8(copies + L"\\clean-full.png: Cannot write file: "))) << said;
    // The run's own folder for temporaries stays while the run does, and empty.
    const std::wstring partial = L"~pngtext-" + std::to_wstring(GetCurrentProcessId()) + L".partial";
    EXPECT_EQ(Utf8(partial) + "/\n", FolderListing(copies)) << "nothing half-written";
    EXPECT_EQ("", FolderListing(copies + L"\\" + partial)) << "no temporary file left";
    EXPECT_TRUE(CleanFile(item, options, &loader, &memory, &run, &report)) << "with room the same copy is written";
    EXPECT_EQ(std::string::npos, ReadWhole(copies + L"\\clean-full.png").find("parameters"));
}

TEST(ConsoleClean, HiddenTextInThePixelsStaysAndIsSaidWithExitCodeOne) {
    const std::wstring copies = FreshFolder(L"clean-stealth");
    const std::wstring image = WriteBytes(L"clean-stealth.png", CheckImages()[1].second);
    ProgramRun run = RunConsoleProgram(L"--clean " + Quoted(copies) + L" " + Quoted(image));
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ(Utf8(image + L": Text hidden in the pixels stays in the copy (--clear-stealth removes it)\n"), run.err);
    EXPECT_EQ(CheckImages()[1].second, ReadWhole(copies + L"\\clean-stealth.png"));
    ProgramRun plain = RunConsoleProgram(L"--clean " + Quoted(copies) + L" " + Quoted(WriteBytes(L"clean-plain.png", CheckImages()[0].second)));
    EXPECT_EQ(0u, plain.exitCode) << plain.err;
    EXPECT_EQ("", plain.err);
    for (const wchar_t* refused : {L"--check", L"--text", L"-l", L"-e fox", L"--out x"}) {
        ProgramRun wrong = RunConsoleProgram(std::wstring(refused) + L" --clean " + Quoted(copies) + L" " + Quoted(image));
        EXPECT_EQ(2u, wrong.exitCode) << Utf8(refused);
    }
    EXPECT_EQ(2u, RunConsoleProgram(L"--drop IDAT --clean " + Quoted(copies) + L" " + Quoted(image)).exitCode);
    EXPECT_EQ(2u, RunConsoleProgram(L"--keep parameters " + Quoted(image)).exitCode);
    EXPECT_EQ(2u, RunConsoleProgram(L"--clear-stealth " + Quoted(image)).exitCode);
}

// What a copy's pixels hide, as the reader finds it.
static StealthState StealthOf(const std::string& file) {
    pixelpng::FoundImage image = pixelpng::FindImage(file);
    MemoryBytes source(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    return ReadStealth(&source, image.header, image.found ? &image.firstImageData : nullptr, &image.palette).state;
}

TEST(ConsoleClean, ClearStealthTakesTheHiddenTextOutOfThePixelsAndLeavesPlainImagesAlone) {
    const std::wstring folder = FreshFolder(L"clean-clear");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring below = folder.substr(ScratchFolder().size() + 1);
    std::wstring names;
    std::vector<std::pair<std::wstring, std::string>> stealthy;
    for (auto& image : CheckImages()) {
        if (image.first.find(L"stealth") == std::wstring::npos) continue;
        stealthy.push_back(image);
        names += L" " + Quoted(WriteBytes(below + L"\\" + image.first, image.second));
    }
    ASSERT_EQ(5u, stealthy.size());
    const std::wstring copies = folder + L"\\copies";
    ProgramRun run = RunConsoleProgram(L"-v --clear-stealth --clean " + Quoted(copies) + names);
    EXPECT_EQ(0u, run.exitCode) << run.err;
    for (auto& image : stealthy) {
        SCOPED_TRACE(Utf8(image.first));
        const std::string copy = ReadWhole(copies + L"\\" + image.first);
        EXPECT_EQ(StealthState::Found, StealthOf(image.second));
        EXPECT_EQ(StealthState::Absent, StealthOf(copy));
        EXPECT_EQ(image.second, ReadWhole(folder + L"\\" + image.first)) << "the original is untouched";
        std::vector<std::string> chunks = pixelpng::ChunksOf(copy);
        ASSERT_GE(chunks.size(), 3u);
        EXPECT_EQ(pixelpng::ChunksOf(image.second)[0], chunks[0]) << "IHDR byte for byte";
        EXPECT_EQ("IEND", chunks.back().substr(4, 4));
    }
    EXPECT_NE(std::string::npos, run.err.find("stealth-alpha.png: copied to ")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("  cleared text hidden in the pixels (alpha, ")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("  cleared text hidden in the pixels (rgb, ")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(" bits set as the writer found them): in the colours of PLTE and tRNS, ")) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("stays in the copy")) << run.err;

    ProgramRun json = RunConsoleProgram(L"--json --clear-stealth --clean " + Quoted(folder + L"\\json") + L" " +
                                        Quoted(folder + L"\\stealth-rgb-gzip.png"));
    EXPECT_EQ(0u, json.exitCode) << json.err;
    EXPECT_NE(std::string::npos, json.out.find("{\"type\":\"IDAT\",\"offset\":")) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("\"why\":\"stealth\"}")) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("\"stealth\":\"cleared\",\"cleared\":{\"modes\":[\"rgb\"],\"bits\":")) << json.out;

    // A plain image's copy is the same with the option as without it.
    const std::wstring plain = WriteBytes(below + L"\\plain.png", CheckImages()[0].second);
    ProgramRun without = RunConsoleProgram(L"--clean " + Quoted(folder + L"\\without") + L" " + Quoted(plain));
    ProgramRun with = RunConsoleProgram(L"--clear-stealth --clean " + Quoted(folder + L"\\with") + L" " + Quoted(plain));
    EXPECT_EQ(0u, without.exitCode);
    EXPECT_EQ(0u, with.exitCode) << with.err;
    EXPECT_EQ("", with.err);
    EXPECT_EQ(ReadWhole(folder + L"\\without\\plain.png"), ReadWhole(folder + L"\\with\\plain.png"));
    EXPECT_EQ(CheckImages()[0].second, ReadWhole(folder + L"\\with\\plain.png"));
    // The copy's name as one path, whatever separators the folder was given with.
    ProgramRun slashes = RunConsoleProgram(L"-v --clean " + Quoted(folder + L"/slashes/below") + L" " + Quoted(plain));
    EXPECT_EQ(0u, slashes.exitCode) << slashes.err;
    EXPECT_NE(std::string::npos, slashes.err.find(": copied to " + Utf8(folder + L"\\slashes\\below\\plain.png\n"))) << slashes.err;
    // An image the pixels of which cannot be read for hidden text (its header says interlaced, its data
    // is not: the rows end early): copied, nothing cleared, said.
    std::string interlaced = CheckImages()[1].second;
    const std::string header = pixelpng::ChunksOf(interlaced)[0];
    interlaced.replace(8, header.size(), testpng::Chunk("IHDR", header.substr(8, 12) + std::string(1, '\1')));
    const std::wstring unread = WriteBytes(below + L"\\interlaced.png", interlaced);
    ProgramRun notChecked = RunConsoleProgram(L"--clear-stealth --clean " + Quoted(folder + L"\\unread") + L" " + Quoted(unread));
    EXPECT_EQ(1u, notChecked.exitCode);
    EXPECT_EQ(Utf8(unread + L": The pixels could not be checked for hidden text: the copy may hold some\n"), notChecked.err);
    EXPECT_EQ(interlaced, ReadWhole(folder + L"\\unread\\interlaced.png"));
}

TEST(ConsoleClean, CopiesAndOutFilesGoIntoFoldersPastThePathLimit) {
    // Past the classic limit the system's file calls take only extended-length names.
    const std::wstring folder = FreshFolder(L"long") + L"\\" + std::wstring(120, L'l') + L"\\" + std::wstring(120, L'm');
    ASSERT_GT(folder.size(), static_cast<size_t>(MAX_PATH));
    const std::wstring image = WriteAiImage();
    ProgramRun clean = RunConsoleProgram(L"-v --clean " + Quoted(folder + L"\\copies") + L" " + Quoted(image));
    EXPECT_EQ(0u, clean.exitCode) << clean.err;
    const std::string copy = ReadWhole(L"\\\\?\\" + folder + L"\\copies\\ai image.png");
    std::string kept, copied;
    for (const std::string& chunk : pixelpng::ChunksOf(ReadWhole(image)))
        if (chunk.substr(5, 3) != "TXt" && chunk.substr(4, 4) != "tEXt") kept += chunk;
    for (const std::string& chunk : pixelpng::ChunksOf(copy)) copied += chunk;
    EXPECT_FALSE(copied.empty());
    EXPECT_EQ(kept, copied);
    EXPECT_EQ("ai image.png " + std::to_string(copy.size()) + "\n", FolderListing(L"\\\\?\\" + folder + L"\\copies"))
        << "nothing else, no temporary folder";
    ProgramRun out = RunConsoleProgram(L"-k parameters --out " + Quoted(folder + L"\\texts") + L" " + Quoted(image));
    EXPECT_EQ(0u, out.exitCode) << out.err;
    EXPECT_EQ("ai image.parameters.txt 16\n", FolderListing(L"\\\\?\\" + folder + L"\\texts"));
}

TEST(ConsoleClean, TwoFilesOfOneNameGiveTheFirstNamedItsCopyAndTheOtherANotice) {
    const std::wstring folder = FreshFolder(L"clean-clash");
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\a").c_str(), nullptr);
    CreateDirectoryW((folder + L"\\b").c_str(), nullptr);
    const std::wstring below = folder.substr(ScratchFolder().size() + 1);
    const std::string first = CheckImages()[0].second, second = CheckImages()[8].second;
    const std::wstring a = WriteBytes(below + L"\\a\\x.png", first), b = WriteBytes(below + L"\\b\\X.png", second);
    const std::wstring copies = folder + L"\\copies";
    for (const wchar_t* force : {L"", L"--force "}) {
        SCOPED_TRACE(Utf8(force));
        for (int order = 0; order < 2; order++) {
            const std::wstring& earlier = order ? b : a;
            const std::wstring& later = order ? a : b;
            DeleteFileW((copies + L"\\x.png").c_str());
            ProgramRun run = RunConsoleProgram(std::wstring(force) + L"--clean " + Quoted(copies) + L" " + Quoted(earlier) + L" " +
                                               Quoted(later) + L" " + Quoted(earlier));
            EXPECT_EQ(1u, run.exitCode);
            const std::string notice = ": Its copy's name is taken by a file named before it: no copy made\n";
            EXPECT_EQ(Utf8(later) + notice + Utf8(earlier) + notice, run.err);
            EXPECT_EQ(order ? std::string(second.substr(0, second.size() - 18)) : first, ReadWhole(copies + L"\\x.png"))
                << "the copy of the first named, its trailer removed";
        }
    }
}
