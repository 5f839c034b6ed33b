// out_folder.cpp: the files of --out: names, never overwriting, the folder made on demand.
#include "app/console/out_folder.h"
#include <windows.h>
#include "report/utf8_encoding.h"
#include "runtime/owned_handle.h"

OutFolder::OutFolder(const CliOptions& options)
    : folder_(options.outFolder), force_(options.force), verbose_(options.verbose) {}

static bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

static bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes the folder and those above it that are missing.
bool OutFolder::Made(ConsoleStream* err) {
    if (tried_) return made_;
    tried_ = true;
    for (size_t at = 1; at <= folder_.size(); at++) {
        if (at < folder_.size() && !IsSeparator(folder_[at])) continue;
        std::wstring upTo = folder_.substr(0, at);
        if (upTo.size() == 2 && upTo[1] == L':') continue;  // a drive
        if (!IsFolder(upTo)) CreateDirectoryW(upTo.c_str(), nullptr);
    }
    made_ = IsFolder(folder_);
    if (!made_) err->Write(folder_ + L": Cannot make folder\n");
    return made_;
}

static bool IsDeviceName(const std::wstring& part) {
    std::wstring name = part.substr(0, part.find(L'.'));
    while (!name.empty() && name.back() == L' ') name.pop_back();
    for (wchar_t& c : name) c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c;
    if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL" || name == L"CONIN$" || name == L"CONOUT$")
        return true;
    return name.size() == 4 && (name.compare(0, 3, L"COM") == 0 || name.compare(0, 3, L"LPT") == 0) &&
           ((name[3] >= L'0' && name[3] <= L'9') || name[3] == 0xB9 || name[3] == 0xB2 || name[3] == 0xB3);
}

std::wstring SafeNamePart(const std::wstring& part) {
    std::wstring safe = part.substr(0, MaxNamePart);
    for (wchar_t& c : safe) {
        if (c < 0x20 || c == 0x7F || wcschr(L"<>:\"/\\|?*", c)) c = L'_';
    }
    while (!safe.empty() && (safe.back() == L'.' || safe.back() == L' ')) safe.pop_back();
    return safe.empty() ? L"_" : safe;
}

std::wstring OutFileBase(const std::wstring& imageName, const std::wstring& keyword) {
    size_t start = imageName.size();
    while (start > 0 && !IsSeparator(imageName[start - 1]) && imageName[start - 1] != L':') start--;
    std::wstring stem = imageName.substr(start);
    size_t dot = stem.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) stem.resize(dot);
    std::wstring base = SafeNamePart(stem) + L"." + SafeNamePart(keyword);
    if (IsDeviceName(base)) base.insert(0, 1, L'_');
    return base;
}

static std::wstring Upper(std::wstring text) {
    if (!text.empty())
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &text[0], static_cast<int>(text.size()), &text[0],
                     static_cast<int>(text.size()));
    return text;
}

// Writes text as UTF-8 a piece at a time; false when a write fails.
static bool WriteText(HANDLE file, const std::wstring& text) {
    std::string bytes;
    for (size_t at = 0; at < text.size();) {
        size_t end = Utf16PieceEnd(text.data(), text.size(), at, 1u << 18);
        bytes.clear();
        AppendUtf8(bytes, text.data() + at, end - at);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written != bytes.size())
            return false;
        at = end;
    }
    return true;
}

bool OutFolder::Write(const std::wstring& imageName, const std::wstring& keyword, const std::wstring& text, bool json,
                      ConsoleStream* err) {
    if (!Made(err)) return false;
    const std::wstring base = OutFileBase(imageName, keyword);
    const wchar_t* extension = json ? L".json" : L".txt";
    std::wstring name = base + extension;
    for (unsigned repeat = 2; !used_.insert(Upper(name)).second; repeat++) {
        name = base + L"." + std::to_wstring(repeat) + extension;
    }
    // "D:" is that drive's current folder: the name follows it directly.
    const bool joined = IsSeparator(folder_.back()) || (folder_.size() == 2 && folder_[1] == L':');
    const std::wstring path = folder_ + (joined ? L"" : L"\\") + name;
    OwnedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, force_ ? CREATE_ALWAYS : CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Open()) {
        DWORD error = GetLastError();
        err->Write(path + (error == ERROR_FILE_EXISTS ? L": Exists, not overwritten (--force overwrites)\n"
                                                      : L": Cannot write file\n"));
        return false;
    }
    bool written = WriteText(file.Get(), text);
    written = file.Close() && written;  // the close writes too: its failure is a failed write
    if (!written) {
        err->Write(path + L": Cannot write file\n");
        return false;
    }
    if (verbose_) err->Write(path + L"\n");
    return true;
}
