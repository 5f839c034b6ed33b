// report_sink.h: where a scan writes its report (records, notices), and the text a report makes.
#pragma once
#include <string>
#include "report/report_line.h"
#include "report/text_chunk_record.h"

// The scan knows no window: the text box, the console front end and the tests each plug in a sink.
//
// Only the search calls AppendReportLine, and the sink's answer is how a search ends early: filters,
// counting and "first match only" are sinks, not cases in the search.
//
// Order of calls for one name: StartReport, then one AppendReportLine per chunk found, or a Notice
// when the file cannot be loaded or read. The scan calls Flush before every Notice, so a sink that
// gathers lines in memory has shown the report so far when the notice appears; the caller flushes
// when it has scanned its names. A record's line (report_line.h) never ends with a line break; it
// may hold CR or LF characters that came from the file.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    // fileName: the name as the caller gave it; its report line is FileLine(fileName).
    // startsReport: the report starts over (the first name of a scan); otherwise (later names of a
    // multi-file drop) the file's lines follow the lines already reported.
    virtual void StartReport(const std::wstring& fileName, bool startsReport) = 0;
    // One chunk; its pointers are valid during this call only (see TextChunkRecord). The answer:
    // true, the search goes on; false, it stops here and the file counts as searched.
    virtual bool AppendReportLine(const TextChunkRecord& record) = 0;
    // A file could not be loaded or read. fileName is the name concerned, for sinks that print it;
    // the window shows only title and message in a modal box.
    virtual void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) = 0;
    // Shows everything reported so far.
    virtual void Flush() = 0;
    // The characters of report lines after which the search ends a file's report with a ReportCut
    // record (chunk_scan.h). The cut protects a text box that shows the whole report at once; a sink
    // that writes each line out and keeps no report answers NoReportCut and gets every chunk.
    virtual size_t ReportCharacterLimit() const { return MaxReportCharacters; }
    // True for a sink that reads each record's text through TextLength and the formatters (report
    // lines, JSON), which take a text of ASCII alone as its bytes: the search then leaves such a text
    // undecoded (TextChunkRecord::asciiText), which spares a large text two copies.
    virtual bool TakesAsciiText() const { return false; }
};

// The whole text of a report: lines joined by CR LF, no line break at the end. A gathering sink
// keeps one of these per scan, so assembling a report costs time linear in its length.
class ReportText {
public:
    void Replace(const std::wstring& line) { text_ = line; }
    void Append(const std::wstring& line) {
        if (!text_.empty()) text_ += L"\r\n";
        text_ += line;
    }
    // The record's line, made in place.
    void Append(const TextChunkRecord& record) {
        if (!text_.empty()) text_ += L"\r\n";
        AppendReportLineText(text_, record);
    }
    void Start(const std::wstring& fileName, bool startsReport) {
        if (startsReport) Replace(FileLine(fileName)); else Append(FileLine(fileName));
    }
    const std::wstring& Text() const { return text_; }

private:
    std::wstring text_;
};
