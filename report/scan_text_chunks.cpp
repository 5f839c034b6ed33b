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
// Thrown through the search when the loader says the bytes stopped being the file's.
struct ReadFailure {};

// Hands on only records made before reading failed: a record built from bytes read after the failure
// describes no chunk of the file.
class ReadCheckedSink : public ReportSink {
public:
    ReadCheckedSink(ReportSink* sink, FileLoader* loader, const LoadedFile& file)
        : sink_(sink), loader_(loader), file_(file) {}
    void StartReport(const std::wstring& fileName, bool startsReport) override {
        sink_->StartReport(fileName, startsReport);
    }
    void AppendReportLine(const TextChunkRecord& record) override {
        if (loader_->ReadFailed(file_)) throw ReadFailure();
        sink_->AppendReportLine(record);
    }
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override {
        sink_->Notice(title, message, fileName);
    }
    void Flush() override { sink_->Flush(); }

private:
    ReportSink* sink_;
    FileLoader* loader_;
    const LoadedFile& file_;
};

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

static bool ScanLoadedFile(const std::wstring& name, ReportSink* sink, uint8_t* workBuffer, FileLoader* loader,
                           const LoadedFile& file) {
    ReadCheckedSink checked(sink, loader, file);
    try {
        SearchTextChunks(file.bytes, file.size, &checked, workBuffer);
    } catch (const ReadFailure&) {
    }
    if (!loader->ReadFailed(file)) return true;
    ShowNotice(sink, L"Cannot read file", name);
    return false;
}

bool ScanTextChunks(const std::wstring& name, bool startsReport, ReportSink* sink, uint8_t* workBuffer,
                    FileLoader* loader) {
    if (name.empty()) return true;
    WindowFileLoader windowLoader;
    if (!loader) loader = &windowLoader;
    bool loaded = false;
    try {
        sink->StartReport(name, startsReport);
        LoadedFile file;
        if (const wchar_t* notice = loader->Load(name, &file)) {
            ShowNotice(sink, notice, name);
            return false;
        }
        loaded = true;
        LoadedFileOwner owner(loader, &file);
        return ScanLoadedFile(name, sink, workBuffer, loader, file);
    } catch (const std::bad_alloc&) {
        // A crafted file can ask for a report larger than memory: every zTXt or iTXt code in a
        // block without zeros has a keyword that runs to the end of the block. The records reported
        // until memory ran out stay; the caller goes on with its next name.
    } catch (const std::length_error&) {
        // The same for one line longer than a string can be: a text of over 2^30 bytes.
    }
    return loaded;
}
