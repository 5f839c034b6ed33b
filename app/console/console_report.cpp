// console_report.cpp: the console front end's report sink.
#include "app/console/console_report.h"
#include "report/json_lines.h"

std::string& ConsoleReport::PartFor(bool toStderr) {
    if (parts_.empty() || parts_.back().toStderr != toStderr) parts_.push_back(Part{toStderr, std::string()});
    return parts_.back().bytes;
}

void ConsoleReport::AppendLine(const std::wstring& line) {
    std::string& bytes = PartFor(false);
    AppendUtf8(bytes, line);
    bytes += '\n';
}

void ConsoleReport::StartReport(const std::wstring& fileName, bool) {
    fileName_ = fileName;
    if (!json_) AppendLine(FileLine(fileName));
}

bool ConsoleReport::AppendReportLine(const TextChunkRecord& record) {
    if (json_) {
        AppendChunkJson(PartFor(false), fileName_, record);
    } else {
        line_.clear();
        AppendReportLineText(line_, record);
        AppendLine(line_);
    }
    return true;
}

void ConsoleReport::Notice(const wchar_t*, const wchar_t* message, const std::wstring& fileName) {
    if (json_) AppendNoticeJson(PartFor(false), fileName, message);
    std::string& bytes = PartFor(true);
    AppendUtf8(bytes, fileName + L": " + message);
    bytes += '\n';
}

void ConsoleReport::WriteTo(ConsoleStream* out, ConsoleStream* err) {
    for (const Part& part : parts_) (part.toStderr ? err : out)->WriteUtf8(part.bytes);
    parts_.clear();
}
