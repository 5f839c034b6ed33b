// console_report.cpp: the console front end's report sink.
#include "app/console/console_report.h"
#include "report/json_lines.h"

std::string& ConsoleReport::PartFor(bool toStderr) {
    if (parts_.empty() || parts_.back().toStderr != toStderr) parts_.push_back(Part{toStderr, std::string()});
    return parts_.back().bytes;
}

// A string's append leaves it as it was when it throws: the unit goes in whole or not at all.
void ConsoleReport::AppendUnit(bool toStderr, const std::string& unit) { PartFor(toStderr).append(unit); }

void ConsoleReport::AppendLine(const std::wstring& line) {
    std::string unit;
    AppendUtf8(unit, line);
    unit += '\n';
    AppendUnit(false, unit);
}

void ConsoleReport::StartReport(const std::wstring& fileName, bool) {
    fileName_ = fileName;
    if (!json_) AppendLine(FileLine(fileName));
}

bool ConsoleReport::AppendReportLine(const TextChunkRecord& record) {
    if (json_) {
        std::string unit;
        AppendChunkJson(unit, fileName_, record);
        AppendUnit(false, unit);
    } else {
        AppendLine(ReportLine(record));
    }
    return !(stop_ && *stop_);
}

void ConsoleReport::Notice(const wchar_t*, const wchar_t* message, const std::wstring& fileName) {
    if (json_) {
        std::string unit;
        AppendNoticeJson(unit, fileName, message);
        AppendUnit(false, unit);
    }
    std::string unit;
    AppendUtf8(unit, fileName + L": " + message);
    unit += '\n';
    AppendUnit(true, unit);
    hasNotice_ = true;
}

void ConsoleReport::WriteTo(ConsoleStream* out, ConsoleStream* err) {
    for (const Part& part : parts_) (part.toStderr ? err : out)->WriteUtf8(part.bytes);
    std::vector<Part>().swap(parts_);
    std::wstring().swap(fileName_);
}
