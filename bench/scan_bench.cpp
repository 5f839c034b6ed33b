// scan_bench.cpp: search speed over 256 MB of random bytes and a large generated PNG against memchr, and the cost of a report.
// Usage: scan_bench [--reports] [--save-png PATH] [FILE...]  (FILE: further files to load and measure;
// --reports: only the report cases)
#include <windows.h>
#include <shellapi.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>
#include "report/chunk_scan.h"
#include "report/compressed_text.h"
#include "report/report_sink.h"
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"
#include "bench/bench_support.h"

namespace {
class CountingSink : public ReportSink {
public:
    void StartReport(const std::wstring&, bool) override {}
    bool AppendReportLine(const TextChunkRecord& record) override {
        lines++, characters += ReportLineLength(record);
        return true;
    }
    void Notice(const wchar_t*, const wchar_t*, const std::wstring&) override {}
    void Flush() override {}
    size_t lines = 0;
    size_t characters = 0;
};

// Assembles the report text as the window's sink does before it hands it to the text box.
class GatheringSink : public ReportSink {
public:
    void StartReport(const std::wstring&, bool) override {}
    bool AppendReportLine(const TextChunkRecord& record) override {
        report.Append(record);
        return true;
    }
    void Notice(const wchar_t*, const wchar_t*, const std::wstring&) override {}
    void Flush() override {}
    ReportText report;
};
}  // namespace

static uint32_t randomState = 0x9E3779B9u;
static uint32_t NextRandom() {
    randomState ^= randomState << 13;
    randomState ^= randomState >> 17;
    randomState ^= randomState << 5;
    return randomState;
}

// What memchr does over the same bytes: every 'X' (the byte all three type codes hold) found in turn.
static size_t CountWithMemchr(const uint8_t* block, size_t n) {
    size_t count = 0;
    const uint8_t* at = block;
    const uint8_t* end = block + n;
    while (at < end) {
        const void* hit = memchr(at, 'X', static_cast<size_t>(end - at));
        if (!hit) break;
        count++;
        at = static_cast<const uint8_t*>(hit) + 1;
    }
    return count;
}

static void Measure(const char* what, const uint8_t* block, size_t n, uint8_t* workBuffer) {
    const int rounds = 3;
    double bestSearch = 1e30, bestMemchr = 1e30;
    CountingSink sink;
    size_t hits = 0;
    for (int round = 0; round < rounds; round++) {
        sink = CountingSink();
        double start = Seconds();
        SearchTextChunks(block, n, &sink, workBuffer);
        double searched = Seconds();
        hits = CountWithMemchr(block, n);
        double counted = Seconds();
        if (searched - start < bestSearch) bestSearch = searched - start;
        if (counted - searched < bestMemchr) bestMemchr = counted - searched;
    }
    double megabytes = static_cast<double>(n) / 1e6;
    double search = megabytes / bestSearch, reference = megabytes / bestMemchr;
    printf("%-34s %9.1f %12.0f %12.0f %7.2f %7u  (%u 'X' bytes)\n", what, megabytes, search, reference,
           search / reference, static_cast<unsigned>(sink.lines), static_cast<unsigned>(hits));
    fflush(stdout);
}

static void AppendChunk(std::string& png, const char* type, const std::string& data) { png += Chunk(type, data); }

// A real RGB PNG: a gradient with strong noise (photo-like: deflate gains little), text chunks at
// both ends and IDAT split into 64 KiB chunks as common encoders do. Empty on failure.
static std::string NoisyPng(uint32_t width, uint32_t height) {
    std::string rows;
    rows.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    for (uint32_t y = 0; y < height; y++) {
        rows += '\1';  // filter Sub
        for (uint32_t x = 0; x < width * 3; x++) rows += static_cast<char>((NextRandom() & 0x3F) + (x & 0x80));
    }
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::string compressed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&compressed[0]), &size, reinterpret_cast<const Bytef*>(rows.data()),
                  static_cast<uLong>(rows.size()), 6) != Z_OK) {
        return std::string();
    }
    compressed.resize(size);
    std::string().swap(rows);

    std::string nul(1, '\0');
    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", BigEndian32(width) + BigEndian32(height) + std::string("\x08\x02\x00\x00\x00", 5));
    AppendChunk(png, "tEXt", "Title" + nul + "Noise");
    std::string comment = "Comment" + nul + nul;
    std::string deflated(200, '\0');
    uLongf deflatedSize = 200;
    compress2(reinterpret_cast<Bytef*>(&deflated[0]), &deflatedSize, reinterpret_cast<const Bytef*>("made by scan_bench"), 18, 9);
    AppendChunk(png, "zTXt", comment + deflated.substr(0, deflatedSize));
    for (size_t at = 0; at < compressed.size(); at += 65536) AppendChunk(png, "IDAT", compressed.substr(at, 65536));
    AppendChunk(png, "iTXt", "Author" + nul + nul + nul + "en" + nul + "Author" + nul + "scan_bench");
    AppendChunk(png, "IEND", std::string());
    return png;
}

