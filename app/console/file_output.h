// file_output.h: what the console's report sinks share: one file's output, gathered until its turn.
#pragma once
#include <memory>
#include <string>
#include <vector>
#include "app/console/chunk_filter.h"
#include "app/console/options.h"
#include "app/console/output_stream.h"
#include "app/console/out_folder.h"
#include "app/console/output_pool.h"
#include "report/report_sink.h"

// What one scanning thread's reports make their output in, kept from file to file: the unit being
// made (a line, an object, a text; one that grew past KeptUnitUnits is freed after it) and the pool
// that gathered output comes from and goes back to. Output for a stream that is no console is
// gathered as UTF-8, encoded on the scanning thread, so that the writer only writes it.
struct ReportBuffers {
    OutputPool* pool = nullptr;
    bool stdoutUtf8 = false;  // stdout is no console
    bool stderrUtf8 = false;
    std::wstring unit;
    static const size_t KeptUnitUnits = 2u << 20;
};

// What one name adds to stdout and stderr (and to the --out folder), in order. Files are scanned on
// several threads, so each one's output waits here until the files before it have been written.
// It is kept as UTF-16 text and encoded once, when written (output_stream.h); with buffers, the
// parts for streams that are no console are kept as UTF-8, encoded as they are gathered.
// With --utf8-text, tEXt and zTXt fields stored as UTF-8 (StoredAsUtf8) are read as UTF-8 first.
// Only the chunks the filter selects are reported, each in the form of the sink (form_sinks.h); a
// notice is "FILE: message" on stderr, after the output before it.
// Each line is made apart and added with its ending as one unit, so running out of memory never
// leaves half a line or two lines glued together; nothing is kept from one file to the next but the
// buffers' memory.
// stop: null, or a flag that, once raised, makes the sink answer that the search should not go on
// (the output cannot be written any more). buffers: null (a report of its own, in UTF-16), or the
// scanning thread's (see ReportBuffers).
class ConsoleReport : public ReportSink {
public:
    ConsoleReport(const CliOptions& options, const ChunkFilter& filter, const volatile bool* stop, ReportBuffers* buffers)
        : options_(&options), filter_(&filter), stop_(stop), unit_(buffers ? &buffers->unit : nullptr),
          pool_(buffers ? buffers->pool : nullptr), stdoutUtf8_(buffers && buffers->stdoutUtf8),
          stderrUtf8_(buffers && buffers->stderrUtf8) {}
    ~ConsoleReport() override = default;
    ConsoleReport(const ConsoleReport&) = delete;
    ConsoleReport& operator=(const ConsoleReport&) = delete;

    void StartReport(const std::wstring& fileName, bool startsReport) override;
    bool AppendReportLine(const TextChunkRecord& record) override;
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override;
    void Flush() override {}
    // Every chunk, however long the report: the cut protects the window's text box, and each file's
    // output here is written out and forgotten (running out of memory is its notice, as anywhere).
    size_t ReportCharacterLimit() const override { return NoReportCut; }
    // A text of ASCII alone stays bytes where the form writes it as it is and no --grep reads it.
    bool TakesAsciiText() const override { return FormTakesAsciiText() && !filter_->ReadsTexts(); }

    // --check's output for the file (check_output.h), as one unit of stdout; found: it tells of
    // something, which counts as reported.
    void AppendCheckOutput(const std::wstring& unit, bool found) {
        AppendUnit(Destination::Stdout, unit);
        reported_ = reported_ || found;
    }

    // --clean's account of the file: a unit of stdout (JSON), and lines for stderr that are no notice
    // (what -v tells, what the copy keeps that the user should know).
    void AppendCleanOutput(const std::wstring& stdoutUnit, const std::wstring& stderrUnit) {
        if (!stdoutUnit.empty()) AppendUnit(Destination::Stdout, stdoutUnit);
        if (!stderrUnit.empty()) AppendUnit(Destination::Stderr, stderrUnit);
    }

    // True when a chunk of this file was reported.
    bool Reported() const { return reported_; }
    // True once a notice was gathered for the file.
    bool HasNotice() const { return hasNotice_; }
    // Writes everything gathered, stdout's and stderr's parts in their order (and places --out's
    // files, written already, in theirs), and forgets it, its memory included. False when a file of
    // --out was not written.
    bool WriteTo(ConsoleStream* out, ConsoleStream* err);

protected:
    enum class Destination { Stdout, Stderr, OutFile };
    // A selected chunk's output, made in unit (emptied, the thread's where it has one). False when the
    // rest of the file need not be searched.
    virtual bool AppendChunk(const TextChunkRecord& record, std::wstring& unit) = 0;
    // What a form adds at the start of a file's output, before its chunks.
    virtual void StartFile() {}
    // Whether the form's AppendChunk reads the text in either form (TextChunkRecord::asciiText).
    virtual bool FormTakesAsciiText() const { return false; }
    // A unit of stdout or stderr, added whole or not at all.
    void AppendUnit(Destination to, const std::wstring& unit);
    // The same for a unit that make(out) appends to out: straight into the UTF-8 bytes where the
    // stream gathers UTF-8 (no UTF-16 copy to encode again), else into unit, then added.
    template <class Make>
    void AppendMadeUnit(Destination to, std::wstring& unit, Make make) {
        std::string* bytes = Utf8Bytes(to);
        if (!bytes) {
            make(unit);
            AppendUnit(to, unit);
            return;
        }
        const size_t before = bytes->size();
        try {
            make(*bytes);
        } catch (...) {
            bytes->resize(before);
            throw;
        }
    }
    // A file of --out, written already, placed in folder when its turn comes.
    void AppendOutFile(OutFolder* folder, std::unique_ptr<PendingOutFile> file);
    // Room to encode in, the pool's where there is one: given back with TakeBack.
    std::string TakeBytes() { return pool_ ? pool_->Take() : std::string(); }
    void GiveBack(std::string&& bytes) {
        if (pool_) pool_->Give(std::move(bytes));
    }
    const std::wstring& FileName() const { return fileName_; }
    const CliOptions& Options() const { return *options_; }

private:
    struct Part {
        Destination to;
        std::wstring text;                     // Stdout or Stderr gathered as UTF-16
        std::string bytes;                     // Stdout or Stderr gathered as UTF-8
        std::unique_ptr<PendingOutFile> file;  // OutFile
    };
    bool GathersUtf8(Destination to) const;
    Part& PartFor(Destination to);
    std::string* Utf8Bytes(Destination to);  // the part's bytes, or null where it is kept as UTF-16
    std::wstring& Unit(std::wstring& own);
    void EndUnit(std::wstring& unit);

    const CliOptions* options_;
    const ChunkFilter* filter_;
    const volatile bool* stop_;
    std::wstring* unit_;  // the scanning thread's, used while it scans only
    OutputPool* pool_;    // outlives the report
    bool stdoutUtf8_;
    bool stderrUtf8_;
    std::wstring fileName_;
    bool reported_ = false;
    bool hasNotice_ = false;
    std::vector<Part> parts_;
    OutFolder* folder_ = nullptr;  // of the OutFile parts
    TextChunkRecord decoded_;  // --utf8-text: a record's copy with its UTF-8 fields decoded as such
};
