// parameters.h: the program's command-line parameters (the program name is never one of them).
#pragma once
#include <cstdint>
#include <string>

void InitParameterLibrary();
// Number of parameters after the program name (-1 for an empty command line).
int32_t CountCommandArguments();
// A copy of parameter index (index >= 0 sets the cursor first; negative uses the cursor).
// Moves the cursor on success; a missing parameter is the empty text.
std::wstring GetCommandArgument(int32_t index);
// Where the command line comes from: GetCommandLineW in the program; tests set their own source.
void SetCommandLineSource(const wchar_t* (*source)());
// The tokeniser under both: without lengthOut returns the count (as a pointer-sized integer);
// with lengthOut returns the token at the cursor and its length in UTF-16 units.
const wchar_t* ScanCommandLine(int32_t* lengthOut, int32_t* countOut);
