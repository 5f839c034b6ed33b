// report_text_box.cpp: the text-box report sink and the scan of the window's report.
#include "app/window/report_text_box.h"
#include <utility>
#include "app/window/busy_cursor.h"
#include "app/window/report_fill.h"
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

void ScanIntoReport(const std::vector<std::wstring>& names) {
    // Takes no messages until the report is shown: the wait cursor is the sign of work meanwhile.
    BusyCursor busy;
    GatheredReport report;
    if (!GatherReport(names, &report)) return;
    ReportFill fill(0);
    fill.Start(std::move(report));
    fill.ShowAll();
}
