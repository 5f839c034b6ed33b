// parameters.cpp: the command-line tokeniser and the parameter cursor.
#include "runtime/parameters.h"
#include "runtime/main_heap.h"
#include <windows.h>

struct ParameterLibraryState {
    int32_t cursor;  // the parameter that the next fetch without an index returns
};

static ParameterLibraryState* state;
static const wchar_t* (*commandLineSource)();

void InitParameterLibrary() {
    if (!state) state = static_cast<ParameterLibraryState*>(CreateLibraryState(sizeof(ParameterLibraryState), nullptr));
}

void SetCommandLineSource(const wchar_t* (*source)()) { commandLineSource = source; }

static const wchar_t* CommandLine() {
    return commandLineSource ? commandLineSource() : GetCommandLineW();
}

const wchar_t* ScanCommandLine(const wchar_t* line, int32_t* cursor, int32_t* lengthOut, int32_t* countOut) {
    static const wchar_t empty[] = L"";
    if (lengthOut) *lengthOut = 0;
    int32_t count = -1;
    const wchar_t* at = line ? line : empty;
    while (*at) {
        while (*at == L' ') at++;
        const wchar_t* start = nullptr;
        const wchar_t* end = nullptr;
        if (*at == L'"') {
            // Quoted: up to the next quote or the end of the line; whatever follows the closing
            // quote directly starts the next token.
            start = ++at;
            while (*at && *at != L'"') at++;
            end = at;
            if (*at) at++;
        } else if (*at) {
            // Plain: up to the next space, which is passed over; quotes inside are ordinary.
            start = at;
            while (*at && *at != L' ') at++;
            end = at;
            if (*at) at++;
        }
        if (cursor && count == *cursor) {
            if (!start) break;  // only spaces were left: no token at the cursor
            if (lengthOut) *lengthOut = static_cast<int32_t>(end - start);
            ++*cursor;
            return start;
        }
        if (start) count++;
    }
    if (countOut) *countOut = count;
    return cursor ? empty : nullptr;
}

int32_t CountCommandArguments() {
    int32_t count = -1;
    ScanCommandLine(CommandLine(), nullptr, nullptr, &count);
    return count;
}

int32_t CommandArgumentCursor() { return state ? state->cursor : 0; }

std::wstring GetCommandArgument(int32_t index) {
    // Without the library started there is no cursor to move: fetch through a local one.
    int32_t local = 0;
    int32_t* cursor = state ? &state->cursor : &local;
    if (index >= 0) *cursor = index;
    int32_t length = 0;
    const wchar_t* token = ScanCommandLine(CommandLine(), cursor, &length, nullptr);
    return std::wstring(token, static_cast<size_t>(length));
}
