// cli_loader.h: how the console front end loads a file: a read-only mapped view, or pieces read into
// one reused buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "report/file_loader.h"
#include "runtime/mapped_view.h"

// Gives the search the same bytes as the window's load path (size taken by name or from a folder's
// listing, SizeNotice's rules, that many bytes from the start of the file) and the same notices for
// the same causes, without its cost: the window reads each file into fresh zero-filled memory, whose page
// faults cost about as much as the read itself. Here a file of MapThreshold bytes or more is searched
// in a read-only mapped view of it (its pages come from the file cache); a smaller one is read, in
// pieces, into a buffer this loader keeps from file to file. One loader per thread.
//
// A mapped view can fail under the search: another process cuts the file short, or the device fails.
// The fault is caught by a vectored exception handler (only a read inside the current thread's view):
// it replaces the view with zero-filled memory at the same address, so the instruction resumes, and
// marks the read failed; the scan then ends that file with "Cannot read file". Only if the address
// range could not be taken back (another thread allocated in it in the microseconds between) does the
// fault go on as an access violation.
//
// Differences from the window:
// - a name that cannot be opened gets the system's reason (not found, access denied, path too long)
//   instead of "Cannot allocate memory"; a device (NUL, CON, COM1) is "Not a file (a device)"; a
//   name is opened whole however long it is (extended-length paths);
// and all about files that change or are in use while they are read:
// - the file is opened sharing reading, writing and deletion, so a file another program holds open
//   for writing is read (the window refuses it with "Cannot read file");
// - a file that ends before the size taken, or a read that fails, is "Cannot read file" (the window
//   shows the missing bytes as zeros);
// - a file too large for one block of the memory heap ("Cannot allocate memory" in the window) is
//   searched when the address space has room for a view of it.
class ConsoleFileLoader : public FileLoader {
public:
    ConsoleFileLoader() = default;
    ~ConsoleFileLoader() override;
    ConsoleFileLoader(const ConsoleFileLoader&) = delete;
    ConsoleFileLoader& operator=(const ConsoleFileLoader&) = delete;

    const wchar_t* Load(const std::wstring& name, LoadedFile* file) override;
    // The next Load takes this as the file's size instead of asking by name (a folder listing's size).
    void UseListedSize(int64_t size) {
        listedSize_ = size;
        sizeListed_ = true;
    }
    void Release(LoadedFile* file) override;

private:
    bool Reserve(size_t size);
    const wchar_t* OpenNotice(DWORD error);
    const wchar_t* Read(HANDLE handle, const std::wstring& name, size_t size, LoadedFile* file);
    MappedView view_;
    int64_t listedSize_ = 0;
    bool sizeListed_ = false;
    uint8_t* buffer_ = nullptr;
    size_t capacity_ = 0;
    std::wstring notice_;  // the text of the last open failure's notice
};

// Files from this size on are mapped; below it, mapping and unmapping cost more than the read.
const size_t MapThreshold = 8u << 20;
// Bytes read with one ReadFile call.
const size_t LoaderPieceSize = 1u << 20;

// Test seam: called after each piece with the file's name and the bytes read so far, the moment at
// which another process may truncate or change the file. Null (the default) calls nothing.
void SetLoaderPieceHook(void (*hook)(const std::wstring& name, size_t bytesRead));
