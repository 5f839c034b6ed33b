// recording_sink.h: a report sink for the tests that keeps every call, record and the report text.
#pragma once
#include <string>
#include <vector>
#include "report/report_sink.h"

// A record as a test sees it after the call: the facts read on request are taken during the call,
// the pointers that die with it are cleared.
struct RecordedChunk {
    TextChunkRecord record;
    CrcCheck crc = CrcCheck::Outside;
    bool utf8Valid = true;
};

class RecordingSink : public ReportSink {
public:
    void StartReport(const std::wstring& fileName, bool startsReport) override {
        calls.push_back((startsReport ? L"start " : L"start+ ") + FileLine(fileName));
        report.Start(fileName, startsReport);
    }
    bool AppendReportLine(const TextChunkRecord& record) override {
        RecordedChunk chunk{record, CheckChunkCrc(record), Utf8WasValid(record)};
        chunk.record.block = nullptr;
        chunk.record.crcReader = nullptr;
        chunk.record.utf8Translated = ByteRange();
        chunk.record.utf8Text = ByteRange();
        chunks.push_back(chunk);
        AppendLine(ReportLine(record));
        return true;
    }
    // Every record's line, as the text sinks make it.
    virtual void AppendLine(const std::wstring& line) {
        lines.push_back(line);
        report.Append(line);
    }
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override {
        calls.push_back(std::wstring(L"notice ") + title + L"|" + message + L"|" + fileName);
        notices.push_back(message);
        shownWithNotice.push_back(shown);
    }
    void Flush() override {
        calls.push_back(L"flush");
        shown = report.Text();
    }

    std::vector<std::wstring> calls;    // StartReport, Notice and Flush calls in order
    std::vector<RecordedChunk> chunks;  // records in order
    std::vector<std::wstring> lines;    // their report lines in order
    std::vector<std::wstring> notices;  // messages only
    std::vector<std::wstring> shownWithNotice;  // what was on show (last flush) when each notice came
    ReportText report;
    std::wstring shown;                 // the report as of the last Flush
};

// A plain tEXt record, for tests of sinks.
inline TextChunkRecord TextRecord(const std::wstring& keyword, const std::wstring& text) {
    TextChunkRecord r;
    r.keyword = keyword;
    r.text = text;
    return r;
}
