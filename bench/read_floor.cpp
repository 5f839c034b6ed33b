// read_floor.cpp: the floors of a whole-file scan: the least work that reads every byte of the files once.
// Usage: read_floor FILE|FOLDER            one ReadFile of each file into fresh VirtualAlloc memory
//        read_floor --read FILE|FOLDER     opens each file, reads it in pieces into a buffer that is
//                                          reused from piece to piece and file to file, closes it
//        read_floor --mapped FILE|FOLDER   opens each file, maps it in views of the console loader's
//                                          size one after the other and reads every byte once
//        read_floor --copy FOLDER DEST     copies each file of FOLDER into the new folder DEST: reads it
//                                          in pieces into a reused buffer and writes each piece to a new
//                                          file of the same name (the floor of --clean)
//        read_floor --copy-flushed FOLDER DEST   the same, each copy flushed to disk before it is closed,
//                                          as --clean flushes each copy before it takes its name
//        (a folder's files are shared out over as many threads as the console front end would use on
//        them, --clean's for the copies, each with a buffer of its own; the benchmarks time the whole
//        process)
//        read_floor --profile FILE         prints, in-process, the time of each step of a console scan:
//                                          fresh memory + read, the memory heap's zeroed block + read, the
//                                          search, the UTF-8 conversion of the report lines, and the console
//                                          front end's loader (load, search, release)
#include <windows.h>
#include <emmintrin.h>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>
#include "report/console_file_loader.h"
#include "app/console/scan_run.h"
#include "report/chunk_scan.h"
#include "report/compressed_text.h"
#include "report/report_sink.h"
#include "runtime/mapped_view.h"
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"
#include "bench/bench_support.h"

// Reads the whole file into block (size bytes) with one ReadFile; false on failure.
static bool ReadWhole(const wchar_t* path, void* block, DWORD size) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD read = 0;
    BOOL ok = ReadFile(file, block, size, &read, nullptr);
    CloseHandle(file);
    return ok && read == size;
}

static DWORD SizeOf(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data) || data.nFileSizeHigh || data.nFileSizeLow >= 0x80000000u) return 0;
    return data.nFileSizeLow;
}

namespace {
class LineSink : public ReportSink {
public:
    void StartReport(const std::wstring& name, bool) override { lines.push_back(FileLine(name)); }
    bool AppendReportLine(const TextChunkRecord& record) override {
        lines.push_back(ReportLine(record));
        return true;
    }
    void Notice(const wchar_t*, const wchar_t*, const std::wstring&) override {}
    void Flush() override {}
    std::vector<std::wstring> lines;
};
}  // namespace

static int Profile(const wchar_t* path) {
    const DWORD size = SizeOf(path);
    if (!size) return 1;
    CreateMainHeap();
    InitMemoryLibrary();
    printf("%ls: %.1f MB\n", path, size / 1e6);
    for (int round = 0; round < 3; round++) {
        double t0 = Seconds();
        void* fresh = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        bool ok = fresh && ReadWhole(path, fresh, size);
        double t1 = Seconds();
        if (fresh) VirtualFree(fresh, 0, MEM_RELEASE);
        double t2 = Seconds();
        uint8_t* block = static_cast<uint8_t*>(MemAlloc(static_cast<int32_t>(size)));
        double t3 = Seconds();
        ok = ok && block && ReadWhole(path, block, size);
        double t4 = Seconds();
        uint8_t* work = static_cast<uint8_t*>(MemAlloc(WorkBufferSize));
        LineSink sink;
        if (ok) SearchTextChunks(block, size, &sink, work);
        double t5 = Seconds();
        size_t bytes = 0;
        for (const std::wstring& line : sink.lines) {
            bytes += static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr));
        }
        double t6 = Seconds();
        MemFree(block);
        double t7 = Seconds();
        ConsoleFileLoader loader;
        LoadedFile loaded;
        bool consoleOk = !loader.Load(path, -1, &loaded);
        double t8 = Seconds();
        LineSink consoleSink;
        if (consoleOk) SearchTextChunks(loaded.view, loaded.views, &consoleSink, work);
        double t9 = Seconds();
        loader.Release(&loaded);
        double t10 = Seconds();
        MemFree(work);
        printf("round %d: fresh memory + read %.1f ms | heap block %.1f ms + read %.1f ms | search %.1f ms (%u lines) | "
               "UTF-8 %.1f ms (%u bytes) | free %.1f ms | console loader: load %.1f ms, search %.1f ms (%u lines), "
               "release %.1f ms%s\n",
               round, (t1 - t0) * 1e3, (t3 - t2) * 1e3, (t4 - t3) * 1e3, (t5 - t4) * 1e3, static_cast<unsigned>(sink.lines.size()),
               (t6 - t5) * 1e3, static_cast<unsigned>(bytes), (t7 - t6) * 1e3, (t8 - t7) * 1e3, (t9 - t8) * 1e3,
               static_cast<unsigned>(consoleSink.lines.size()), (t10 - t9) * 1e3, ok && consoleOk ? "" : " (FAILED)");
    }
    FreeMemoryLibrary();
    DestroyMainHeap();
    return 0;
}

