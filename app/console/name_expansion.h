// name_expansion.h: from pngtext-cli's name arguments to the files it scans: wildcards and folders.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

// One step of the console's work, in output order: a file to scan, or a notice about an argument
// that stands for no file.
struct CliItem {
    std::wstring name;
    const wchar_t* notice = nullptr;  // set: no scan, only this notice for name
    // A name made from a folder's listing carries the size the listing gave: what the search for
    // that one name would give, without another search of the folder. Below 0: none.
    int64_t listedSize = -1;
    // Where the name's part below the argument starts: after the folder named (or the folder part
    // of a pattern or of a file's name). --clean -r keeps the folders of that part in its copies.
    size_t rootLength = 0;
};

// Appends the items an argument stands for:
// - a name with * or ? in its last part: the files of that folder whose names match (case ignored),
//   in name order; with recursive also the folders that match, each as below; none: a notice;
// - a folder: its files whose names end in ".png" (case ignored) in name order, then, with recursive,
//   each subfolder the same way in name order (folders that are links are not entered, so a link
//   back up cannot loop); none at all: a notice;
// - anything else: itself, as given (the scan reports a name that cannot be loaded).
// A listing that ends with an error other than "no more files" stands for nothing and gives the
// notice "Cannot read folder" for its folder or pattern: a partial listing is never passed off as whole.
// The folder part of the argument is kept as written in every name made from it.
void ExpandName(const std::wstring& argument, bool recursive, std::vector<CliItem>* items);

// Test seam: called before each folder is listed with the prefix of its names (the folder and a
// separator); false makes the listing fail as a folder that cannot be read does. Null: none.
void SetFolderListingHook(bool (*hook)(const std::wstring& prefix));
// Test seam: called instead of FindNextFileW for each entry after a listing's first. Null: none.
void SetFolderNextEntryHook(BOOL (*hook)(HANDLE listing, WIN32_FIND_DATAW* found));

// Name order: ordinal, case ignored; names equal but for case in ordinal order.
bool NameBefore(const std::wstring& a, const std::wstring& b);
