// console_output.cpp: writing text to a console as UTF-16, to a pipe or a file as UTF-8.
#include "app/console/console_output.h"
#include "report/utf8_encoding.h"

// Larger writes are split: a console and some pipes refuse very large single writes.
static const size_t WritePiece = 1u << 20;

static void WriteBytes(HANDLE handle, const char* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        DWORD piece = static_cast<DWORD>(size - done > WritePiece ? WritePiece : size - done);
        DWORD written = 0;
        if (!WriteFile(handle, bytes + done, piece, &written, nullptr) || written == 0) return;
        done += written;
    }
}

static void WriteConsoleUnits(HANDLE handle, const wchar_t* units, size_t count) {
    size_t done = 0;
    while (done < count) {
        // Never split a surrogate pair between two calls.
        size_t piece = Utf16PieceEnd(units, count, done, WritePiece / 2) - done;
        DWORD written = 0;
        if (!WriteConsoleW(handle, units + done, static_cast<DWORD>(piece), &written, nullptr) || written == 0) return;
        done += written;
    }
}

ConsoleStream::ConsoleStream(DWORD standardHandle) : handle_(GetStdHandle(standardHandle)) {
    DWORD mode = 0;
    isConsole_ = handle_ && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
}

void ConsoleStream::Write(const wchar_t* units, size_t count) {
    if (isConsole_) {
        WriteConsoleUnits(handle_, units, count);
        return;
    }
    // Encoded a piece at a time, so that a large report needs no second copy of itself in memory.
    std::string bytes;
    for (size_t at = 0; at < count;) {
        size_t end = Utf16PieceEnd(units, count, at, WritePiece / 4);
        bytes.clear();
        AppendUtf8(bytes, units + at, end - at);
        WriteBytes(handle_, bytes.data(), bytes.size());
        at = end;
    }
}
