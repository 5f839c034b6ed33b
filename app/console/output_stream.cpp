// output_stream.cpp: writing text to a console as UTF-16, to a pipe or a file as UTF-8.
#include "app/console/output_stream.h"
#include "report/utf8_encoding.h"
#include "runtime/memory_blocks.h"

// Larger writes are split: a console and some pipes refuse very large single writes.
static const size_t WritePiece = 1u << 20;

// The error of a call that failed or wrote nothing (a write of 0 bytes that "succeeds" goes nowhere).
static DWORD WriteError() {
    DWORD error = GetLastError();
    return error ? error : ERROR_WRITE_FAULT;
}

// 0, or the error of the write that failed.
static DWORD WriteBytes(HANDLE handle, const char* bytes, size_t size) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return size ? ERROR_INVALID_HANDLE : 0;
    size_t done = 0;
    while (done < size) {
        DWORD piece = static_cast<DWORD>(size - done > WritePiece ? WritePiece : size - done);
        DWORD written = 0;
        if (!WriteFile(handle, bytes + done, piece, &written, nullptr) || written == 0) return WriteError();
        done += written;
    }
    return 0;
}

// A console would act on control characters from a file (an escape sequence recolours or retitles it,
// moves the cursor, rings): they are shown as visible symbols instead, C0 and DEL as their Control
// Pictures, C1 as U+FFFD. Tab and line breaks stay. Pipes and files get the text as it is.
static bool ShownAsSymbol(wchar_t unit) {
    return (unit < 0x20 && unit != L'\t' && unit != L'\n' && unit != L'\r') || (unit >= 0x7F && unit <= 0x9F);
}

static wchar_t VisibleSymbol(wchar_t unit) {
    if (unit < 0x20) return static_cast<wchar_t>(0x2400 + unit);
    return unit == 0x7F ? static_cast<wchar_t>(0x2421) : static_cast<wchar_t>(0xFFFD);
}

static DWORD WriteConsoleUnits(HANDLE handle, const wchar_t* units, size_t count) {
    std::wstring shown;
    for (size_t i = 0; i < count; i++) {
        if (!ShownAsSymbol(units[i])) continue;
        if (shown.empty()) shown.assign(units, count);
        shown[i] = VisibleSymbol(units[i]);
    }
    if (!shown.empty()) units = shown.data();
    size_t done = 0;
    while (done < count) {
        // Never split a surrogate pair between two calls.
        size_t piece = Utf16PieceEnd(units, count, done, WritePiece / 2) - done;
        DWORD written = 0;
        if (!WriteConsoleW(handle, units + done, static_cast<DWORD>(piece), &written, nullptr) || written == 0)
            return WriteError();
        done += written;
    }
    return 0;
}

ConsoleStream::ConsoleStream(DWORD standardHandle) : handle_(GetStdHandle(standardHandle)) {
    DWORD mode = 0;
    isConsole_ = handle_ && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
}

void ConsoleStream::Write(const wchar_t* units, size_t count) {
    if (error_) return;
    if (isConsole_) {
        error_ = WriteConsoleUnits(handle_, units, count);
        return;
    }
    // Encoded a piece at a time, so that a large report needs no second copy of itself in memory.
    std::string bytes;
    for (size_t at = 0; at < count && !error_;) {
        size_t end = Utf16PieceEnd(units, count, at, WritePiece / 4);
        bytes.clear();
        AppendUtf8(bytes, units + at, end - at);
        error_ = WriteBytes(handle_, bytes.data(), bytes.size());
        at = end;
    }
}

void ConsoleStream::WriteUtf8(const char* bytes, size_t size) {
    if (error_) return;
    if (isConsole_) {
        // Not the way text to a console goes (see ConsoleReport), but shown right all the same.
        std::wstring text;
        AppendDecodedBytes(text, bytes, size, TextUtf8);
        Write(text);
        return;
    }
    error_ = WriteBytes(handle_, bytes, size);
}
