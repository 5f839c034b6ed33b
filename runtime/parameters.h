// parameters.h: the program's command-line parameters (the program name is never one of them).
#pragma once
#include <cstdint>
#include <string>

// Creates the library's state (the argument cursor, 0 at start).
void InitParameterLibrary();
// Number of parameters after the program name (-1 for an empty command line). Leaves the cursor alone.
int32_t CountCommandArguments();
// A copy of parameter index (index >= 0 sets the cursor first; negative uses the cursor).
// Moves the cursor on success; a missing parameter is the empty text and leaves the cursor.
std::wstring GetCommandArgument(int32_t index);

// Where the command line comes from: GetCommandLineW unless a test gives its own source.
// Null restores GetCommandLineW. The text is tokenised afresh by every call, never copied.
void SetCommandLineSource(const wchar_t* (*source)());
// The cursor of the library (the parameter a fetch with a negative index returns).
int32_t CommandArgumentCursor();

// The tokeniser under both, over any line; the first token (the program name) is never returned.
// Only U+0020 separates tokens; a token opened by a quote runs to the next quote or the line's end.
// Count mode (cursor null): returns null, *countOut = the tokens after the first (-1 for none at all).
// Fetch mode: returns the start of the token at *cursor and *lengthOut its length in UTF-16 units,
// then advances *cursor; without a token there, returns an empty text, length 0, cursor unchanged.
// countOut and lengthOut may be null when not wanted.
const wchar_t* ScanCommandLine(const wchar_t* line, int32_t* cursor, int32_t* lengthOut, int32_t* countOut);
