// report_sink.h: where a scan writes its report (lines, notices), and the text a report makes.
#pragma once
#include <string>

// The scan knows no window: the text box, the console front end and the tests each plug in a sink.
//
// Order of calls for one scan: for every name, StartReport and then one AppendLine per chunk found.
// The scan calls Flush before every Notice and once when it ends, so a sink that gathers lines in
// memory hands them to the user exactly at the moments the user can look at them. Lines never end
// with a line break; a line may hold CR or LF characters that came from the file.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    // firstLine is "file:" + name. replace: the first name of a scan, the report starts over;
    // otherwise (later names of a multi-name drop) the line follows the lines already reported.
    virtual void StartReport(const std::wstring& firstLine, bool replace) = 0;
    virtual void AppendLine(const std::wstring& line) = 0;
    // A file could not be loaded. fileName is the name concerned, for sinks that print it;
    // the window shows only title and message in a modal box.
    virtual void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) = 0;
    // Shows everything reported so far.
    virtual void Flush() = 0;
};

// The whole text of a report: lines joined by CR LF, no line break at the end. A gathering sink
// keeps one of these per scan, so assembling a report costs time linear in its length.
class ReportText {
public:
    void Replace(const std::wstring& line) { text_ = line; }
    void Append(const std::wstring& line) {
        if (!text_.empty()) text_ += L"\r\n";
        text_ += line;
    }
    void Start(const std::wstring& firstLine, bool replace) {
        if (replace) Replace(firstLine); else Append(firstLine);
    }
    const std::wstring& Text() const { return text_; }

private:
    std::wstring text_;
};
