// recording_sink.h: a report sink for the tests that keeps every call and the report text.
#pragma once
#include <string>
#include <vector>
#include "report/report_sink.h"

class RecordingSink : public ReportSink {
public:
    void StartReport(const std::wstring& firstLine, bool replace) override {
        calls.push_back((replace ? L"start " : L"start+ ") + firstLine);
        report.Start(firstLine, replace);
    }
    void AppendLine(const std::wstring& line) override {
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
    std::vector<std::wstring> lines;    // AppendLine lines in order
    std::vector<std::wstring> notices;  // messages only
    std::vector<std::wstring> shownWithNotice;  // what was on show (last flush) when each notice came
    ReportText report;
    std::wstring shown;                 // the report as of the last Flush
};
