// report_text_box.cpp: the text-box report sink and the scan of the window's report.
#include "app/report_text_box.h"
#include "app/busy_cursor.h"
#include "app/program.h"
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

void TextBoxReport::StartReport(const std::wstring& firstLine, bool replace) {
    if (!replace) LoadOnce();
    text_.Start(firstLine, replace);
    loaded_ = true;
    changed_ = true;
}

void TextBoxReport::AppendLine(const std::wstring& line) {
    LoadOnce();
    text_.Append(line);
    changed_ = true;
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

void ScanIntoReport(const std::wstring& names) {
    // A scan takes no messages while it runs: the wait cursor is the sign of work meanwhile.
    BusyCursor busy;
    TextBoxReport report(0);
    ScanTextChunks(names.c_str(), &report, WorkBuffer());
}
