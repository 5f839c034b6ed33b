// output_stream.h: the console front end's output: report text and notices to a console or to a byte stream.
#pragma once
#include <windows.h>
#include <string>

// One of the process's standard handles. Text written to a real console goes through WriteConsoleW, so
// it shows right whatever the console's code page, which is never changed; to a pipe or a file it is
// written as UTF-8. Lines are ended by LF alone either way.
// The first write that fails (disk full, a closed handle, a pipe its reader closed) is remembered and
// every later write does nothing: the caller asks Error() and stops.
class ConsoleStream {
public:
    explicit ConsoleStream(DWORD standardHandle);
    // The text is encoded here, once: UTF-16 to a console, UTF-8 (utf8_encoding.h) to anything else.
    void Write(const wchar_t* units, size_t count);
    void Write(const std::wstring& text) { Write(text.data(), text.size()); }
    // Text encoded as UTF-8 already (utf8_encoding.h), for a stream that is no console: written as it is.
    void WriteUtf8(const char* bytes, size_t size);
    bool IsConsole() const { return isConsole_; }
    // The system's error code of the first failed write; 0 while every write succeeded.
    DWORD Error() const { return error_; }

private:
    HANDLE handle_;
    bool isConsole_;
    DWORD error_ = 0;
};
