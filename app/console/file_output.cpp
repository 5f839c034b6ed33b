// file_output.cpp: what the console's report sinks share: gathering each file's output, writing it.
#include "app/console/file_output.h"
#include "report/utf8_encoding.h"

bool ConsoleReport::GathersUtf8(Destination to) const {
    return to == Destination::Stdout ? stdoutUtf8_ : to == Destination::Stderr && stderrUtf8_;
}

ConsoleReport::Part& ConsoleReport::PartFor(Destination to) {
    if (parts_.empty() || parts_.back().to != to || to == Destination::OutFile) {
        parts_.push_back(Part{to, {}, {}, nullptr});
        if (GathersUtf8(to) && pool_) parts_.back().bytes = pool_->Take();
    }
    return parts_.back();
}

std::string* ConsoleReport::Utf8Bytes(Destination to) {
    return GathersUtf8(to) ? &PartFor(to).bytes : nullptr;
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

void ConsoleReport::AppendOutFile(OutFolder* folder, std::unique_ptr<PendingOutFile> file) {
    parts_.push_back(Part{Destination::OutFile, {}, {}, std::move(file)});
    folder_ = folder;
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
    StartFile();
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
    if (!AppendChunk(record, unit)) return false;
    EndUnit(unit);
    return goOn;
}

void ConsoleReport::Notice(const wchar_t*, const wchar_t* message, const std::wstring& fileName) {
    AppendUnit(Destination::Stderr, fileName + L": " + message + L'\n');
    hasNotice_ = true;
}

bool ConsoleReport::WriteTo(ConsoleStream* out, ConsoleStream* err) {
    bool written = true;
    for (Part& part : parts_) {
        ConsoleStream* stream = part.to == Destination::Stdout ? out : err;
        switch (part.to) {
        case Destination::Stdout:
        case Destination::Stderr:
            if (GathersUtf8(part.to)) stream->WriteUtf8(part.bytes.data(), part.bytes.size());
            else stream->Write(part.text);
            break;
        case Destination::OutFile: written = folder_->Place(part.file.get(), err) && written; break;
        }
        if (pool_ && GathersUtf8(part.to)) pool_->Give(std::move(part.bytes));
    }
    std::vector<Part>().swap(parts_);
    std::wstring().swap(fileName_);
    return written;
}
