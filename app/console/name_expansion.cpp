// name_expansion.cpp: wildcard and folder expansion of pngtext-cli's name arguments.
#include "app/console/name_expansion.h"
#include <windows.h>
#include <algorithm>
#include "runtime/long_path.h"
#include "runtime/owned_handle.h"
#include "runtime/wildcard.h"

bool NameBefore(const std::wstring& a, const std::wstring& b) {
    int order = CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
    if (order != CSTR_EQUAL) return order == CSTR_LESS_THAN;
    return a < b;
}

static bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the last part of a name starts: after the last separator, or after "D:".
static size_t LastPartStart(const std::wstring& name) {
    size_t at = name.size();
    while (at > 0 && !IsSeparator(name[at - 1])) at--;
    if (at == 0 && name.size() >= 2 && name[1] == L':') at = 2;
    return at;
}

// The separator added after a folder: '/' where the folder is written with '/' alone.
static const wchar_t* SeparatorOf(const std::wstring& folder) {
    return folder.find(L'/') != std::wstring::npos && folder.find(L'\\') == std::wstring::npos ? L"/" : L"\\";
}

// The prefix that names made from a folder start with: the folder as written, plus a separator
// unless it ends in one (or is a drive's current folder, "D:").
static std::wstring FolderPrefix(const std::wstring& folder) {
    if (folder.empty() || IsSeparator(folder.back()) || (folder.size() == 2 && folder[1] == L':')) return folder;
    return folder + SeparatorOf(folder);
}

struct ListedFile {
    std::wstring name;
    int64_t size;
};

struct FolderEntries {
    std::vector<ListedFile> files;
    std::vector<std::wstring> folders;  // neither "." nor "..", nor links
    bool listed = false;
    bool brokenOff = false;  // the listing began but ended with an error: nothing of it is kept
};

static bool (*listingHook)(const std::wstring& prefix);
static BOOL (*nextEntryHook)(HANDLE listing, WIN32_FIND_DATAW* found);

void SetFolderListingHook(bool (*hook)(const std::wstring& prefix)) { listingHook = hook; }
void SetFolderNextEntryHook(BOOL (*hook)(HANDLE listing, WIN32_FIND_DATAW* found)) { nextEntryHook = hook; }

static BOOL NextEntry(HANDLE listing, WIN32_FIND_DATAW* found) {
    return nextEntryHook ? nextEntryHook(listing, found) : FindNextFileW(listing, found);
}

// The entries of a folder whose names match pattern, each kind in name order.
static FolderEntries ListFolder(const std::wstring& prefix, const wchar_t* pattern) {
    FolderEntries entries;
    if (listingHook && !listingHook(prefix)) return entries;
    WIN32_FIND_DATAW found;
    std::wstring search = (prefix.empty() ? std::wstring(L".\\") : prefix) + L"*";
    OwnedFind listing(FindFirstFileExW(ExtendedPath(search).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                       nullptr, 0));
    if (!listing.Open()) {
        // A drive's empty root lists nothing at all; other failures mean the folder cannot be read.
        entries.listed = GetLastError() == ERROR_FILE_NOT_FOUND;
        return entries;
    }
    entries.listed = true;
    do {
        const wchar_t* name = found.cFileName;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0 || !MatchesWildcard(pattern, name)) continue;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            entries.files.push_back(ListedFile{name, (static_cast<int64_t>(found.nFileSizeHigh) << 32) + found.nFileSizeLow});
        } else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            entries.folders.emplace_back(name);
        }
    } while (NextEntry(listing.Get(), &found));
    // Only "no more files" ends a whole listing; any other error leaves it partial.
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        FolderEntries broken;
        broken.brokenOff = true;
        return broken;
    }
    listing.Close();  // done with the search: the sorting needs no handle
    std::sort(entries.files.begin(), entries.files.end(),
              [](const ListedFile& a, const ListedFile& b) { return NameBefore(a.name, b.name); });
    std::sort(entries.folders.begin(), entries.folders.end(), NameBefore);
    return entries;
}

static void AddFile(const std::wstring& name, std::vector<CliItem>* items) {
    items->emplace_back();
    items->back().name = name;
}

static void AddListedFile(const std::wstring& prefix, const ListedFile& file, std::vector<CliItem>* items) {
    AddFile(prefix + file.name, items);
    items->back().listedSize = file.size;
}

static void AddNotice(const std::wstring& name, const wchar_t* notice, std::vector<CliItem>* items) {
    AddFile(name, items);
    items->back().notice = notice;
}

static bool AddFolder(const std::wstring& prefix, bool recursive, std::vector<CliItem>* items);

// A subfolder met while descending: one that cannot be listed is said, as the same folder named
// directly would be, so that a partial tree is never passed off as whole.
static void AddSubfolder(const std::wstring& name, std::vector<CliItem>* items) {
    if (!AddFolder(FolderPrefix(name), true, items)) AddNotice(name, L"Cannot read folder", items);
}

// Adds the .png files of a folder (and of its subfolders when recursive); false when it cannot be listed.
static bool AddFolder(const std::wstring& prefix, bool recursive, std::vector<CliItem>* items) {
    FolderEntries entries = ListFolder(prefix, L"*");
    if (!entries.listed) return false;
    for (const ListedFile& file : entries.files) {
        if (MatchesWildcard(L"*.png", file.name.c_str())) AddListedFile(prefix, file, items);
    }
    if (!recursive) return true;
    for (const std::wstring& folder : entries.folders) AddSubfolder(prefix + folder, items);
    return true;
}

static void ExpandFrom(const std::wstring& argument, bool recursive, std::vector<CliItem>* items, size_t* rootLength);

void ExpandName(const std::wstring& argument, bool recursive, std::vector<CliItem>* items) {
    const size_t before = items->size();
    size_t rootLength = 0;
    ExpandFrom(argument, recursive, items, &rootLength);
    for (size_t i = before; i < items->size(); i++) (*items)[i].rootLength = rootLength;
}

static void ExpandFrom(const std::wstring& argument, bool recursive, std::vector<CliItem>* items, size_t* rootLength) {
    if (argument.empty()) {
        // The window ignores an empty name; a script that passes one has lost a file name.
        AddNotice(L"\"\"", L"empty file name", items);
        return;
    }
    const size_t before = items->size();
    const size_t lastPart = LastPartStart(argument);
    *rootLength = lastPart;
    if (argument.find_first_of(L"*?", lastPart) != std::wstring::npos) {
        std::wstring prefix = argument.substr(0, lastPart);
        FolderEntries entries = ListFolder(prefix, argument.c_str() + lastPart);
        if (entries.brokenOff) {
            AddNotice(argument, L"Cannot read folder", items);
            return;
        }
        for (const ListedFile& file : entries.files) AddListedFile(prefix, file, items);
        if (recursive) {
            for (const std::wstring& folder : entries.folders) AddSubfolder(prefix + folder, items);
        }
        if (items->size() == before) AddNotice(argument, L"No file matches", items);
        return;
    }
    DWORD attributes = GetFileAttributesW(ExtendedPath(argument).c_str());
    bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!folder && IsSeparator(argument.back())) {
        // A name ending in a separator stands for a folder: one that is none is not taken as a file.
        AddNotice(argument, L"Cannot read folder", items);
        return;
    }
    if (!folder) {
        AddFile(argument, items);
        return;
    }
    *rootLength = FolderPrefix(argument).size();
    if (!AddFolder(FolderPrefix(argument), recursive, items)) {
        AddNotice(argument, L"Cannot read folder", items);
    } else if (items->size() == before) {
        AddNotice(argument, L"No .png file in the folder", items);
    }
}
