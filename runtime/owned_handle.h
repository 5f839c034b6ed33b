// owned_handle.h: a handle with exactly one owner, closed exactly once (files, searches, mappings, memory,
// threads).
#pragma once
#include <windows.h>

// Each kind of handle says what "no handle" is and how it is closed; Close answers whether that worked.
// Kernel objects close alike; files, mappings and threads differ only in what "no handle" is.
struct KernelObjectKind {
    typedef HANDLE Handle;
    static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};

struct FileHandleKind : KernelObjectKind {
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
};

struct MappingHandleKind : KernelObjectKind {
    static HANDLE None() { return nullptr; }
};

struct ThreadHandleKind : KernelObjectKind {
    static HANDLE None() { return nullptr; }
};

struct FindHandleKind {
    typedef HANDLE Handle;
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return FindClose(handle) != FALSE; }
};

struct GlobalMemoryKind {
    typedef HGLOBAL Handle;
    static HGLOBAL None() { return nullptr; }
    static bool Close(HGLOBAL block) { return GlobalFree(block) == nullptr; }  // the block back on failure
};

// Move-only: a moved-from owner holds no handle and closes nothing. Wrap the creating call's result
// directly; a failed creation gives an owner that is not Open().
template <typename Kind>
class OwnedHandle {
public:
    typedef typename Kind::Handle Handle;

    OwnedHandle() : handle_(Kind::None()) {}
    explicit OwnedHandle(Handle handle) : handle_(handle) {}
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = Kind::None(); }
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.handle_;
            other.handle_ = Kind::None();
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { Close(); }

    Handle Get() const { return handle_; }
    bool Open() const { return handle_ != Kind::None(); }
    // Closes now, for callers that must know the result (a written file's close can fail) or the order.
    // True when the close worked or there was nothing to close.
    bool Close() {
        if (!Open()) return true;
        Handle handle = handle_;
        handle_ = Kind::None();
        return Kind::Close(handle);
    }

private:
    Handle handle_;
};

typedef OwnedHandle<FileHandleKind> OwnedFile;         // CreateFileW: INVALID_HANDLE_VALUE when none
typedef OwnedHandle<FindHandleKind> OwnedFind;         // FindFirstFile(Ex)W
typedef OwnedHandle<MappingHandleKind> OwnedMapping;   // CreateFileMappingW, OpenFileMappingW: null when none
typedef OwnedHandle<GlobalMemoryKind> OwnedGlobal;     // GlobalAlloc
typedef OwnedHandle<ThreadHandleKind> OwnedThread;     // CreateThread: null when none
