// scan_run.cpp: worker threads that scan the console's items, and the writer that keeps their order.
#include "app/console/scan_run.h"
#include <windows.h>
#include <memory>
#include <new>
#include <thread>
#include "app/console/check_file.h"
#include "app/console/clean_file.h"
#include "app/console/form_sinks.h"
#include "report/console_file_loader.h"
#include "app/console/out_folder.h"
#include "report/compressed_text.h"
#include "report/scan_text_chunks.h"
#include "runtime/memory_blocks.h"
#include "runtime/thread_sync.h"

namespace {

// What one thread scans with: its loader (and the views and buffer the loader holds), its work buffer,
// the scratch its searches work in, the buffers its reports make their output in and the memory its
// copies are made in, all kept from file to file.
class Scanner {
public:
    explicit Scanner(const ReportBuffers& buffers)
        : workBuffer_(static_cast<uint8_t*>(MemAlloc(WorkBufferSize))), scratch_(workBuffer_, true), buffers_(buffers) {}
    ~Scanner() { MemFree(workBuffer_); }
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // False when the work buffer could not be had (then nothing is scanned: "Cannot allocate memory").
    bool Ready() const { return workBuffer_ != nullptr; }
    bool Scan(const CliItem& item, bool startsReport, ReportSink* sink) {
        return ScanTextChunks(item.name, startsReport, sink, &scratch_, &loader_, item.listedSize);
    }
    bool Check(const CliItem& item, bool json, ConsoleReport* report) {
        return CheckFile(item.name, item.listedSize, json, &loader_, report);
    }
    ReportBuffers* Buffers() { return &buffers_; }
    bool Clean(const CliItem& item, const CliOptions& options, CleanRun* run, ConsoleReport* report) {
        return CleanFile(item, options, &loader_, &cleanMemory_, run, report);
    }

private:
    ConsoleFileLoader loader_;
    uint8_t* workBuffer_;
    SearchScratch scratch_;
    ReportBuffers buffers_;
    CleanMemory cleanMemory_;
};

struct ItemResult {
    std::unique_ptr<ConsoleReport> report;  // null when even it could not be had
    bool loaded = false;
    bool done = false;
};

// For a file whose scan ran out of memory even for its notice: written without gathering anything.
static void WriteOutOfMemoryNotice(const std::wstring& name, ConsoleStream* err) {
    try {
        err->Write(name + L": Cannot allocate memory\n");
    } catch (const std::exception&) {
        err->Write(L"pngtext-cli: Cannot allocate memory\n");
    }
}

// Items handed out to the workers and results waiting for the writer.
class ScanQueue {
public:
    ScanQueue(const std::vector<CliItem>& items, const CliOptions& options, unsigned threads, const ConsoleStream& out,
              const ConsoleStream& err)
        : items_(items), options_(options), filter_(options), folder_(options), cleanRun_(options), results_(items.size()),
          ahead_(4 * threads) {
        buffers_.pool = &pool_;
        buffers_.stdoutUtf8 = !out.IsConsole();
        buffers_.stderrUtf8 = !err.IsConsole();
    }

    void Work() {
        Scanner scanner(buffers_);
        size_t index;
        while (Next(&index)) Finish(index, Scan(index, &scanner));
    }

    // Writes the results in order as they come. Without workers (work for one thread, or none could
    // be started) this thread scans each item just before writing it.
    ScanOutcome WriteAll(ConsoleStream* out, ConsoleStream* err, bool withoutWorkers) {
        std::unique_ptr<Scanner> scanner;
        if (withoutWorkers) scanner.reset(new (std::nothrow) Scanner(buffers_));
        ScanOutcome outcome;
        for (size_t i = 0; i < items_.size() && !out->Error() && !err->Error(); i++) {
            if (withoutWorkers) Finish(i, Scan(i, scanner.get()));
            std::unique_lock<ThreadLock> lock(lock_);
            changed_.Wait(lock, [&] { return results_[i].done; });
            ItemResult& result = results_[i];
            lock.unlock();
            ConsoleReport* report = result.report.get();
            outcome.reported = outcome.reported || (report && report->Reported());
            try {
                if (report) outcome.outputWritten = report->WriteTo(out, err) && outcome.outputWritten;
            } catch (const std::exception&) {
                // No memory to write this item's output: said, and the next ones follow.
                result.loaded = false;
            }
            // A file that ended without a notice ran out of memory before its notice could be gathered.
            if (!result.loaded && !(report && report->HasNotice())) WriteOutOfMemoryNotice(items_[i].name, err);
            outcome.allLoaded = outcome.allLoaded && result.loaded;
            result.report.reset();  // frees what the item gathered
            lock.lock();
            written_ = i + 1;
            if (out->Error() || err->Error()) stop_ = true;
            changed_.WakeAll();
        }
        outcome.outputFailed = out->Error() != 0 || err->Error() != 0;
        return outcome;
    }

private:
    bool Next(size_t* index) {
        std::unique_lock<ThreadLock> lock(lock_);
        changed_.Wait(lock, [&] { return stop_ || next_ >= items_.size() || next_ < written_ + ahead_; });
        if (stop_ || next_ >= items_.size()) return false;
        *index = next_++;
        return true;
    }

