// report_text_box.h: the report sink of the window: the scan's lines go into text box 0.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "report/report_sink.h"
#include "runtime/object_registry.h"

// Gathers the report in memory and hands the text box the whole text at the moments the user can
// see it: before every notice, at every Flush (the scan flushes when it ends) and when the sink goes.
// Writing once per moment instead of once per line keeps a long report linear in its length; the
// text is exactly what appending line after line to the box would give (lines joined by CR LF,
// no break at the end, a later name's "file:" line following what was reported before).
class TextBoxReport : public ReportSink {
public:
    explicit TextBoxReport(ObjectNumber gadget);
    ~TextBoxReport() override;
    TextBoxReport(const TextBoxReport&) = delete;
    TextBoxReport& operator=(const TextBoxReport&) = delete;

    void StartReport(const std::wstring& fileName, bool startsReport) override;
    // Adds the record's report line (report_line.h) to the report.
    bool AppendReportLine(const TextChunkRecord& record) override;
    // Shows the report so far, then a modal box (title, message) over the thread's windows.
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override;
    void Flush() override;

    // Times the text box has been written (for tests and measurements).
    int32_t Writes() const { return writes_; }

private:
    // Takes the box's current text, for a sink whose first call continues an existing report.
    void LoadOnce();

    ObjectNumber gadget_;
    ReportText text_;
    bool loaded_ = false;
    bool changed_ = false;
    int32_t writes_ = 0;
};

// Scans names into the report of text box 0 and shows all of it before it returns (GatherReport, then
// a ReportFill shown to the end without taking messages). The first name replaces the report, the
// others follow it. Empty names are skipped; no name at all leaves the report alone.
void ScanIntoReport(const std::vector<std::wstring>& names);
