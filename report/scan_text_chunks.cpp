// scan_text_chunks.cpp: the load path of a scan (size, block, one read) and multi-name scans.
#include "report/scan_text_chunks.h"
#include <new>
#include <stdexcept>
#include <string>
#include "report/chunk_scan.h"
#include "report/report_test_seams.h"
#include "runtime/files.h"
#include "runtime/memory_blocks.h"

static void ShowNotice(ReportSink* sink, const wchar_t* message, const std::wstring& name) {
    // The user sees the report as it stands when the box appears.
    sink->Flush();
    sink->Notice(L"File", message, name);
}

static void (*beforeFileOpen)(const wchar_t* name);

// Test seam (report_test_seams.h).
void SetBeforeFileOpenHook(void (*hook)(const wchar_t* name)) { beforeFileOpen = hook; }

static bool ScanOneFile(const std::wstring& name, bool replace, ReportSink* sink, uint8_t* workBuffer) {
    sink->StartReport(L"file:" + name, replace);
    // Only the low 32 bits count, as a signed size: -1 (missing), -2 (directory) and sizes with
    // bit 31 set fail the allocation below; whole multiples of 4 GiB read as 0.
    int32_t size = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(QueryFileSize(name.c_str()))));
    if (size == 0) {
        ShowNotice(sink, L"Wrong size!", name);
        return false;
    }
    uint8_t* block = static_cast<uint8_t*>(MemAlloc(size));
    if (!block) {
        ShowNotice(sink, L"Cannot allocate memory", name);
        return false;
    }
    if (beforeFileOpen) beforeFileOpen(name.c_str());
    if (!OpenFileForReading(0, name.c_str())) {
        ShowNotice(sink, L"Cannot read file", name);
        MemFree(block);
        return false;
    }
    // One read; a short read leaves the rest of the zero-filled block as it was.
    ReadFileBlock(0, block, size);
    CloseFileObject(0);
    try {
        SearchTextChunks(block, static_cast<size_t>(size), sink, workBuffer);
    } catch (const std::bad_alloc&) {
        // A crafted file can ask for a report larger than memory: every zTXt or iTXt code in a
        // block without zeros has a keyword that runs to the end of the block. The lines reported
        // until memory ran out stay; the program goes on.
    } catch (const std::length_error&) {
        // The same for one line longer than a string can be: a text of over 2^30 bytes.
    }
    MemFree(block);
    return true;
}

bool ScanTextChunks(const wchar_t* names, ReportSink* sink, uint8_t* workBuffer) {
    if (!names || !*names) return true;
    bool allLoaded = true;
    bool first = true;
    const wchar_t* start = names;
    for (;;) {
        const wchar_t* end = start;
        while (*end && *end != L'\n') end++;
        if (end != start) {
            if (!ScanOneFile(std::wstring(start, end), first, sink, workBuffer)) allLoaded = false;
            first = false;
        }
        if (!*end) break;
        start = end + 1;
    }
    if (!first) sink->Flush();
    return allLoaded;
}