// One ReadFile of the whole file into fresh memory, released after.
static bool ReadFresh(const wchar_t* path) {
    const DWORD size = SizeOf(path);
    void* block = size ? VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
    bool ok = block && ReadWhole(path, block, size);
    if (block) VirtualFree(block, 0, MEM_RELEASE);
    return ok;
}

// Every byte of the view added up, 32 at a time, so that no read can be left out.
__attribute__((target("sse2"))) static uint64_t SumBytes(const uint8_t* bytes, size_t n) {
    __m128i sum = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16));
        sum = _mm_add_epi64(sum, _mm_add_epi64(_mm_sad_epu8(a, _mm_setzero_si128()), _mm_sad_epu8(b, _mm_setzero_si128())));
    }
    uint64_t total = static_cast<uint64_t>(_mm_cvtsi128_si32(sum)) + static_cast<uint64_t>(_mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
    for (; i < n; i++) total += bytes[i];
    return total;
}

// Opens, maps and reads every byte of a file once, in views that slide along it as the console's do.
static bool MapAndRead(const wchar_t* path, uint64_t* total) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER size;
    if (file == INVALID_HANDLE_VALUE) return false;
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return false;
    }
    const size_t view = (ViewSize() + ViewAlignment - 1) / ViewAlignment * ViewAlignment;
    bool ok = true;
    for (uint64_t at = 0; ok && at < static_cast<uint64_t>(size.QuadPart); at += view) {
        size_t length = static_cast<size_t>(std::min<uint64_t>(view, size.QuadPart - at));
        MappedView mapped;
        ok = mapped.Open(file, at, length);
        if (ok) *total += SumBytes(mapped.Bytes(), length);
    }
    CloseHandle(file);
    return ok;
}

// The floors' reads: 1 MB, as ours read until 512 KB took less; the floor reads as fast either way
// (ours searches each piece while it is in the processor's cache, which the floor never reads back).
const size_t FloorPieceSize = 1u << 20;

// Opens a file, reads it to its end in pieces into buffer (FloorPieceSize bytes), closes it.
static bool ReadReused(const wchar_t* path, uint8_t* buffer) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, static_cast<DWORD>(FloorPieceSize), &read, nullptr) != 0) && read == FloorPieceSize) {
    }
    CloseHandle(file);
    return ok;
}

// Copies a file to a new one (never over an existing one) through buffer (FloorPieceSize bytes).
static bool CopyReused(const wchar_t* path, const std::wstring& target, uint8_t* buffer, bool flush) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    HANDLE copy = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (copy == INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    DWORD read = 0, written = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, static_cast<DWORD>(FloorPieceSize), &read, nullptr) != 0) && read > 0) {
        if (!(ok = WriteFile(copy, buffer, read, &written, nullptr) && written == read)) break;
    }
    if (ok && flush) ok = FlushFileBuffers(copy) != 0;
    CloseHandle(file);
    return CloseHandle(copy) && ok;
}