    void Finish(size_t index, bool loaded) {
        std::lock_guard<ThreadLock> lock(lock_);
        results_[index].loaded = loaded;
        results_[index].done = true;
        changed_.WakeAll();
    }

    bool Scan(size_t index, Scanner* scanner) {
        const CliItem& item = items_[index];
        std::unique_ptr<ConsoleReport>& sink = results_[index].report;
        try {
            sink = NewConsoleReport(options_, filter_, &stop_, scanner ? scanner->Buffers() : nullptr, &folder_);
            ConsoleReport& report = *sink;
            if (item.notice) {
                report.Notice(L"File", item.notice, item.name);
                return false;
            }
            if (!scanner || !scanner->Ready()) {
                report.Notice(L"File", L"Cannot allocate memory", item.name);
                return false;
            }
            if (options_.Clean()) return scanner->Clean(item, options_, &cleanRun_, &report);
            if (options_.check) return scanner->Check(item, options_.form == OutputForm::Json, &report);
            return scanner->Scan(item, index == 0, &report);
        } catch (const std::bad_alloc&) {
            // Out of memory for a notice itself: the item counts as not loaded; the next goes on.
        } catch (const std::length_error&) {
        }
        return false;
    }

    const std::vector<CliItem>& items_;
    const CliOptions& options_;
    const ChunkFilter filter_;
    OutFolder folder_;       // --out: its files are written on the scanning threads, placed by the writer
    CleanRun cleanRun_;      // --clean: what its threads share
    OutputPool pool_;        // declared before the results, whose reports give their buffers back to it
    ReportBuffers buffers_;  // what each thread's own buffers start from
    std::vector<ItemResult> results_;
    size_t ahead_;
    ThreadLock lock_;
    ThreadCondition changed_;
    size_t next_ = 0;
    size_t written_ = 0;
    // Raised once stdout or stderr failed: no item is handed out any more and the searches under way stop.
    volatile bool stop_ = false;
};

}  // namespace

unsigned ProcessorCount() {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || !process) return 1;
    unsigned count = 0;
    for (; process; process &= process - 1) count++;
    return count;
}

unsigned ScanThreads(const CliOptions& options, unsigned processors) {
    const unsigned MostCopyThreads = 8;
    const bool writesFiles = options.Clean() || !options.outFolder.empty();
    if (!writesFiles || processors < 2 || processors >= MostCopyThreads) return processors;
    return 2 * processors < MostCopyThreads ? 2 * processors : MostCopyThreads;
}

ScanOutcome ScanItems(const std::vector<CliItem>& items, const CliOptions& options, unsigned threads, ConsoleStream* out,
                      ConsoleStream* err) {
    if (items.empty()) return ScanOutcome();
    if (threads > items.size()) threads = static_cast<unsigned>(items.size());
    if (threads < 1) threads = 1;
    ScanQueue queue(items, options, threads, *out, *err);
    std::vector<std::thread> workers;
    try {
        // One thread's work is done on this one: starting a thread costs a Wine process about a millisecond.
        for (unsigned i = 0; i < threads && threads > 1; i++) workers.emplace_back([&queue] { queue.Work(); });
    } catch (const std::exception&) {
        // No more threads to be had: those started do the work (or, without any, the writer does).
    }
    ScanOutcome outcome = queue.WriteAll(out, err, workers.empty());
    for (std::thread& worker : workers) worker.join();
    return outcome;
}

int ExitCodeOf(const CliOptions& options, const ScanOutcome& outcome) {
    if (outcome.outputFailed) return ExitOutputFailed;
    const bool failed = !outcome.allLoaded || !outcome.outputWritten;
    if (!options.GrepExitCodes()) return failed ? ExitSomeNotLoaded : ExitAllLoaded;
    if (failed) return ExitError;
    return outcome.reported ? ExitFound : ExitNothingFound;
}
