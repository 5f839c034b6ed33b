// console_report.cpp: the console front end's report sink.
#include "app/console_report.h"

void ConsoleReport::AppendLine(const std::wstring& line) {
    AppendUtf8(pending_, line);
    pending_ += '\n';
    if (pending_.size() >= FlushSize) Flush();
}

void ConsoleReport::Notice(const wchar_t*, const wchar_t* message, const std::wstring& fileName) {
    err_->Write(fileName + L": " + message + L"\n");
}

void ConsoleReport::Flush() {
    out_->WriteUtf8(pending_);
    pending_.clear();
}
