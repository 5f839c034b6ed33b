// cli_main.cpp: pngtext-cli, the console front end: the report of each named file on stdout.
#include <windows.h>
#include <cstdint>
#include <string>
#include "report/compressed_text.h"
#include "report/report_sink.h"
#include "report/scan_text_chunks.h"
#include "runtime/files.h"
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"

static std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

static void WriteAll(HANDLE handle, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(bytes.size() - done > (1u << 20) ? (1u << 20) : bytes.size() - done);
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) || written == 0) return;
        done += written;
    }
}

// The report as UTF-8 lines, each ended by LF (a line keeps any CR or LF that came from the file).
// Notices go to stderr as "FILE: message" after the report so far has been written.
class ConsoleReport : public ReportSink {
public:
    void StartReport(const std::wstring& firstLine, bool) override { AppendLine(firstLine); }
    void AppendLine(const std::wstring& line) override {
        pending_ += Utf8(line);
        pending_ += '\n';
        if (pending_.size() >= (1u << 16)) Flush();
    }
    void Notice(const wchar_t*, const wchar_t* message, const std::wstring& fileName) override {
        WriteAll(GetStdHandle(STD_ERROR_HANDLE), Utf8(fileName + L": " + message) + "\n");
    }
    void Flush() override {
        WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), pending_);
        pending_.clear();
    }

private:
    std::string pending_;
};

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        WriteAll(GetStdHandle(STD_ERROR_HANDLE),
                 "usage: pngtext-cli FILE...\n"
                 "Prints the tEXt, zTXt and iTXt chunks of each file; exit code 1 when a file cannot be loaded.\n");
        return 1;
    }
    // A real console shows the UTF-8 bytes as text only with its output code page set to UTF-8.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) SetConsoleOutputCP(CP_UTF8);
    CreateMainHeap();
    InitMemoryLibrary();
    InitFileLibrary();
    uint8_t* workBuffer = static_cast<uint8_t*>(MemAlloc(WorkBufferSize));
    ConsoleReport report;
    bool allLoaded = workBuffer != nullptr;
    for (int i = 1; i < argc && workBuffer; i++) {
        if (!argv[i][0]) {
            // The window ignores an empty name; a script that passes one has lost a file name.
            report.Notice(L"File", L"empty file name", L"\"\"");
            allLoaded = false;
            continue;
        }
        if (!ScanTextChunks(argv[i], &report, workBuffer)) allLoaded = false;
    }
    if (!workBuffer) report.Notice(L"File", L"Cannot allocate memory", L"pngtext-cli");
    report.Flush();
    MemFree(workBuffer);
    FreeFileLibrary();
    FreeMemoryLibrary();
    DestroyMainHeap();
    return allLoaded ? 0 : 1;
}
