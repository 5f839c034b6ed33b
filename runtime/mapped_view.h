// mapped_view.h: a read-only view of a file whose failing reads turn into zeros and a flag.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

// Installs the fault handler of views (a vectored exception handler) for the whole process; the
// program calls it once at start, before its threads. Opening a view installs it too when that was
// forgotten. False when it could not be installed: no view then opens.
bool InstallViewFaultHandler();

// A view of size bytes of an open file from `offset` on (a multiple of ViewAlignment). While it is the calling thread's current view, a
// read fault inside it (file cut short by another process, device error) does not end the process:
// the view is replaced by zero-filled memory at the same address and Failed() turns true. A thread
// has one open view at a time: opening a second view while another is open on the thread fails.
// Views of a file start at multiples of this (the system's allocation granularity).
const uint64_t ViewAlignment = 64u << 10;

class MappedView {
public:
    MappedView() = default;
    ~MappedView() { Close(); }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    // Maps the view and makes it the calling thread's current one; false (nothing mapped) when the file
    // is shorter than offset + size, offset is not aligned, the address space has no room, or another
    // view is open on this thread.
    bool Open(HANDLE file, uint64_t offset, size_t size);
    // Ends the view (or the zero-filled memory that replaced it). Done by the thread that opened it.
    void Close();
    const uint8_t* Bytes() const { return base_; }
    bool Failed() const { return failed_ != 0; }
    // The flag behind Failed, for a reader that asks without knowing the view.
    const volatile long* FailedFlag() const { return &failed_; }

private:
    friend struct ViewFaultAccess;  // the fault handler, the only caller of the two below
    // Takes the range of the faulting address back as zero-filled memory.
    bool ReplaceWithZeros(const uint8_t* at);
    bool Contains(const uint8_t* at) const { return base_ && at >= base_ && at < base_ + span_; }

    static const size_t Granule = static_cast<size_t>(ViewAlignment);  // the unit of address space reservations
    static const int MaxGranules = 64;
    uint8_t* base_ = nullptr;
    size_t span_ = 0;  // size rounded up to whole pages
    volatile LONG failed_ = 0;
    bool replacedWhole_ = false;
    // Used only when another thread took part of the range between unmapping and re-reserving it.
    uint8_t* granules_[MaxGranules] = {};
    int granuleCount_ = 0;
};
