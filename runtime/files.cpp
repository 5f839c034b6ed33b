// files.cpp: the file registry, file sizes by path, and buffered reading of numbered files.
#include "runtime/files.h"
#include "runtime/main_heap.h"
#include "runtime/owned_handle.h"
#include "runtime/runtime_test_seams.h"
#include <cstring>

static ObjectRegistry* fileRegistry;

void InitFileLibrary() {
    if (!fileRegistry) fileRegistry = CreateObjectRegistry(sizeof(FileRecord), 16, CloseFileObject);
}

void FreeFileLibrary() {
    ReleaseAllObjects(fileRegistry);
}

// Test seam (runtime_test_seams.h).
ObjectRegistry* FileRegistry() { return fileRegistry; }

// GetDriveTypeW answers DRIVE_UNKNOWN (0) or DRIVE_NO_ROOT_DIR (1) when the root does not exist.
static bool DriveRootExists(const wchar_t* root) {
    return GetDriveTypeW(root) > DRIVE_NO_ROOT_DIR;
}

int64_t QueryFileSize(const wchar_t* path) {
    if (!path || !path[0]) return -1;
    // Only the first MAX_PATH units are looked at; a longer path is cut there.
    wchar_t local[MAX_PATH + 1];
    size_t length = 0;
    while (length < MAX_PATH && path[length]) {
        local[length] = path[length];
        length++;
    }
    local[length] = 0;

    // "D:" or "D:\" (or any other third character) names a drive root.
    if ((length == 2 || length == 3) && local[1] == L':') {
        if (length == 2) {
            local[2] = L'\\';
            local[3] = 0;
        }
        return DriveRootExists(local) ? -2 : -1;
    }
    while (length > 1 && local[length - 1] == L'\\') local[--length] = 0;

    WIN32_FIND_DATAW found;
    if (OwnedFind(FindFirstFileW(local, &found)).Open()) {
        // A wild-card pattern is not refused: its first match decides.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -2;
        return (static_cast<int64_t>(found.nFileSizeHigh) << 32) + found.nFileSizeLow;
    }
    // Network shares ("\\server\share") and parent folders are not found by a search of their own.
    bool uncOrParent = (local[0] == L'\\' && local[1] == L'\\') || (local[0] == L'.' && local[1] == L'.');
    if (!uncOrParent) return -1;
    DWORD attributes = GetFileAttributesW(local);
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? -2 : -1;
    return DriveRootExists(local) ? -2 : -1;
}

intptr_t OpenFileForReading(ObjectNumber number, const wchar_t* path) {
    // Claiming closes a file still open under the number, whatever happens next.
    FileRecord* record = static_cast<FileRecord*>(ClaimObject(fileRegistry, number));
    if (!record) return 0;
    HANDLE handle = path ? CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr)
                         : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        // A static number stays claimed without a file; a dynamic record must not be left behind.
        if (number == AutoNumber) ReleaseObject(fileRegistry, reinterpret_cast<ObjectNumber>(record));
        return 0;
    }
    if (FileBufferSize > 0) {
        record->buffer = static_cast<uint8_t*>(MainHeapAllocRaw(FileBufferSize));
    }
    // Without a buffer (size 0 or no memory for it) the file is read directly.
    record->bufferSize = record->buffer ? FileBufferSize : 0;
    record->handle = handle;
    record->count = 0;
    record->bufferState = 1;
    return number == AutoNumber ? reinterpret_cast<intptr_t>(record) : reinterpret_cast<intptr_t>(handle);
}

// ReadFile with a failure counted as 0 bytes read.
static int32_t ReadInto(HANDLE handle, void* destination, int32_t count) {
    DWORD read = 0;
    if (!ReadFile(handle, destination, static_cast<DWORD>(count), &read, nullptr)) return 0;
    return static_cast<int32_t>(read);
}

// Small requests are the common case of sequential parsing: copy them as single loads.
static void CopySmall(void* destination, const uint8_t* source, int32_t count) {
    switch (count) {
    case 1: *static_cast<uint8_t*>(destination) = *source; break;
    case 2: memcpy(destination, source, 2); break;
    case 4: memcpy(destination, source, 4); break;
    default: memcpy(destination, source, static_cast<size_t>(count)); break;
    }
}

int32_t ReadFileBlock(ObjectNumber number, void* destination, int32_t count) {
    FileRecord* record = static_cast<FileRecord*>(LookupObject(fileRegistry, number));
    if (!record || count <= 0 || !destination) return 0;
    if (!record->buffer) return ReadInto(record->handle, destination, count);

    if (record->bufferState == 0) {
        FlushFileBuffer(record);
        record->bufferState = 1;
        record->count = 0;
    }
    const uint8_t* unread = record->buffer + record->fill - record->count;
    if (record->count >= count) {
        CopySmall(destination, unread, count);
        record->count -= count;
        return count;
    }
    int32_t copied = record->count;
    memcpy(destination, unread, static_cast<size_t>(copied));
    record->count = 0;
    uint8_t* rest = static_cast<uint8_t*>(destination) + copied;
    int32_t restCount = count - copied;
    if (restCount >= record->bufferSize) {
        // Large requests bypass the buffer: a whole file costs one ReadFile.
        return copied + ReadInto(record->handle, rest, restCount);
    }
    int32_t read = ReadInto(record->handle, record->buffer, record->bufferSize);
    record->count = record->fill = read;
    int32_t served = restCount < read ? restCount : read;
    memcpy(rest, record->buffer, static_cast<size_t>(served));
    record->count -= served;
    return copied + served;
}

void CloseFileObject(ObjectNumber number) {
    if (number == -1) {
        ReleaseAllObjects(fileRegistry);
        return;
    }
    FileRecord* record = static_cast<FileRecord*>(LookupObject(fileRegistry, number));
    if (!record) return;
    if (record->buffer) {
        FlushFileBuffer(record);
        MainHeapFree(record->buffer);
        record->buffer = nullptr;
    }
    CloseHandle(record->handle);
    ReleaseObject(fileRegistry, number);
}

int32_t FlushFileBuffer(FileRecord* record) {
    if (!record || !record->buffer || record->bufferState != 0) return 0;
    DWORD written = 0;
    int32_t pending = record->bufferSize - record->count;
    if (pending > 0 && !WriteFile(record->handle, record->buffer, static_cast<DWORD>(pending), &written, nullptr)) {
        written = 0;
    }
    record->count = record->bufferSize;
    return static_cast<int32_t>(written);
}
