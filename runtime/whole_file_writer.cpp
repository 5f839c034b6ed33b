// whole_file_writer.cpp: writing beside the final name, then one rename; the temporary file never stays.
#include "runtime/whole_file_writer.h"
#include <cstdint>
#include "runtime/long_path.h"
#include "runtime/runtime_test_seams.h"

// Test seam (runtime_test_seams.h): the room left on a pretend volume; below 0, the real one alone.
static int64_t pretendRoom = -1;

void SetWriterRoom(int64_t bytes) { pretendRoom = bytes; }

// Serial numbers of temporary names within this process; the process number tells processes apart.
static volatile LONG temporarySerial;

// The folder part of a path, separator included: what comes before its last part ("D:" included).
static std::wstring FolderPartOf(const std::wstring& path) {
    size_t at = path.size();
    while (at > 0 && path[at - 1] != L'\\' && path[at - 1] != L'/' && path[at - 1] != L':') at--;
    return path.substr(0, at);
}

static std::wstring Hex(DWORD value) {
    wchar_t digits[9];
    int at = 8;
    digits[at] = 0;
    do {
        digits[--at] = L"0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value);
    return digits + at;
}

// Made with CREATE_NEW: a name another writer holds, or one left by a process long gone, is
// passed over for the next serial number.
static OwnedFile CreateTemporary(const std::wstring& folder, std::wstring* path, DWORD* error) {
    const std::wstring process = Hex(GetCurrentProcessId());
    for (int tries = 0; tries < 100; tries++) {
        *path = folder + L"~w" + process + L"-" + Hex(static_cast<DWORD>(InterlockedIncrement(&temporarySerial))) + L".tmp";
        OwnedFile file(CreateFileW(ExtendedPath(*path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Open()) return file;
        *error = GetLastError();
        if (*error != ERROR_FILE_EXISTS && *error != ERROR_ALREADY_EXISTS) break;
    }
    path->clear();
    return OwnedFile();
}

WholeFileWriter::WholeFileWriter(const std::wstring& finalPath, ExistingFile existing)
    : finalPath_(finalPath), existing_(existing) {
    if (existing_ == ExistingFile::Keep && GetFileAttributesW(ExtendedPath(finalPath_).c_str()) != INVALID_FILE_ATTRIBUTES) {
        exists_ = true;
        error_ = ERROR_FILE_EXISTS;
        return;
    }
    Start(FolderPartOf(finalPath_));
}

WholeFileWriter::WholeFileWriter(NamedWhenPlaced, const std::wstring& folder, ExistingFile existing)
    : existing_(existing) {
    Start(folder);
}

void WholeFileWriter::Start(const std::wstring& folder) {
    DWORD error = ERROR_WRITE_FAULT;
    file_ = CreateTemporary(folder, &temporaryPath_, &error);
    if (!file_.Open()) error_ = error ? error : ERROR_WRITE_FAULT;
}

WholeFileWriter::~WholeFileWriter() { RemoveTemporary(); }

void WholeFileWriter::RemoveTemporary() {
    file_.Close();
    if (temporaryPath_.empty()) return;
    DeleteFileW(ExtendedPath(temporaryPath_).c_str());
    temporaryPath_.clear();
}

void WholeFileWriter::Fail(DWORD error) {
    if (!error_) error_ = error ? error : ERROR_WRITE_FAULT;
    RemoveTemporary();
}

bool WholeFileWriter::Write(const void* bytes, size_t count) {
    if (error_) return false;
    const char* at = static_cast<const char*>(bytes);
    bool full = false;
    if (pretendRoom >= 0 && static_cast<uint64_t>(count) > static_cast<uint64_t>(pretendRoom)) {
        count = static_cast<size_t>(pretendRoom);
        full = true;
    }
    while (count > 0) {
        const DWORD piece = static_cast<DWORD>(count > (1u << 30) ? (1u << 30) : count);
        DWORD written = 0;
        if (!WriteFile(file_.Get(), at, piece, &written, nullptr) || written == 0) {
            Fail(GetLastError());
            return false;
        }
        if (pretendRoom >= 0) pretendRoom -= written;
        at += written;
        count -= written;
    }
    if (full) {
        Fail(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

bool WholeFileWriter::Complete() {
    if (error_) return false;
    if (completed_) return true;
    // Flushed before the rename: the final name must never stand for bytes that are not yet on disk.
    if (!FlushFileBuffers(file_.Get())) {
        Fail(GetLastError());
        return false;
    }
    // The close writes too: its failure is a failed write.
    if (!file_.Close()) {
        Fail(GetLastError());
        return false;
    }
    completed_ = true;
    return true;
}

bool WholeFileWriter::ReadBack(const std::function<bool(HANDLE file)>& readBack) {
    if (!readBack) return true;
    OwnedFile written(CreateFileW(ExtendedPath(temporaryPath_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!written.Open()) {
        Fail(GetLastError());
        return false;
    }
    const bool same = readBack(written.Get());
    written.Close();
    if (!same) Fail(ERROR_INVALID_DATA);
    return same;
}

WriteOutcome WholeFileWriter::Finish(const std::function<bool(HANDLE file)>& readBack) {
    if (exists_) return WriteOutcome::Exists;
    if (!Complete() || !ReadBack(readBack)) return WriteOutcome::Failed;
    return Rename();
}

WriteOutcome WholeFileWriter::Place(const std::wstring& finalPath, const std::function<bool(HANDLE file)>& readBack) {
    finalPath_ = finalPath;
    // No look-up of the name first: the bytes are written already, and the rename refuses a name taken.
    if (!Complete() || !ReadBack(readBack)) return WriteOutcome::Failed;
    return Rename();
}

WriteOutcome WholeFileWriter::Rename() {
    // A rename puts the new file in the folder's entry: a link there is replaced, not followed.
    const DWORD replace = existing_ == ExistingFile::Replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (!MoveFileExW(ExtendedPath(temporaryPath_).c_str(), ExtendedPath(finalPath_).c_str(), replace)) {
        DWORD error = GetLastError();
        // A folder of the name is refused with other errors than a file is.
        exists_ = !replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ||
                               GetFileAttributesW(ExtendedPath(finalPath_).c_str()) != INVALID_FILE_ATTRIBUTES);
        Fail(exists_ ? ERROR_FILE_EXISTS : error);
        return exists_ ? WriteOutcome::Exists : WriteOutcome::Failed;
    }
    temporaryPath_.clear();
    return WriteOutcome::Written;
}
