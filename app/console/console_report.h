// console_report.h: the console front end's report sink: one file's output, gathered until its turn.
#pragma once
#include <string>
#include <vector>
#include "app/console/console_output.h"
#include "report/report_sink.h"

// What one name adds to stdout and stderr, in order. Files are scanned on several threads, so each
// one's output waits here until the files before it have been written.
// Text: the report lines as UTF-8, each ended by LF (a line keeps any CR or LF that came from the
// file); a notice is "FILE: message" on stderr, after the lines before it.
// JSON: one JSON Lines object per chunk on stdout, no "file:" line; a notice is an object on stdout
// and also "FILE: message" on stderr, for scripts that watch stderr alone.
// Each line is made apart and added with its line feed as one unit, so running out of memory never
// leaves half a line or two lines glued together; nothing is kept from one file to the next.
// stop: null, or a flag that, once raised, makes the sink answer that the search should not go on
// (the output cannot be written any more).
class ConsoleReport : public ReportSink {
public:
    explicit ConsoleReport(bool json = false, const volatile bool* stop = nullptr) : json_(json), stop_(stop) {}
    void StartReport(const std::wstring& fileName, bool startsReport) override;
    bool AppendReportLine(const TextChunkRecord& record) override;
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override;
    void Flush() override {}

    // Writes everything gathered, stdout's and stderr's parts in their order, and forgets it, its
    // memory included.
    void WriteTo(ConsoleStream* out, ConsoleStream* err);
    // True once a notice was gathered for the file.
    bool HasNotice() const { return hasNotice_; }

private:
    struct Part {
        bool toStderr;
        std::string bytes;
    };
    std::string& PartFor(bool toStderr);
    void AppendLine(const std::wstring& line);
    void AppendUnit(bool toStderr, const std::string& unit);

    bool json_;
    const volatile bool* stop_;
    bool hasNotice_ = false;
    std::wstring fileName_;
    std::vector<Part> parts_;
};
