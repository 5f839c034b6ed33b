// cli_loader.cpp: the console front end's loader: a mapped view for large files, a reused buffer for the rest.
#include "app/console/cli_loader.h"
#include <windows.h>
#include "app/console/console_output.h"
#include "app/console/long_path.h"
#include "runtime/files.h"

static void (*pieceHook)(const std::wstring& name, size_t bytesRead);

void SetLoaderPieceHook(void (*hook)(const std::wstring& name, size_t bytesRead)) { pieceHook = hook; }

ConsoleFileLoader::~ConsoleFileLoader() {
    if (buffer_) VirtualFree(buffer_, 0, MEM_RELEASE);
}

// Grows the buffer to at least size bytes; its pages stay mapped from file to file, so only the
// first file of a size pays for their faults.
bool ConsoleFileLoader::Reserve(size_t size) {
    if (size <= capacity_) return true;
    const size_t step = 1u << 20;
    size_t capacity = (size + step - 1) / step * step;
    if (buffer_) VirtualFree(buffer_, 0, MEM_RELEASE);
    buffer_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, capacity, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    capacity_ = buffer_ ? capacity : 0;
    return buffer_ != nullptr;
}

// Reads size bytes from the start of the file; false when the file ends first or a read fails.
static bool ReadPieces(HANDLE handle, const std::wstring& name, uint8_t* to, size_t size) {
    size_t done = 0;
    while (done < size) {
        DWORD piece = static_cast<DWORD>(size - done < LoaderPieceSize ? size - done : LoaderPieceSize);
        DWORD read = 0;
        if (!ReadFile(handle, to + done, piece, &read, nullptr) || read == 0) return false;
        done += read;
        if (pieceHook) pieceHook(name, done);
    }
    return true;
}

const wchar_t* ConsoleFileLoader::Read(HANDLE handle, const std::wstring& name, size_t size, LoadedFile* file) {
    if (!Reserve(size)) return L"Cannot allocate memory";
    if (!ReadPieces(handle, name, buffer_, size)) return L"Cannot read file";
    file->bytes = buffer_;
    file->size = size;
    file->owner = buffer_;
    return nullptr;
}

// The notice for a name that cannot be opened: the system's reason, as it says it.
const wchar_t* ConsoleFileLoader::OpenNotice(DWORD error) {
    notice_ = SystemMessage(error);
    if (notice_.empty()) notice_ = L"Cannot read file (error " + std::to_wstring(error) + L")";
    return notice_.c_str();
}

const wchar_t* ConsoleFileLoader::Load(const std::wstring& name, LoadedFile* file) {
    bool listed = sizeListed_;
    sizeListed_ = false;
    // The whole name, however long: never cut into another file's name.
    HANDLE handle = CreateFileW(ExtendedPath(name).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return OpenNotice(GetLastError());
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return L"Not a file (a device)";
    }
    LARGE_INTEGER handleSize;
    int64_t fullSize = listed ? listedSize_ : GetFileSizeEx(handle, &handleSize) ? handleSize.QuadPart : -1;
    // The window's rules (SizeNotice): a file of 2 GiB or more is said, never searched in part.
    if (const wchar_t* notice = SizeNotice(fullSize)) {
        CloseHandle(handle);
        return notice;
    }
    int32_t size = static_cast<int32_t>(fullSize);
    const wchar_t* notice = nullptr;
    if (static_cast<size_t>(size) >= MapThreshold && view_.Open(handle, static_cast<size_t>(size))) {
        file->bytes = view_.Bytes();
        file->size = static_cast<size_t>(size);
        file->owner = &view_;
        file->readFailed = view_.FailedFlag();
    } else {
        // Too small to be worth a view, shorter than its size now, or no room: read it.
        notice = Read(handle, name, static_cast<size_t>(size), file);
    }
    CloseHandle(handle);
    return notice;
}

void ConsoleFileLoader::Release(LoadedFile* file) {
    // The buffer stays for the next file; a view ends with its file.
    if (file->owner == &view_) view_.Close();
    *file = LoadedFile();
}
