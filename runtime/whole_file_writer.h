// whole_file_writer.h: a file written whole or not at all, under a temporary name renamed into place.
#pragma once
#include <windows.h>
#include <cstddef>
#include <functional>
#include <string>
#include "runtime/owned_handle.h"

// What a file already at the final name gets.
enum class ExistingFile {
    Keep,     // never replaced: the file is not written (Exists)
    Replace,  // replaced by the new file; a link there is replaced itself, never written through
};

enum class WriteOutcome { Written, Exists, Failed };

// Writes one file so that its final name never shows a part of it. The bytes go to a new file of a
// temporary name in the final name's folder ("~w" + process and serial number + ".tmp", unique among
// the threads and processes writing there), which Finish flushes, closes and renames into place only
// when every byte was written. On any failure the temporary file is removed and Error() says why; the
// final name is then as it was. With Keep an existing final name is looked at first, so nothing is
// written for it, and the rename refuses to replace a file that appeared meanwhile.
// A file may also be written before its final name is known (NamedWhenPlaced): its bytes are written
// and completed on one thread, and Place names it later, on another; the guarantees are the same.
// Names past the classic path limit are used whole (as extended-length paths).
// One writer is used by one thread at a time; several writers may work at once.
struct NamedWhenPlaced {};

class WholeFileWriter {
public:
    // Starts the file: the temporary file is made here. A failure (or, with Keep, an existing final
    // name) makes every Write do nothing and Finish answer it.
    WholeFileWriter(const std::wstring& finalPath, ExistingFile existing);
    // Starts a file whose final name Place gives: the temporary file is made in folder (a path that
    // ends in a separator or a drive's colon, or empty for the current folder).
    WholeFileWriter(NamedWhenPlaced, const std::wstring& folder, ExistingFile existing);
    // A writer not finished removes its temporary file.
    ~WholeFileWriter();
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;

    // Appends count bytes. False once anything failed: the caller may stop making bytes.
    bool Write(const void* bytes, size_t count);
    // Written: the file is under its final name, whole. Exists: Keep found the name taken (before
    // or at the rename). Failed: Error() is the system's error code. Called once.
    // readBack, when given, is shown the file written, opened for reading, after it was flushed and
    // closed and before the rename: false fails the file (ERROR_INVALID_DATA) and removes it.
    WriteOutcome Finish(const std::function<bool(HANDLE file)>& readBack = nullptr);
    // Flushes and closes the temporary file, so that every byte is on disk; false (Error()) when that
    // failed, and the temporary file is gone. Finish and Place do it where it was not done.
    bool Complete();
    // Finish for a writer made NamedWhenPlaced: the file is renamed to finalPath (on the volume it was
    // made on), with Keep only where no file has that name (the rename refuses it); readBack as for
    // Finish. Called once.
    WriteOutcome Place(const std::wstring& finalPath, const std::function<bool(HANDLE file)>& readBack = nullptr);
    // The system's error code of the failure (ERROR_FILE_EXISTS for Exists); 0 while there is none.
    DWORD Error() const { return error_; }
    // The temporary name, while the temporary file exists (for tests); empty otherwise.
    const std::wstring& TemporaryPath() const { return temporaryPath_; }

private:
    void Start(const std::wstring& folder);
    void Fail(DWORD error);
    void RemoveTemporary();
    bool ReadBack(const std::function<bool(HANDLE file)>& readBack);
    WriteOutcome Rename();

    std::wstring finalPath_;
    std::wstring temporaryPath_;
    ExistingFile existing_;
    OwnedFile file_;
    DWORD error_ = 0;
    bool exists_ = false;
    bool completed_ = false;
};
