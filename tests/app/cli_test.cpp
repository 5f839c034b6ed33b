// cli_test.cpp: the console front end as a script sees it: bytes on stdout and stderr, and the exit code.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "tests/app/test_files.h"

namespace {

struct CliRun {
    std::string out;
    std::string err;
    DWORD exitCode = 0xFFFFFFFF;
};

std::wstring Quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

// Reads a file written by the child (output redirected to files: no pipe can fill up and stall it).
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

CliRun RunCli(const std::wstring& arguments) {
    CliRun run;
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

}  // namespace

TEST(ConsoleFrontEnd, PrintsEveryLineAsUtf8EndedByLineFeeds) {
    const std::wstring greek = SuiteFile(L"ctgn0g04.png");
    CliRun run = RunCli(Quoted(greek));
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
    CliRun run = RunCli(Quoted(missing) + L" " + Quoted(compressed) + L" " + Quoted(empty));
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
    CliRun run = RunCli(L"");
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("usage: pngtext-cli FILE..."));
}
