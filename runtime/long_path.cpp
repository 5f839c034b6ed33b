// long_path.cpp: extended-length paths for names past the classic path limit.
#include "runtime/long_path.h"
#include <windows.h>

std::wstring ExtendedPath(const std::wstring& name) {
    // A search appends "\*" and a file name to a folder: leave room for them below the limit.
    if (name.size() < MAX_PATH - 12 || name.compare(0, 4, L"\\\\?\\") == 0 || name.compare(0, 4, L"\\\\.\\") == 0)
        return name;
    DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (!needed) return name;
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(name.c_str(), needed, &full[0], nullptr);
    if (!length || length >= needed) return name;
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}