enum class Floor { Fresh, Read, Mapped, Copy, CopyFlushed };

// The files a name stands for: itself, or a folder's files in listing order.
static std::vector<std::wstring> FilesOf(const wchar_t* name) {
    DWORD attributes = GetFileAttributesW(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return {name};
    const std::wstring folder = std::wstring(name) + L"\\";
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(folder + found.cFileName);
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    return files;
}

// Every file read once by the floor's way, on as many threads as the console front end uses.
static int ReadAll(Floor floor, const wchar_t* name, const wchar_t* dest = nullptr) {
    const std::vector<std::wstring> files = FilesOf(name);
    if (files.empty()) return 1;
    const bool copying = floor == Floor::Copy || floor == Floor::CopyFlushed;
    if (copying && (files[0] == name || !CreateDirectoryW(dest, nullptr))) return 1;  // a folder's files only
    const size_t nameAt = wcslen(name) + 1;  // a folder's files are named FOLDER\NAME
    // The copies on as many threads as --clean copies on, the reads on as many as a scan reads on.
    CliOptions copyOptions;
    copyOptions.cleanFolder = copying ? dest : L"";
    unsigned threads = std::min<size_t>(ScanThreads(copyOptions, ProcessorCount()), files.size());
    std::atomic<size_t> next(0);
    std::atomic<bool> ok(true);
    std::atomic<uint64_t> sum(0);
    auto work = [&] {
        uint8_t* buffer = floor == Floor::Read || copying
            ? static_cast<uint8_t*>(VirtualAlloc(nullptr, FloorPieceSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) : nullptr;
        uint64_t total = 0;
        for (size_t i; (i = next++) < files.size();) {
            bool done = floor == Floor::Fresh ? ReadFresh(files[i].c_str())
                        : floor == Floor::Mapped ? MapAndRead(files[i].c_str(), &total)
                        : !buffer ? false
                        : copying ? CopyReused(files[i].c_str(), std::wstring(dest) + L"\\" + files[i].substr(nameAt), buffer,
                                               floor == Floor::CopyFlushed)
                        : ReadReused(files[i].c_str(), buffer);
            if (!done) ok = false;
        }
        sum += total;
        if (buffer) VirtualFree(buffer, 0, MEM_RELEASE);
    };
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads; i++) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();
    if (floor == Floor::Mapped) printf("%llu\n", static_cast<unsigned long long>(sum.load()));
    return ok ? 0 : 1;
}

// The C runtime's wide arguments (its _startupinfo holds one int, the new-handler mode).
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int wildcards, int* startup);

// -municode is not among the benchmark programs' link options, and CommandLineToArgvW would load
// shell32 and its dependencies, a start-up cost that is no part of reading a file.
int main() {
    int argc = 0;
    wchar_t** argv = nullptr;
    wchar_t** environment = nullptr;
    int newMode = 0;
    if (__wgetmainargs(&argc, &argv, &environment, 0, &newMode) != 0) return 2;
    if (argc == 3 && wcscmp(argv[1], L"--profile") == 0) return Profile(argv[2]);
    if (argc == 3 && wcscmp(argv[1], L"--mapped") == 0) return ReadAll(Floor::Mapped, argv[2]);
    if (argc == 3 && wcscmp(argv[1], L"--read") == 0) return ReadAll(Floor::Read, argv[2]);
    if (argc == 4 && wcscmp(argv[1], L"--copy") == 0) return ReadAll(Floor::Copy, argv[2], argv[3]);
    if (argc == 4 && wcscmp(argv[1], L"--copy-flushed") == 0) return ReadAll(Floor::CopyFlushed, argv[2], argv[3]);
    if (argc != 2) {
        printf("usage: read_floor [--profile | --mapped | --read] FILE | read_floor [--mapped | --read] FOLDER | "
               "read_floor --copy[-flushed] FOLDER DEST\n");
        return 2;
    }
    return ReadAll(Floor::Fresh, argv[1]);
}
