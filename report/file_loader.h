// file_loader.h: how the scan obtains a file's bytes; the window's load path is the default.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include "report/chunk_scan.h"

// The bytes of one file as the search sees them: the whole file, or its first view and where the
// others come from. The view's readFailed: null, or a flag the loader raises once reading the bytes
// failed part-way (a mapped file cut short by another process, a device error): the bytes from then on
// are not the file's. The search hands on no record made after it rose and the scan ends the file with
// "Cannot read file".
struct LoadedFile {
    ScanBlock view;
    ViewSource* views = nullptr;  // null when view holds the whole file
    void* owner = nullptr;        // the loader's own, for Release
};

// How a file's bytes are obtained. The window's load path (WindowFileLoader) is the default; the
// console front end plugs in its own. A loader may be used by several threads at once only when it
// says so; the window's may not (it uses file number 0).
class FileLoader {
public:
    virtual ~FileLoader() = default;
    // On success fills *file and returns null; otherwise returns the notice text ("Wrong size!",
    // "Cannot allocate memory", "Cannot read file") and leaves nothing to release. listedSize: the
    // file's size as a folder listing gave it, taken instead of asking by name; below 0 when none.
    virtual const wchar_t* Load(const std::wstring& name, int64_t listedSize, LoadedFile* file) = 0;
    // Gives back what a successful Load obtained.
    virtual void Release(LoadedFile* file) = 0;
};

// The size of the file a name stands for, by QueryFileSize, whose path cut looks at the first
// MAX_PATH units only: for a longer name it answers -1 (names nothing) rather than the size of the
// file that the first MAX_PATH units may name.
int64_t QueryWholeNameSize(const std::wstring& name);

// The notice a size gives before any load: "Wrong size!" for 0; "Cannot allocate memory" for a
// missing file or a folder (below 0) and for 2 GiB and up, which one block of a 32-bit process
// cannot hold whole (sizes whose low 32 bits read small included); null for a size that can be loaded.
const wchar_t* SizeNotice(int64_t size);

// The window's load path: the size (QueryWholeNameSize, SizeNotice; a listed size is not used), one
// zero-filled block of the memory heap exactly that large, read into in pieces of ReadPiece bytes up
// to the first short one (which leaves the rest zero), file number 0 of the file library, which must
// be started. Notices: those of SizeNotice, "Cannot allocate memory" when there is no memory, "Cannot
// read file" (open failed, or the scan was asked to stop). Holds no state of its own but the stop
// flag; file number 0 is one: one scan at a time.
class WindowFileLoader : public FileLoader {
public:
    // stop: null, or a flag that ends a load between two pieces once set, so that a scan no longer
    // wanted ends within a piece's read rather than a whole gigabyte's.
    explicit WindowFileLoader(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}
    const wchar_t* Load(const std::wstring& name, int64_t listedSize, LoadedFile* file) override;
    void Release(LoadedFile* file) override;

    static const int32_t ReadPiece = 16 << 20;

private:
    const std::atomic<bool>* stop_;
};
