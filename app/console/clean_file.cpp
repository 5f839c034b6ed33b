// clean_file.cpp: one file's --clean: load, copy without what gives it away, write, read back, account.
#include "app/console/clean_file.h"
#include <windows.h>
#include <new>
#include <set>
#include <vector>
#include "app/console/check_output.h"
#include "app/console/clean_output.h"
#include "app/console/loaded_file_bytes.h"
#include "app/console/out_folder.h"
#include "png/clean_copy.h"
#include "runtime/long_path.h"
#include "runtime/owned_handle.h"
#include "runtime/system_message.h"
#include "runtime/whole_file_writer.h"
#include "runtime/wildcard.h"

namespace {

std::wstring FullPath(const std::wstring& name) {
    const std::wstring extended = ExtendedPath(name);
    DWORD size = GetFullPathNameW(extended.c_str(), 0, nullptr, nullptr);
    if (size == 0) return name;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(extended.c_str(), size, &full[0], nullptr);
    full.resize(size);
    return full;
}

bool FileIdentity(const std::wstring& name, BY_HANDLE_FILE_INFORMATION* info) {
    // No access asked: the identity of a file another program holds is still there to read.
    OwnedFile file(CreateFileW(ExtendedPath(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.Open() && GetFileInformationByHandle(file.Get(), info);
}

// The copy's choices from the command line: -k names the texts that go (all without it), --keep
// those that stay whatever -k says; keywords compare as -k compares them (wildcards, -i).
CleanChoices ChoicesOf(const CliOptions& options) {
    CleanChoices choices;
    choices.keepText = [&options](const std::string& keyword) {
        const std::wstring name = Latin1(keyword);
        const bool ignoreCase = options.ignoreCase;
        for (const std::wstring& keep : options.keeps) {
            if (MatchesPattern(keep.c_str(), name.c_str(), ignoreCase)) return true;
        }
        if (options.keywords.empty()) return false;
        for (const std::wstring& removed : options.keywords) {
            if (MatchesPattern(removed.c_str(), name.c_str(), ignoreCase)) return false;
        }
        return true;
    };
    for (const std::wstring& type : options.drops) {
        uint32_t code = 0;
        for (wchar_t c : type) code = code << 8 | static_cast<uint8_t>(c);
        choices.dropTypes.push_back(code);
    }
    choices.clearStealth = options.clearStealth;
    return choices;
}

// Copies larger than this are not kept for the next file.
const size_t KeptCopyBytes = 32u << 20;
// The copy is read back in pieces of this size, each compared with the copy made.
const size_t ReadBackPiece = 1u << 20;

// Hands a copy's memory back for the next file however its cleaning ends.
class KeptCopy {
public:
    KeptCopy(CleanResult* result, CleanMemory* memory) : result_(result), memory_(memory) {}
    KeptCopy(const KeptCopy&) = delete;
    KeptCopy& operator=(const KeptCopy&) = delete;
    ~KeptCopy() {
        if (result_->copy.capacity() <= KeptCopyBytes) memory_->copy.swap(result_->copy);
    }

private:
    CleanResult* result_;
    CleanMemory* memory_;
};

// Reads the file written back, piece by piece, and holds it against the copy made.
bool ReadBackMatches(HANDLE file, const CleanResult& result, std::vector<uint8_t>* piece) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || static_cast<uint64_t>(size.QuadPart) != result.copy.size()) return false;
    const size_t count = result.copy.size();
    if (piece->size() < ReadBackPiece) piece->resize(ReadBackPiece);
    for (size_t at = 0; at < count;) {
        const DWORD wanted = static_cast<DWORD>(count - at > ReadBackPiece ? ReadBackPiece : count - at);
        DWORD read = 0;
        if (!ReadFile(file, piece->data(), wanted, &read, nullptr) || read == 0) return false;
        if (!MatchesCleanCopyPiece(piece->data(), read, at, result)) return false;
        at += read;
    }
    return CleanCopyWellMade(result);
}

std::wstring FolderOf(const std::wstring& path) {
    size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

// Writes the copy; false, with its notice, when nothing was left under its name. copyExists: a file
// was seen under the name (then, without --force, nothing is written).
bool WriteCopy(const std::wstring& copyPath, bool copyExists, const CleanResult& result, bool force, CleanMemory* memory,
               CleanRun* run, ConsoleReport* report) {
    if (copyExists && !force) {
        report->Notice(L"File", L"Exists, not overwritten (--force overwrites)", copyPath);
        return false;
    }
    const std::wstring folder = FolderOf(copyPath);
    if (!folder.empty() && !MakeFolders(folder)) {
        report->Notice(L"File", L"Cannot make folder", folder);
        return false;
    }
    WholeFileWriter writer(NamedWhenPlaced(), run->TemporaryPrefix(copyPath), force ? ExistingFile::Replace : ExistingFile::Keep);
    writer.Write(result.copy.data(), result.copy.size());
    switch (writer.Place(copyPath, [&result, memory](HANDLE file) { return ReadBackMatches(file, result, &memory->readBack); })) {
    case WriteOutcome::Written: return true;
    case WriteOutcome::Exists: report->Notice(L"File", L"Exists, not overwritten (--force overwrites)", copyPath); return false;
    case WriteOutcome::Failed: break;
    }
    std::wstring message = L"Cannot write file";
    const std::wstring reason = writer.Error() == ERROR_INVALID_DATA ? std::wstring(L"the copy read back is not the copy made")
                                                                      : SystemMessage(writer.Error());
    if (!reason.empty()) message += L": " + reason;
    report->Notice(L"File", message.c_str(), copyPath);
    return false;
}

}  // namespace

CleanRun::CleanRun(const CliOptions& options) : rootPrefix_(FolderPrefix(options.cleanFolder)) {}

std::wstring CleanRun::TemporaryPrefix(const std::wstring& copyPath) {
    const bool intoRoot = copyPath.size() > rootPrefix_.size() && copyPath.compare(0, rootPrefix_.size(), rootPrefix_) == 0 &&
                          copyPath.find_first_of(L"\\/", rootPrefix_.size()) == std::wstring::npos;
    if (!intoRoot) return FolderPrefix(FolderOf(copyPath));
    std::lock_guard<ThreadLock> lock(lock_);
    partial_.Make(rootPrefix_);
    return partial_.Prefix();
}

std::wstring CleanCopyPath(const std::wstring& folder, const std::wstring& name, size_t rootLength) {
    std::wstring below = rootLength < name.size() ? name.substr(rootLength) : name;
    while (!below.empty() && (below[0] == L'\\' || below[0] == L'/')) below.erase(0, 1);
    for (wchar_t& c : below) c = c == L'/' ? L'\\' : c;
    return FolderPrefix(folder) + below;
}

void MarkCopyNameClashes(const CliOptions& options, std::vector<CliItem>* items) {
    // Names compared with separators alike, case ignored as the file system ignores it.
    struct NameLess {
        bool operator()(const std::wstring& a, const std::wstring& b) const {
            return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
        }
    };
    std::set<std::wstring, NameLess> taken;
    for (CliItem& item : *items) {
        if (item.notice) continue;
        std::wstring key = CleanCopyPath(options.cleanFolder, item.name, item.rootLength);
        for (wchar_t& c : key) c = c == L'/' ? L'\\' : c;
        if (!taken.insert(key).second) item.notice = L"Its copy's name is taken by a file named before it: no copy made";
    }
}

bool SameFile(const std::wstring& a, const std::wstring& b, bool bExists) {
    const std::wstring fullA = FullPath(a), fullB = FullPath(b);
    if (CompareStringOrdinal(fullA.data(), static_cast<int>(fullA.size()), fullB.data(), static_cast<int>(fullB.size()), TRUE) ==
        CSTR_EQUAL)
        return true;
    if (!bExists) return false;
    // b first: mostly the copy's name, which stands for no file yet, and then a's identity (a volume's
    // serial number, a round trip to another process under Wine) is not needed.
    BY_HANDLE_FILE_INFORMATION infoA, infoB;
    return FileIdentity(b, &infoB) && FileIdentity(a, &infoA) && infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
           infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
}

bool CleanFile(const CliItem& item, const CliOptions& options, FileLoader* loader, CleanMemory* memory, CleanRun* run,
               ConsoleReport* report) {
    const std::wstring& name = item.name;
    CleanResult result;
    KeptCopy kept(&result, memory);
    {
        Loaded loaded(loader);
        if (const wchar_t* notice = loader->Load(name, item.listedSize, &loaded.file)) {
            report->Notice(L"File", notice, name);
            return false;
        }
        LoadedFileBytes bytes(loaded.file);
        result = MakeCleanCopy(&bytes, ChoicesOf(options), std::move(memory->copy));
    }  // the original is let go before the copy is written
    if (result.end == CleanEnd::NoMemory) throw std::bad_alloc();
    const std::wstring notice = CleanNotice(result);
    if (!notice.empty()) {
        report->Notice(L"File", notice.c_str(), name);
        return false;
    }
    const std::wstring copyPath = CleanCopyPath(options.cleanFolder, name, item.rootLength);
    // One look-up of the copy's name serves both checks: under Wine a name not there costs a read of its folder.
    const bool copyExists = GetFileAttributesW(ExtendedPath(copyPath).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (SameFile(name, copyPath, copyExists)) {
        report->Notice(L"File", L"The copy would replace the file itself: no copy made", name);
        return false;
    }
    if (!WriteCopy(copyPath, copyExists, result, options.force, memory, run, report)) return false;
    std::wstring out, err;
    AppendCleanAccount(out, err, name, copyPath, result, options.form == OutputForm::Json, options.verbose);
    report->AppendCleanOutput(out, err);
    bool clean = true;
    for (const std::wstring& kept : CopyNotices(result)) {
        report->Notice(L"File", kept.c_str(), name);
        clean = false;
    }
    return clean;
}
