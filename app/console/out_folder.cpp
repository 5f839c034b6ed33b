// out_folder.cpp: the files of --out: names, never overwriting, the folder made on demand.
#include "app/console/out_folder.h"
#include <windows.h>
#include "report/utf8_encoding.h"
#include "runtime/long_path.h"
#include "runtime/system_message.h"
#include "runtime/whole_file_writer.h"

static bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

OutFolder::OutFolder(const CliOptions& options)
    : folder_(options.outFolder), prefix_(FolderPrefix(folder_)), force_(options.force), verbose_(options.verbose) {}

std::wstring FolderPrefix(const std::wstring& folder) {
    // Backslashes throughout: a name shown reads as one path (out\x\name, not out/x\name).
    std::wstring prefix = folder;
    for (wchar_t& c : prefix) c = c == L'/' ? L'\\' : c;
    // "D:" is that drive's current folder: the name follows it directly.
    const bool joined = prefix.empty() || IsSeparator(prefix.back()) || (prefix.size() == 2 && prefix[1] == L':');
    return joined ? prefix : prefix + L"\\";
}

static bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(ExtendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolders(const std::wstring& folder) {
    for (size_t at = 1; at <= folder.size(); at++) {
        if (at < folder.size() && !IsSeparator(folder[at])) continue;
        std::wstring upTo = folder.substr(0, at);
        if (upTo.size() == 2 && upTo[1] == L':') continue;  // a drive
        if (!IsFolder(upTo)) CreateDirectoryW(ExtendedPath(upTo).c_str(), nullptr);
    }
    return IsFolder(folder);
}

bool OutFolder::FolderMade() {
    std::lock_guard<ThreadLock> lock(lock_);
    if (!tried_) {
        made_ = MakeFolders(folder_);
        if (made_) partial_.Make(prefix_);
    }
    tried_ = true;
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

static bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
static bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::wstring SafeNamePart(const std::wstring& part) {
    // Cut at a whole code point: half a surrogate pair makes a name no file can have.
    size_t length = part.size() < MaxNamePart ? part.size() : MaxNamePart;
    if (length < part.size() && IsHighSurrogate(part[length - 1]) && IsLowSurrogate(part[length])) length--;
    std::wstring safe = part.substr(0, length);
    for (size_t i = 0; i < safe.size(); i++) {
        wchar_t& c = safe[i];
        if (IsHighSurrogate(c) && i + 1 < safe.size() && IsLowSurrogate(safe[i + 1])) {
            i++;  // a pair stays whole
        } else if (c < 0x20 || c == 0x7F || wcschr(L"<>:\"/\\|?*", c) || IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = L'_';
        }
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

// Writes text as UTF-8 a piece at a time, encoded in bytes; stops at the first write that fails.
static void WriteText(WholeFileWriter* file, const std::wstring& text, std::string& bytes) {
    for (size_t at = 0; at < text.size();) {
        size_t end = Utf16PieceEnd(text.data(), text.size(), at, 1u << 18);
        bytes.clear();
        AppendUtf8(bytes, text.data() + at, end - at);
        if (!file->Write(bytes.data(), bytes.size())) return;
        at = end;
    }
}

bool OutFileNames::Unused(const std::wstring& name) {
    lookedUp_++;
    return used_.insert(Upper(name)).second;
}

std::wstring OutFileNames::Take(const std::wstring& base, const wchar_t* extension) {
    std::wstring name = base + extension;
    if (Unused(name)) return name;
    unsigned& repeat = nextRepeat_.emplace(Upper(name), 2u).first->second;
    do {
        name = base + L"." + std::to_wstring(repeat++) + extension;
    } while (!Unused(name));
    return name;
}

std::unique_ptr<PendingOutFile> OutFolder::Prepare(const std::wstring& imageName, const std::wstring& keyword,
                                                   const std::wstring& text, bool json, std::string* bytes) {
    std::unique_ptr<PendingOutFile> file(new PendingOutFile);
    file->base = OutFileBase(imageName, keyword);
    file->json = json;
    if (!FolderMade()) return file;
    file->writer.reset(new WholeFileWriter(NamedWhenPlaced(), partial_.Prefix(), force_ ? ExistingFile::Replace : ExistingFile::Keep));
    std::string own;
    WriteText(file->writer.get(), text, bytes ? *bytes : own);
    // On disk before its turn: the writer then only names it.
    file->writer->Complete();
    return file;
}

bool OutFolder::Place(PendingOutFile* file, ConsoleStream* err) {
    if (!file->writer) {
        if (!said_) err->Write(folder_ + L": Cannot make folder\n");
        said_ = true;
        return false;
    }
    const std::wstring path = prefix_ + names_.Take(file->base, file->json ? L".json" : L".txt");
    switch (file->writer->Place(path)) {
    case WriteOutcome::Written:
        if (verbose_) err->Write(path + L"\n");
        return true;
    case WriteOutcome::Exists:
        err->Write(path + L": Exists, not overwritten (--force overwrites)\n");
        return false;
    default: {
        const std::wstring reason = SystemMessage(file->writer->Error());
        err->Write(path + L": Cannot write file" + (reason.empty() ? L"" : L": " + reason) + L"\n");
        return false;
    }
    }
}
