// mapped_view.cpp: read-only file views, and the fault handler that keeps a failing view readable.
#include "runtime/mapped_view.h"
#include "runtime/owned_handle.h"

// Every change of the address space made for views (map, unmap, re-reserve) holds this lock, so that
// a view being replaced is not mapped over by another thread's view in the middle.
static SRWLOCK addressSpaceLock = SRWLOCK_INIT;
// The calling thread's current view (Win32 thread-local storage: no allocation in the handler).
static DWORD currentViewSlot = TLS_OUT_OF_INDEXES;
static INIT_ONCE handlerOnce = INIT_ONCE_STATIC_INIT;

struct ViewFaultAccess {
    static bool Contains(const MappedView* view, const uint8_t* at) { return view->Contains(at); }
    static bool ReplaceWithZeros(MappedView* view, const uint8_t* at) { return view->ReplaceWithZeros(at); }
};

static LONG CALLBACK ViewFaultHandler(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    // A read fault in a view: Wine reports a file cut short as an access violation, Windows a failed
    // page-in as an in-page error; both give the kind of access (0 = read) and the address.
    if (record->ExceptionCode != EXCEPTION_IN_PAGE_ERROR && record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    if (record->NumberParameters < 2 || record->ExceptionInformation[0] != 0) return EXCEPTION_CONTINUE_SEARCH;
    MappedView* view = static_cast<MappedView*>(TlsGetValue(currentViewSlot));
    const uint8_t* at = reinterpret_cast<const uint8_t*>(record->ExceptionInformation[1]);
    if (!view || !ViewFaultAccess::Contains(view, at)) return EXCEPTION_CONTINUE_SEARCH;
    return ViewFaultAccess::ReplaceWithZeros(view, at) ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
}

static BOOL CALLBACK InstallHandler(PINIT_ONCE, PVOID, PVOID*) {
    currentViewSlot = TlsAlloc();
    return currentViewSlot != TLS_OUT_OF_INDEXES && AddVectoredExceptionHandler(1, ViewFaultHandler) != nullptr;
}

bool InstallViewFaultHandler() { return InitOnceExecuteOnce(&handlerOnce, InstallHandler, nullptr, nullptr) != FALSE; }

bool MappedView::Open(HANDLE file, uint64_t offset, size_t size) {
    Close();
    if (!InstallViewFaultHandler() || size == 0 || offset % ViewAlignment != 0) return false;
    // One view per thread: the handler knows only the thread's current one.
    if (TlsGetValue(currentViewSlot)) return false;
    // A mapping larger than the file fails for a read-only file: a file that shrank is not mapped.
    OwnedMapping mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.Open()) return false;
    AcquireSRWLockExclusive(&addressSpaceLock);
    base_ = static_cast<uint8_t*>(MapViewOfFile(mapping.Get(), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                                                 static_cast<DWORD>(offset), size));
    ReleaseSRWLockExclusive(&addressSpaceLock);
    // The view keeps the section: the mapping handle closes here.
    if (!base_) return false;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    span_ = (size + system.dwPageSize - 1) / system.dwPageSize * system.dwPageSize;
    failed_ = 0;
    replacedWhole_ = false;
    granuleCount_ = 0;
    TlsSetValue(currentViewSlot, this);
    return true;
}

void MappedView::Close() {
    if (!base_) return;
    TlsSetValue(currentViewSlot, nullptr);
    AcquireSRWLockExclusive(&addressSpaceLock);
    if (!failed_) {
        UnmapViewOfFile(base_);
    } else if (replacedWhole_) {
        VirtualFree(base_, 0, MEM_RELEASE);
    }
    for (int i = 0; i < granuleCount_; i++) VirtualFree(granules_[i], 0, MEM_RELEASE);
    ReleaseSRWLockExclusive(&addressSpaceLock);
    base_ = nullptr;
    span_ = 0;
    granuleCount_ = 0;
}

bool MappedView::ReplaceWithZeros(const uint8_t* at) {
    AcquireSRWLockExclusive(&addressSpaceLock);
    bool resumed = false;
    if (!failed_) {
        failed_ = 1;
        UnmapViewOfFile(base_);
        replacedWhole_ = VirtualAlloc(base_, span_, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY) == base_;
        resumed = replacedWhole_;
    }
    if (!resumed && !replacedWhole_ && granuleCount_ < MaxGranules) {
        // Another thread's allocation took part of the range: take back the free granule that faulted.
        uint8_t* granule = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(at) & ~(uintptr_t)(Granule - 1));
        if (VirtualAlloc(granule, Granule, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY) == granule) {
            granules_[granuleCount_++] = granule;
            resumed = true;
        }
    }
    ReleaseSRWLockExclusive(&addressSpaceLock);
    return resumed;
}
