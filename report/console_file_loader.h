// console_file_loader.h: how the console front end loads a file: pieces read into one reused buffer, or
// read-only mapped views that slide along it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "report/file_loader.h"
#include "runtime/mapped_view.h"
#include "runtime/owned_handle.h"

// Gives the search the same bytes as the window's load path (size taken by name or from a folder's
// listing, that many bytes from the start of the file) and the same notices for the same causes,
// without its cost and without its limit: the window reads each file into fresh zero-filled memory,
// whose page faults cost about as much as the read itself, and cannot hold a file of 2 GiB or more.
// Here a file is read, in pieces, into a buffer this loader keeps from file to file: a file of up to
// ReadWholeSize bytes whole, a larger one in views of one piece that slide along it, so the memory a
// thread needs does not grow with the file, whatever its size. A chunk whose fields reach past a view
// is searched again in a larger one, up to MaxViewSize (a line that long could not be held anyway:
// "Cannot allocate memory"); a buffer grown past ReadWholeSize is given back when its file is done.
// Files can instead be searched in read-only mapped views of at most ViewSize bytes (SetMapThreshold),
// whose pages come from the file cache; where no view can be mapped, views are read into the buffer.
// Measured on these machines, reading costs less than mapping at every size (each page of a view is
// faulted in on its own; 1 MB reads into a buffer that stays in the cache are one copy) and needs a
// few megabytes instead of the view's size, so by default nothing is mapped. One loader per thread.
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
// - a file of 2 GiB or more is searched whole ("Cannot allocate memory" in the window);
// and all about files that change or are in use while they are read:
// - the file is opened sharing reading, writing and deletion, so a file another program holds open
//   for writing is read (the window refuses it with "Cannot read file");
// - a file that ends before the size taken, or a read that fails, is "Cannot read file" (the window
//   shows the missing bytes as zeros).
class ConsoleFileLoader : public FileLoader, private ViewSource, private ChunkCrcReader {
public:
    ConsoleFileLoader() = default;
    ~ConsoleFileLoader() override;
    ConsoleFileLoader(const ConsoleFileLoader&) = delete;
    ConsoleFileLoader& operator=(const ConsoleFileLoader&) = delete;

    const wchar_t* Load(const std::wstring& name, int64_t listedSize, LoadedFile* file) override;
    void Release(LoadedFile* file) override;

private:
    bool Show(uint64_t from, uint64_t count, ScanBlock* view) override;
    CrcCheck CheckCrc(uint64_t typeCodeAt, uint32_t length) const override;
    bool CrcReadFailed() const override { return crcReadFailed_; }
    CrcCheck CrcUnread() const;
    bool ShowMapped(uint64_t from, uint64_t count, ScanBlock* view);
    ScanBlock ViewOf(const uint8_t* bytes, size_t length, uint64_t start, const volatile long* readFailed) const;
    bool ShowRead(uint64_t from, uint64_t count, ScanBlock* view);
    bool ReadAt(uint64_t from, uint8_t* to, size_t size) const;
    bool Reserve(size_t size);
    void FreeBuffer();
    const wchar_t* OpenNotice(DWORD error);

    OwnedFile file_;  // open from Load to Release
    std::wstring name_;  // for the test seam
    uint64_t size_ = 0;  // the size taken: the search sees the file's first size_ bytes
    mutable uint64_t position_ = 0;  // the file pointer
    bool mapped_ = false;
    MappedView view_;
    volatile long readFailed_ = 0;  // a read of a view into the buffer failed
    mutable bool crcReadFailed_ = false;  // a read for a CRC check failed
    uint8_t* buffer_ = nullptr;
    size_t capacity_ = 0;
    std::wstring notice_;  // the text of the last open failure's notice
};

// Files up to this size are read whole; a larger one in views of LoaderPieceSize.
const size_t ReadWholeSize = 8u << 20;
// Where mapping is asked for, files from this size on are mapped; below it, mapping and unmapping
// would cost more than the read.
const uint64_t MapThreshold = 8u << 20;
const uint64_t NeverMapped = UINT64_MAX;
// Files from `size` on are mapped; NeverMapped (the default) maps none. For the tests of mapped views.
void SetMapThreshold(uint64_t size);
// Bytes read with one ReadFile call: a piece is searched while it is still in the processor's cache
// (pieces of 1 MB, the size of the L2 cache here, took 1.12 times as long over a 3 GB file).
const size_t LoaderPieceSize = 512u << 10;
// The largest view a chunk whose fields reach far may ask for.
const size_t MaxViewSize = 512u << 20;

// The size of the views that slide along a file (a mapped view holds at least one ViewAlignment unit
// past the offset asked for). A test seam: a tiny size searches small files in many views.
size_t ViewSize();
void SetViewSize(size_t size);

// Test seam: called after each piece with the file's name and the bytes read so far, the moment at
// which another process may truncate or change the file. Null (the default) calls nothing.
void SetLoaderPieceHook(void (*hook)(const std::wstring& name, size_t bytesRead));
