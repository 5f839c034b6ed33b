// report_text_box.cpp: the text-box report sink and the scan of the window's report.
#include "app/window/report_text_box.h"
#include <new>
#include <vector>
#include "app/window/busy_cursor.h"
#include "app/window/program.h"
#include "report/scan_text_chunks.h"
#include "runtime/message_box.h"
#include "toolkit/gadget_library.h"

TextBoxReport::TextBoxReport(ObjectNumber gadget) : gadget_(gadget) {}

TextBoxReport::~TextBoxReport() { Flush(); }

void TextBoxReport::LoadOnce() {
    if (loaded_) return;
    text_.Replace(ReadGadgetText(gadget_));
    loaded_ = true;
}

void TextBoxReport::StartReport(const std::wstring& fileName, bool startsReport) {
    if (!startsReport) LoadOnce();
    text_.Start(fileName, startsReport);
    loaded_ = true;
    changed_ = true;
}

bool TextBoxReport::AppendReportLine(const TextChunkRecord& record) {
    LoadOnce();
    text_.Append(record);
    changed_ = true;
    return true;
}

void TextBoxReport::Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) {
    (void)fileName; // the box shows title and message only
    Flush();
    ShowMessageBox(title, message);
}

void TextBoxReport::Flush() {
    if (!changed_) return;
    // Also called by the destructor, while a failed scan unwinds: a write that throws (a very large
    // report, a gadget kind's own text handler) leaves the box as it was and the text still to show.
    try {
        ReplaceGadgetText(gadget_, text_.Text().c_str());
    } catch (...) {
        return;
    }
    changed_ = false;
    ++writes_;
}

// The names of a drop, in order; the drop target ends none with a line feed, but an empty one is skipped.
static std::vector<std::wstring> SplitDroppedNames(const std::wstring& joined) {
    std::vector<std::wstring> names;
    size_t start = 0;
    for (;;) {
        size_t end = joined.find(L'\n', start);
        size_t stop = end == std::wstring::npos ? joined.size() : end;
        if (stop > start) names.push_back(joined.substr(start, stop - start));
        if (end == std::wstring::npos) return names;
        start = end + 1;
    }
}

void ScanIntoReport(const std::wstring& names) {
    std::vector<std::wstring> split;
    try {
        split = SplitDroppedNames(names);
    } catch (const std::bad_alloc&) {
        return;  // no memory even for the list of names: nothing is scanned, the program goes on
    }
    if (split.empty()) return;
    // A scan takes no messages while it runs: the wait cursor is the sign of work meanwhile.
    BusyCursor busy;
    TextBoxReport report(0);
    for (size_t i = 0; i < split.size(); i++) ScanTextChunks(split[i], i == 0, &report, WorkBuffer());
    // The text box is written once for all names (and before each notice), when the report goes.
}
