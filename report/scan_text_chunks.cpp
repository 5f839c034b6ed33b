// scan_text_chunks.cpp: one file's scan: load, search, notices, and one way of failing for all of it.
#include "report/scan_text_chunks.h"
#include <new>
#include <stdexcept>
#include "report/chunk_scan.h"

static void ShowNotice(ReportSink* sink, const wchar_t* message, const std::wstring& name) {
    // The user sees the report as it stands when the notice appears.
    sink->Flush();
    sink->Notice(L"File", message, name);
}

namespace {
// Gives the loaded bytes back however the scan ends.
class LoadedFileOwner {
public:
    LoadedFileOwner(FileLoader* loader, LoadedFile* file) : loader_(loader), file_(file) {}
    LoadedFileOwner(const LoadedFileOwner&) = delete;
    LoadedFileOwner& operator=(const LoadedFileOwner&) = delete;
    ~LoadedFileOwner() { loader_->Release(file_); }

private:
    FileLoader* loader_;
    LoadedFile* file_;
};
}  // namespace

// Loads and searches; returns the notice that ends the file's report, or null when it is complete.
static const wchar_t* LoadAndSearch(const std::wstring& name, int64_t listedSize, bool startsReport, ReportSink* sink,
                                    SearchScratch* scratch, FileLoader* loader) {
    sink->StartReport(name, startsReport);
    LoadedFile file;
    if (const wchar_t* notice = loader->Load(name, listedSize, &file)) return notice;
    LoadedFileOwner owner(loader, &file);
    switch (SearchTextChunks(file.view, file.views, sink, scratch)) {
    case SearchEnd::ReadFailed: return L"Cannot read file";
    case SearchEnd::NoRoom: return L"Cannot allocate memory";
    default: return nullptr;
    }
}

// The one error policy of a scan: running out of memory anywhere in it (the loader, the search, the
// sink's calls, a line longer than a string can be) ends that file with the records reported so far
// and the notice "Cannot allocate memory", never passed off as a whole report. A crafted file can ask
// for that much: every zTXt or iTXt code in a block without zeros has a keyword that runs to the end.
bool ScanTextChunks(const std::wstring& name, bool startsReport, ReportSink* sink, uint8_t* workBuffer,
                    FileLoader* loader, int64_t listedSize) {
    SearchScratch scratch(workBuffer, false);
    return ScanTextChunks(name, startsReport, sink, &scratch, loader, listedSize);
}

bool ScanTextChunks(const std::wstring& name, bool startsReport, ReportSink* sink, SearchScratch* scratch,
                    FileLoader* loader, int64_t listedSize) {
    if (name.empty()) return true;
    WindowFileLoader windowLoader;
    if (!loader) loader = &windowLoader;
    const wchar_t* notice = L"Cannot allocate memory";
    try {
        notice = LoadAndSearch(name, listedSize, startsReport, sink, scratch, loader);
        if (!notice) return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    try {
        ShowNotice(sink, notice, name);
    } catch (const std::bad_alloc&) {
        // No memory even for the notice: the caller still learns that the file's report is not whole.
    } catch (const std::length_error&) {
    }
    return false;
}
