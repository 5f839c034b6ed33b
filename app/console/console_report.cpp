// console_report.cpp: the console front end's report sink.
#include "app/console/console_report.h"
#include "report/json_text.h"
#include "app/console/out_folder.h"
#include "report/json_lines.h"
#include "report/utf8_encoding.h"

bool ConsoleReport::GathersUtf8(Destination to) const {
    return to == Destination::Stdout ? stdoutUtf8_ : to == Destination::Stderr && stderrUtf8_;
}

ConsoleReport::Part& ConsoleReport::PartFor(Destination to) {
    if (parts_.empty() || parts_.back().to != to || to == Destination::OutFile) {
        parts_.push_back(Part{to, {}, {}, {}, false});
        if (GathersUtf8(to) && pool_) parts_.back().bytes = pool_->Take();
    }
    return parts_.back();
}

// A unit goes in whole or not at all: a string's append leaves it as it was when it throws, and
// what the encoder added is taken away again.
void ConsoleReport::AppendUnit(Destination to, const std::wstring& unit) {
    Part& part = PartFor(to);
    if (!GathersUtf8(to)) {
        part.text.append(unit);
        return;
    }
    const size_t before = part.bytes.size();
    try {
        AppendUtf8(part.bytes, unit);
    } catch (const std::exception&) {
        part.bytes.resize(before);
        throw;
    }
}

// The string a unit is made in: the scanning thread's, emptied, or the caller's own.
std::wstring& ConsoleReport::Unit(std::wstring& own) {
    std::wstring& unit = unit_ ? *unit_ : own;
    unit.clear();
    return unit;
}

// A thread's unit that one large text grew past the ceiling gives its memory back.
void ConsoleReport::EndUnit(std::wstring& unit) {
    if (&unit == unit_ && unit.capacity() > ReportBuffers::KeptUnitUnits) std::wstring().swap(unit);
}

void ConsoleReport::StartReport(const std::wstring& fileName, bool) {
    fileName_ = fileName;
    if (options_->form == OutputForm::Report) AppendUnit(Destination::Stdout, FileLine(fileName) + L'\n');
}

void ConsoleReport::AppendText(const TextChunkRecord& record, std::wstring& unit) {
    const bool toFile = options_->form == OutputForm::OutFolder;
    // Parsed only where it counts: --pretty indents JSON, --out names its file after it.
    bool json = false;
    if (options_->pretty) {
        json = ReadJsonContainer(record.text, &unit);
    } else if (toFile) {
        json = ReadJsonContainer(record.text, nullptr);
    }
    if (!(options_->pretty && json)) unit += record.text;
    if (!toFile) {
        unit += options_->nullEnds ? L'\0' : L'\n';
        AppendUnit(Destination::Stdout, unit);
        return;
    }
    parts_.push_back(Part{Destination::OutFile, std::move(unit), {}, record.keyword, json});
}

bool ConsoleReport::AppendReportLine(const TextChunkRecord& found) {
    const TextChunkRecord* chosen = &found;
    if (options_->utf8Text && StoredAsUtf8(found)) {
        decoded_ = found;
        DecodeStoredUtf8(&decoded_);
        chosen = &decoded_;
    }
    const TextChunkRecord& record = *chosen;
    const bool goOn = !(stop_ && *stop_);
    if (!filter_->Selects(record)) return goOn;
    reported_ = true;
    std::wstring own;
    std::wstring& unit = Unit(own);
    switch (options_->form) {
    case OutputForm::Report:
        AppendReportLineText(unit, record);
        unit += L'\n';
        AppendUnit(Destination::Stdout, unit);
        break;
    case OutputForm::Json:
        AppendChunkJson(unit, fileName_, record);
        AppendUnit(Destination::Stdout, unit);
        break;
    case OutputForm::TextAlone:
    case OutputForm::OutFolder: AppendText(record, unit); break;
    case OutputForm::FilesWithMatches:
        unit = fileName_;
        unit += options_->nullEnds ? L'\0' : L'\n';
        AppendUnit(Destination::Stdout, unit);
        // The file's name is all -l prints: the rest of the file need not be searched.
        return false;
    }
    EndUnit(unit);
    return goOn;
}

void ConsoleReport::Notice(const wchar_t*, const wchar_t* message, const std::wstring& fileName) {
    if (options_->form == OutputForm::Json) {
        std::wstring unit;
        AppendNoticeJson(unit, fileName, message);
        AppendUnit(Destination::Stdout, unit);
    }
    AppendUnit(Destination::Stderr, fileName + L": " + message + L'\n');
    hasNotice_ = true;
}

bool ConsoleReport::WriteTo(ConsoleStream* out, ConsoleStream* err, OutFolder* folder) {
    bool written = true;
    for (Part& part : parts_) {
        ConsoleStream* stream = part.to == Destination::Stdout ? out : err;
        switch (part.to) {
        case Destination::Stdout:
        case Destination::Stderr:
            if (GathersUtf8(part.to)) stream->WriteUtf8(part.bytes.data(), part.bytes.size());
            else stream->Write(part.text);
            break;
        case Destination::OutFile: written = folder->Write(fileName_, part.keyword, part.text, part.json, err) && written; break;
        }
        if (pool_ && GathersUtf8(part.to)) pool_->Give(std::move(part.bytes));
    }
    std::vector<Part>().swap(parts_);
    std::wstring().swap(fileName_);
    return written;
}
