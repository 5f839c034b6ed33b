// cli_main.cpp: pngtext-cli, the console front end: the report of each named file on stdout.
#include <windows.h>
#include <emmintrin.h>
#include <cstdint>
#include <string>
#include "report/compressed_text.h"
#include "report/report_sink.h"
#include "report/scan_text_chunks.h"
#include "runtime/files.h"
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"

// Length of the leading run of units below U+0080, eight at a time where the processor can.
static size_t AsciiRunScalar(const wchar_t* units, size_t count) {
    size_t i = 0;
    while (i < count && units[i] < 0x80) i++;
    return i;
}

__attribute__((target("sse2"))) static size_t AsciiRunSse2(const wchar_t* units, size_t count) {
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    size_t i = 0;
    for (; count - i >= 8; i += 8) {
        __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(eight, high), _mm_setzero_si128())) != 0xFFFF) break;
    }
    return i + AsciiRunScalar(units + i, count - i);
}

static size_t AsciiRun(const wchar_t* units, size_t count) {
    static const bool haveSse2 = __builtin_cpu_supports("sse2");
    return haveSse2 ? AsciiRunSse2(units, count) : AsciiRunScalar(units, count);
}

// Appends text as UTF-8. Runs below U+0080 are copied unit by unit; the other runs go through the
// system converter. A run never ends inside a surrogate pair, so the bytes equal one conversion of
// the whole text, and a report of plain text costs no converter call at all.
static void AppendUtf8(std::string& out, const std::wstring& text) {
    const wchar_t* units = text.data();
    size_t count = text.size();
    size_t i = 0;
    while (i < count) {
        size_t ascii = AsciiRun(units + i, count - i);
        if (ascii > 0) {
            size_t at = out.size();
            out.resize(at + ascii);
            char* to = &out[at];
            for (size_t k = 0; k < ascii; k++) to[k] = static_cast<char>(units[i + k]);
            i += ascii;
        }
        size_t start = i;
        while (i < count && units[i] >= 0x80) i++;
        if (i > start) {
            int length = static_cast<int>(i - start);
            int size = WideCharToMultiByte(CP_UTF8, 0, units + start, length, nullptr, 0, nullptr, nullptr);
            if (size <= 0) continue;
            size_t at = out.size();
            out.resize(at + static_cast<size_t>(size));
            WideCharToMultiByte(CP_UTF8, 0, units + start, length, &out[at], size, nullptr, nullptr);
        }
    }
}

static std::string Utf8(const std::wstring& text) {
    std::string bytes;
    AppendUtf8(bytes, text);
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
// Notices go to stderr as "FILE: message" after the report so far has been written. Lines gather
// in one buffer, so a file's report usually leaves in one write (the scan flushes once per file);
// only a report beyond FlushSize is written in parts, keeping memory bounded.
class ConsoleReport : public ReportSink {
public:
    void StartReport(const std::wstring& fileName, bool) override { AppendLine(FileLine(fileName)); }
    void AppendReportLine(const TextChunkRecord& record) override { AppendLine(ReportLine(record)); }
    void AppendLine(const std::wstring& line) {
        AppendUtf8(pending_, line);
        pending_ += '\n';
        if (pending_.size() >= FlushSize) Flush();
    }
    void Notice(const wchar_t*, const wchar_t* message, const std::wstring& fileName) override {
        WriteAll(GetStdHandle(STD_ERROR_HANDLE), Utf8(fileName + L": " + message) + "\n");
    }
    void Flush() override {
        WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), pending_);
        pending_.clear();
    }

private:
    static const size_t FlushSize = 4u << 20;
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
        // An argument is one name, line feeds and all.
        if (!ScanTextChunks(argv[i], true, &report, workBuffer)) allLoaded = false;
        report.Flush();
    }
    if (!workBuffer) report.Notice(L"File", L"Cannot allocate memory", L"pngtext-cli");
    report.Flush();
    MemFree(workBuffer);
    FreeFileLibrary();
    FreeMemoryLibrary();
    DestroyMainHeap();
    return allLoaded ? 0 : 1;
}
