// check_file.h: --check for one file: loaded as the scan loads it, walked by the PNG layer, its
// findings written where the file's output waits for its turn.
#pragma once
#include <cstdint>
#include <string>
#include "app/console/file_output.h"
#include "report/file_loader.h"

// Adds the file's "file:" line (text form) and its findings (check_output.h) to report, and a notice
// for a file that cannot be loaded or was not checked to its end. json: JSON objects instead of lines.
// True when the file was loaded and checked to its end. May throw std::bad_alloc (the scan's policy
// then says "Cannot allocate memory").
bool CheckFile(const std::wstring& name, int64_t listedSize, bool json, FileLoader* loader, ConsoleReport* report);
