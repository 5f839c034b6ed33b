// loader_test_support.h: what the loader tests and the console's tests share: the report a scan
// gives as the console's bytes, and the files every loader must agree on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "report/file_loader.h"
#include "report/json_lines.h"
#include "report/report_line.h"
#include "report/report_sink.h"

// Reads a file the program wrote (its output goes to files: no pipe can fill up and stall it).
std::string ReadWhole(const std::wstring& path);
// The text as UTF-8, converted whole by the system.
std::string Utf8(const std::wstring& text);
std::wstring SuiteFile(const wchar_t* name);

// The bytes the console must show for a scan: every line converted whole by the system, then LF;
// notices as stderr shows them; and the JSON Lines of the same calls.
class ExpectedBytes : public ReportSink {
public:
    void StartReport(const std::wstring& fileName, bool) override {
        file = fileName;
        AppendLine(FileLine(fileName));
    }
    bool AppendReportLine(const TextChunkRecord& record) override {
        AppendChunkJson(json, file, record);
        AppendLine(ReportLine(record));
        return true;
    }
    void AppendLine(const std::wstring& line) {
        text += Utf8(line);
        text += '\n';
        lines++;
    }
    void Notice(const wchar_t*, const wchar_t* message, const std::wstring& fileName) override {
        AppendNoticeJson(json, fileName, message);
        err += Utf8(fileName + L": " + message) + "\n";
        notices++;
    }
    void Flush() override {}
    std::wstring file;
    std::string text;
    std::string err;
    std::string json;
    int lines = 0;
    int notices = 0;
};

// The report of each name in turn through the window's load path, or through the given loader.
ExpectedBytes ScanInProcess(const std::vector<std::wstring>& names, FileLoader* loader = nullptr);
ExpectedBytes ScanInProcess(const std::wstring& name);

// The test suite's files, the sample, and files fuzzed from them (bytes changed, type codes planted,
// cut short), plus the names every notice comes from: the files the loaders must agree on.
std::vector<std::wstring> LoaderTestFiles();
