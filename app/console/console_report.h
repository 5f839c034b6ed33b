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
class ConsoleReport : public ReportSink {
public:
    explicit ConsoleReport(bool json = false) : json_(json) {}
    void StartReport(const std::wstring& fileName, bool startsReport) override;
    bool AppendReportLine(const TextChunkRecord& record) override;
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override;
    void Flush() override {}

    // Writes everything gathered, stdout's and stderr's parts in their order, and forgets it.
    void WriteTo(ConsoleStream* out, ConsoleStream* err);

private:
    struct Part {
        bool toStderr;
        std::string bytes;
    };
    std::string& PartFor(bool toStderr);
    void AppendLine(const std::wstring& line);

    bool json_;
    std::wstring fileName_;
    std::wstring line_;  // reused for each record's line
    std::vector<Part> parts_;
};