// Best time of a search that also assembles the report the window would show.
static void MeasureReport(const char* what, const std::string& bytes, uint8_t* workBuffer) {
    double best = 1e30;
    size_t characters = 0;
    for (int round = 0; round < 20; round++) {
        GatheringSink sink;
        double start = Seconds();
        SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &sink, workBuffer);
        double took = Seconds() - start;
        if (took < best) best = took;
        characters = sink.report.Text().size();
    }
    printf("%-34s %9.1f ms for %u report characters\n", what, best * 1e3, static_cast<unsigned>(characters));
    fflush(stdout);
}

// The report cases: many small chunks, and one zTXt text far larger than the work buffer.
static void MeasureReports(uint8_t* workBuffer) {
    std::string nul(1, '\0');
    std::string many("\x89PNG\r\n\x1a\n", 8);
    for (int i = 0; i < 5000; i++) {
        AppendChunk(many, "tEXt", "Keyword" + std::to_string(i) + nul + "a text of some forty bytes, number " + std::to_string(i));
    }
    MeasureReport("report of 5,000 tEXt chunks", many, workBuffer);
    std::string text(1u << 20, 'a');
    for (size_t i = 0; i < text.size(); i++) text[i] = static_cast<char>('a' + (i * 7 + i / 61) % 26);
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string deflated(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&deflated[0]), &size, reinterpret_cast<const Bytef*>(text.data()),
              static_cast<uLong>(text.size()), 6);
    std::string big("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(big, "zTXt", "Comment" + nul + nul + deflated.substr(0, size));
    MeasureReport("report of one 1 MB zTXt text", big, workBuffer);
}

static std::string LoadFile(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    LARGE_INTEGER size;
    std::string bytes;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0x7FFFFFFF) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD done = 0;
        if (!ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &done, nullptr)) bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

int main() {
    PrintBuildTimed();
    // Wide arguments without -municode (the benchmark programs share one set of link options).
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) argc = 0;
    CreateMainHeap();
    InitMemoryLibrary();
    uint8_t* workBuffer = static_cast<uint8_t*>(MemAlloc(WorkBufferSize));
    const wchar_t* savePath = nullptr;
    std::vector<const wchar_t*> files;
    bool reportsOnly = false;
    for (int i = 1; i < argc; i++) {
        if (wcscmp(argv[i], L"--reports") == 0) reportsOnly = true;
        else if (wcscmp(argv[i], L"--save-png") == 0 && i + 1 < argc) savePath = argv[++i];
        else files.push_back(argv[i]);
    }
    MeasureReports(workBuffer);
    if (reportsOnly) return 0;
    printf("%-34s %9s %12s %12s %7s %7s\n", "buffer", "MB", "search MB/s", "memchr MB/s", "ratio", "lines");

    const size_t randomSize = 256u * 1000u * 1000u;
    uint8_t* random = static_cast<uint8_t*>(VirtualAlloc(nullptr, randomSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!random) {
        printf("cannot allocate %u bytes\n", static_cast<unsigned>(randomSize));
        return 1;
    }
    for (size_t i = 0; i < randomSize; i += 4) {
        uint32_t value = NextRandom();
        memcpy(random + i, &value, 4);
    }
    Measure("random bytes", random, randomSize, workBuffer);
    // For scale: one memchr call that never hits, the CRT's best case, over the same 256 MB zeroed.
    memset(random, 0, randomSize);
    double best = 1e30;
    for (int round = 0; round < 3; round++) {
        double start = Seconds();
        const void* hit = memchr(random, 'X', randomSize);
        double took = Seconds() - start;
        if (took < best && !hit) best = took;
    }
    printf("%-34s %9.1f %12s %12.0f\n", "(zeroed: one memchr call, no hit)", randomSize / 1e6, "", randomSize / 1e6 / best);
    VirtualFree(random, 0, MEM_RELEASE);

    const uint32_t side = 6000;
    std::string png = NoisyPng(side, side);
    if (png.empty()) {
        printf("cannot build the PNG\n");
        return 1;
    }
    if (savePath) printf("saved %ls: %s\n", savePath, SaveBytes(savePath, png) ? "yes" : "no");
    Measure("noisy RGB PNG 6000x6000", reinterpret_cast<const uint8_t*>(png.data()), png.size(), workBuffer);
    std::string().swap(png);

    for (const wchar_t* path : files) {
        std::string bytes = LoadFile(path);
        char label[40];
        snprintf(label, sizeof label, "file %ls", path);
        if (bytes.empty()) printf("%-34s cannot be loaded\n", label);
        else Measure(label, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), workBuffer);
    }
    MemFree(workBuffer);
    FreeMemoryLibrary();
    DestroyMainHeap();
    return 0;
}
