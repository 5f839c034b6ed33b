// console_output.h: the console front end's output: report text and notices to a console or to a byte stream.
#pragma once
#include <windows.h>
#include <string>

// Appends text as UTF-8 (the bytes one system conversion of the whole text gives).
void AppendUtf8(std::string& out, const std::wstring& text);

// One of the process's standard handles. Text written to a real console goes through WriteConsoleW, so
// it shows right whatever the console's code page, which is never changed; to a pipe or a file it is
// written as UTF-8. Lines are ended by LF alone either way.
class ConsoleStream {
public:
    explicit ConsoleStream(DWORD standardHandle);
    void Write(const std::wstring& text);
    // UTF-8 bytes; to a console they are converted back to UTF-16 first.
    void WriteUtf8(const std::string& bytes);
    bool IsConsole() const { return isConsole_; }

private:
    HANDLE handle_;
    bool isConsole_;
};
