// console_front_end_test.cpp: pngtext-cli's stdout, byte for byte, against the scan's report lines
// converted whole by the system: plain and mixed texts, many scripts, reports larger than one write.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "report/compressed_text.h"
#include "report/report_sink.h"
#include "report/scan_text_chunks.h"
#include "runtime/files.h"
#include "tests/app/test_files.h"

namespace {

struct ProgramRun {
    std::string out;
    std::string err;
    DWORD exitCode = 99;
};

std::wstring Quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

// Reads a file the program wrote (its output goes to files: no pipe can fill up and stall it).
std::string ReadWhole(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

HANDLE InheritableOutput(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs pngtext-cli with the given argument text; stdout and stderr are captured whole.
ProgramRun RunConsoleProgram(const std::wstring& arguments) {
    ProgramRun run;
    const std::wstring outPath = ScratchFolder() + L"\\cli-out.txt";
    const std::wstring errPath = ScratchFolder() + L"\\cli-err.txt";
    HANDLE out = InheritableOutput(outPath);
    HANDLE err = InheritableOutput(errPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring commandLine = Quoted(CLI_PATH) + (arguments.empty() ? L"" : L" " + arguments);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) return run;
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.out = ReadWhole(outPath);
    run.err = ReadWhole(errPath);
    return run;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring SuiteFile(const wchar_t* name) { return std::wstring(TESTDATA_DIR) + L"/pngsuite/" + name; }

// The bytes the console must show for a scan: every line converted whole by the system, then LF.
class ExpectedBytes : public ReportSink {
public:
    void StartReport(const std::wstring& fileName, bool) override { AppendLine(FileLine(fileName)); }
    void AppendReportLine(const TextChunkRecord& record) override { AppendLine(ReportLine(record)); }
    void AppendLine(const std::wstring& line) {
        text += Utf8(line);
        text += '\n';
        lines++;
    }
    void Notice(const wchar_t*, const wchar_t*, const std::wstring&) override { notices++; }
    void Flush() override {}
    std::string text;
    int lines = 0;
    int notices = 0;
};

ExpectedBytes ScanInProcess(const std::wstring& name) {
    InitFileLibrary();
    std::vector<uint8_t> work(WorkBufferSize);
    ExpectedBytes expected;
    ScanTextChunks(name, true, &expected, work.data());
    return expected;
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
        ExpectSameReport(std::wstring(TESTDATA_DIR) + L"/pngsuite/" + file, 1);
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
    EXPECT_EQ(Utf8(missing + L": Cannot allocate memory\n" + empty + L": Wrong size!\n"), run.err);
    const std::string expectedStart = Utf8(L"file:" + missing + L"\nfile:" + compressed + L"\ntEXt : Title PngSuite\n");
    ASSERT_GE(run.out.size(), expectedStart.size());
    EXPECT_EQ(expectedStart, run.out.substr(0, expectedStart.size()));
    EXPECT_NE(std::string::npos, run.out.find("zTXt: Disclaimer Freeware.\n")) << "compressed text is inflated";
    const std::string lastLine = Utf8(L"file:" + empty + L"\n");
    EXPECT_EQ(lastLine, run.out.substr(run.out.size() - lastLine.size()));
}

TEST(ConsoleFrontEnd, WithoutFilesPrintsUsageAndFails) {
    ProgramRun run = RunConsoleProgram(L"");
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("usage: pngtext-cli FILE..."));
}
