// console_report.cpp: the console front end's report sink.
#include "app/console/console_report.h"
#include "app/console/json_text.h"
#include "app/console/out_folder.h"
#include "report/json_lines.h"

std::wstring& ConsoleReport::PartFor(Destination to) {
    if (parts_.empty() || parts_.back().to != to || to == Destination::OutFile) parts_.push_back(Part{to, {}, {}, false});
    return parts_.back().text;
}

void ConsoleReport::AppendLine(const std::wstring& line) {
    std::wstring& text = PartFor(Destination::Stdout);
    text += line;
    text += L'\n';
}

void ConsoleReport::StartReport(const std::wstring& fileName, bool) {
    fileName_ = fileName;
    if (options_->form == OutputForm::Report) AppendLine(FileLine(fileName));
}

void ConsoleReport::AppendText(const TextChunkRecord& record) {
    const bool toFile = options_->form == OutputForm::OutFolder;
    std::wstring& text = PartFor(toFile ? Destination::OutFile : Destination::Stdout);
    // Parsed only where it counts: --pretty indents JSON, --out names its file after it.
    bool json = false;
    if (options_->pretty) {
        json = ReadJsonContainer(record.text, &text);
    } else if (toFile) {
        json = ReadJsonContainer(record.text, nullptr);
    }
    if (!(options_->pretty && json)) text += record.text;
    if (toFile) {
        parts_.back().keyword = record.keyword;
        parts_.back().json = json;
    } else {
        text += options_->nullEnds ? L'\0' : L'\n';
    }
}

bool ConsoleReport::AppendReportLine(const TextChunkRecord& found) {
    const TextChunkRecord* chosen = &found;
    if (options_->utf8Text && StoredAsUtf8(found)) {
        decoded_ = found;
        DecodeStoredUtf8(&decoded_);
        chosen = &decoded_;
    }
    const TextChunkRecord& record = *chosen;
    if (!filter_->Selects(record)) return true;
    reported_ = true;
    switch (options_->form) {
    case OutputForm::Report: {
        std::wstring& text = PartFor(Destination::Stdout);
        AppendReportLineText(text, record);
        text += L'\n';
        break;
    }
    case OutputForm::Json: AppendChunkJson(PartFor(Destination::Stdout), fileName_, record); break;
    case OutputForm::TextAlone:
    case OutputForm::OutFolder: AppendText(record); break;
    case OutputForm::FilesWithMatches: {
        std::wstring& text = PartFor(Destination::Stdout);
        text += fileName_;
        text += options_->nullEnds ? L'\0' : L'\n';
        // The file's name is all -l prints: the rest of the file need not be searched.
        return false;
    }
    }
    return true;
}

void ConsoleReport::Notice(const wchar_t*, const wchar_t* message, const std::wstring& fileName) {
    if (options_->form == OutputForm::Json) AppendNoticeJson(PartFor(Destination::Stdout), fileName, message);
    std::wstring& text = PartFor(Destination::Stderr);
    text += fileName;
    text += L": ";
    text += message;
    text += L'\n';
}

bool ConsoleReport::WriteTo(ConsoleStream* out, ConsoleStream* err, OutFolder* folder) {
    bool written = true;
    for (const Part& part : parts_) {
        switch (part.to) {
        case Destination::Stdout: out->Write(part.text); break;
        case Destination::Stderr: err->Write(part.text); break;
        case Destination::OutFile: written = folder->Write(fileName_, part.keyword, part.text, part.json, err) && written; break;
        }
    }
    parts_.clear();
    return written;
}
