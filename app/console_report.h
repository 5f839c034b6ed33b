// console_report.h: the console front end's report sink: lines on stdout, notices on stderr.
#pragma once
#include <string>
#include "app/console_output.h"
#include "report/report_sink.h"

// Lines as UTF-8, each ended by LF (a line keeps any CR or LF that came from the file). Notices go to
// stderr as "FILE: message" after the report so far has been written. Lines gather in one buffer, so a
// file's report usually leaves in one write (the scan flushes once per file); only a report beyond
// FlushSize is written in parts, keeping memory bounded.
class ConsoleReport : public ReportSink {
public:
    ConsoleReport(ConsoleStream* out, ConsoleStream* err) : out_(out), err_(err) {}
    void StartReport(const std::wstring& fileName, bool) override { AppendLine(FileLine(fileName)); }
    void AppendReportLine(const TextChunkRecord& record) override { AppendLine(ReportLine(record)); }
    void AppendLine(const std::wstring& line);
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override;
    void Flush() override;

private:
    static const size_t FlushSize = 4u << 20;
    ConsoleStream* out_;
    ConsoleStream* err_;
    std::string pending_;
};
