// partial_folder.cpp: the folder made, its name never shared with another process, removed when done.
#include "runtime/partial_folder.h"
#include <windows.h>
#include "runtime/long_path.h"

void PartialFolder::Make(const std::wstring& outputPrefix) {
    if (tried_) return;
    tried_ = true;
    prefix_ = outputPrefix;
    const std::wstring folder = outputPrefix + L"~pngtext-" + std::to_wstring(GetCurrentProcessId()) + L".partial";
    // CreateDirectory fails on any name already there: only a folder made here is written into.
    if (!CreateDirectoryW(ExtendedPath(folder).c_str(), nullptr)) return;
    SetFileAttributesW(ExtendedPath(folder).c_str(), FILE_ATTRIBUTE_HIDDEN);
    made_ = folder;
    prefix_ = folder + L"\\";
}

PartialFolder::~PartialFolder() {
    // Fails, and leaves it, while a file is still in it.
    if (!made_.empty()) RemoveDirectoryW(ExtendedPath(made_).c_str());
}
