// console_output.cpp: UTF-8 conversion of report text and writing it to a console, a pipe or a file.
#include "app/console/console_output.h"
#include <emmintrin.h>
#include <cstdint>
#include "runtime/processor_features.h"

// Length of the leading run of units below U+0080, eight at a time where the processor can.
static size_t AsciiRunScalar(const wchar_t* units, size_t count) {
    size_t i = 0;
    while (i < count && units[i] < 0x80) i++;
    return i;
}

__attribute__((target("sse2"))) static size_t AsciiRunSse2(const wchar_t* units, size_t count) {
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    size_t i = 0;
    for (; count - i >= 8; i += 8) {
        __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(eight, high), _mm_setzero_si128())) != 0xFFFF) break;
    }
    return i + AsciiRunScalar(units + i, count - i);
}

static size_t AsciiRun(const wchar_t* units, size_t count) {
    return HaveSse2() ? AsciiRunSse2(units, count) : AsciiRunScalar(units, count);
}

// Runs below U+0080 are copied unit by unit; the other runs go through the system converter. A run
// never ends inside a surrogate pair, so the bytes equal one conversion of the whole text, and a
// report of plain text costs no converter call at all.
void AppendUtf8(std::string& out, const std::wstring& text) {
    const wchar_t* units = text.data();
    size_t count = text.size();
    size_t i = 0;
    while (i < count) {
        size_t ascii = AsciiRun(units + i, count - i);
        if (ascii > 0) {
            size_t at = out.size();
            out.resize(at + ascii);
            char* to = &out[at];
            for (size_t k = 0; k < ascii; k++) to[k] = static_cast<char>(units[i + k]);
            i += ascii;
        }
        size_t start = i;
        while (i < count && units[i] >= 0x80) i++;
        if (i > start) {
            int length = static_cast<int>(i - start);
            int size = WideCharToMultiByte(CP_UTF8, 0, units + start, length, nullptr, 0, nullptr, nullptr);
            if (size <= 0) continue;
            size_t at = out.size();
            out.resize(at + static_cast<size_t>(size));
            WideCharToMultiByte(CP_UTF8, 0, units + start, length, &out[at], size, nullptr, nullptr);
        }
    }
}

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
        size_t piece = count - done > WritePiece / 2 ? WritePiece / 2 : count - done;
        // Never split a surrogate pair between two calls.
        if (done + piece < count && units[done + piece - 1] >= 0xD800 && units[done + piece - 1] < 0xDC00) piece--;
        DWORD written = 0;
        if (!WriteConsoleW(handle, units + done, static_cast<DWORD>(piece), &written, nullptr) || written == 0)
            return WriteError();
        done += written;
    }
    return 0;
}

bool IsClosedPipe(DWORD error) {
    // Wine reports a Linux pipe whose reader has gone as not connected.
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}

std::wstring SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message;
    if (length && text) {
        while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L' ' ||
                              text[length - 1] == L'.'))
            length--;
        message.assign(text, length);
    }
    if (text) LocalFree(text);
    return message;
}

ConsoleStream::ConsoleStream(DWORD standardHandle) : handle_(GetStdHandle(standardHandle)) {
    DWORD mode = 0;
    isConsole_ = handle_ && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
}

void ConsoleStream::Write(const std::wstring& text) {
    if (error_) return;
    if (isConsole_) {
        error_ = WriteConsoleUnits(handle_, text.data(), text.size());
        return;
    }
    std::string bytes;
    AppendUtf8(bytes, text);
    error_ = WriteBytes(handle_, bytes.data(), bytes.size());
}

void ConsoleStream::WriteUtf8(const std::string& bytes) {
    if (error_) return;
    if (!isConsole_) {
        error_ = WriteBytes(handle_, bytes.data(), bytes.size());
        return;
    }
    // Converted back piece by piece, each ending before a UTF-8 sequence starts, so that a large
    // report needs no second copy of itself in memory.
    const size_t piece = 1u << 16;
    std::wstring text;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.size() - at > piece ? at + piece : bytes.size();
        for (int back = 0; back < 3 && end < bytes.size() && end > at + 1 && (bytes[end] & 0xC0) == 0x80; back++) end--;
        int length = static_cast<int>(end - at);
        text.resize(static_cast<size_t>(length));
        int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + at, length, &text[0], length);
        if (units > 0) error_ = WriteConsoleUnits(handle_, text.data(), static_cast<size_t>(units));
        if (error_) return;
        at = end;
    }
}
