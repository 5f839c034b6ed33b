// console_file_loader.cpp: the console front end's loader: a reused buffer read into, or sliding mapped views.
#include "report/console_file_loader.h"
#include <windows.h>
#include <algorithm>
#include <vector>
#include "runtime/crc32.h"
#include "runtime/files.h"
#include "runtime/long_path.h"
#include "runtime/system_message.h"

static void (*pieceHook)(const std::wstring& name, size_t bytesRead);
static size_t viewSize = 64u << 20;
static uint64_t mapThreshold = NeverMapped;

void SetLoaderPieceHook(void (*hook)(const std::wstring& name, size_t bytesRead)) { pieceHook = hook; }
size_t ViewSize() { return viewSize; }
void SetViewSize(size_t size) { viewSize = size < 16 ? 16 : size; }
void SetMapThreshold(uint64_t size) { mapThreshold = size; }

ConsoleFileLoader::~ConsoleFileLoader() {
    // The view and the file close themselves (view first: it is declared after the file).
    FreeBuffer();
}

void ConsoleFileLoader::FreeBuffer() {
    if (buffer_) VirtualFree(buffer_, 0, MEM_RELEASE);
    buffer_ = nullptr;
    capacity_ = 0;
}

// Grows the buffer to at least size bytes; its pages stay mapped from file to file, so only the
// first file of a size pays for their faults.
bool ConsoleFileLoader::Reserve(size_t size) {
    if (size <= capacity_) return true;
    const size_t step = 1u << 20;
    size_t capacity = (size + step - 1) / step * step;
    FreeBuffer();
    buffer_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, capacity, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    capacity_ = buffer_ ? capacity : 0;
    return buffer_ != nullptr;
}

// Reads size bytes of the file from `from` on; false when the file ends first or a read fails. Reads
// go on from where the last one ended (a file read whole is one run of plain reads, the cheapest kind
// here); elsewhere the file pointer is moved first.
bool ConsoleFileLoader::ReadAt(uint64_t from, uint8_t* to, size_t size) const {
    if (from != position_) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(from);
        if (!SetFilePointerEx(file_.Get(), at, nullptr, FILE_BEGIN)) return false;
        position_ = from;
    }
    size_t done = 0;
    while (done < size) {
        DWORD piece = static_cast<DWORD>(std::min(size - done, LoaderPieceSize));
        DWORD read = 0;
        bool ok = ReadFile(file_.Get(), to + done, piece, &read, nullptr) && read != 0;
        position_ += read;
        if (!ok) return false;
        done += read;
        if (pieceHook) pieceHook(name_, done);
    }
    return true;
}

// The length of a view from `start` that holds [from, from + count) and at least `step` bytes past
// `from` (the search's progress per view), within the file and the largest view.
static size_t ViewLength(uint64_t start, uint64_t from, uint64_t count, uint64_t step, uint64_t size) {
    uint64_t wanted = from - start + std::max(count, step);
    return static_cast<size_t>(std::min<uint64_t>(std::min<uint64_t>(wanted, size - start), MaxViewSize + ViewAlignment));
}

ScanBlock ConsoleFileLoader::ViewOf(const uint8_t* bytes, size_t length, uint64_t start,
                                     const volatile long* readFailed) const {
    ScanBlock view;
    view.bytes = bytes;
    view.n = length;
    view.start = start;
    view.fileLeft = size_ - start;
    view.readFailed = readFailed;
    view.crcReader = this;
    return view;
}

bool ConsoleFileLoader::ShowRead(uint64_t from, uint64_t count, ScanBlock* view) {
    // A small file in one read view; the views of a larger one are one piece long, so that each is
    // searched while its bytes are still in the processor's cache and the buffer stays small.
    const size_t step = size_ <= ReadWholeSize ? ViewSize() : std::min(ViewSize(), LoaderPieceSize);
    size_t length = ViewLength(from, from, count, step, size_);
    if (count > MaxViewSize || !Reserve(length)) return false;
    if (!ReadAt(from, buffer_, length)) {
        readFailed_ = 1;
        return false;
    }
    *view = ViewOf(buffer_, length, from, &readFailed_);
    return true;
}

bool ConsoleFileLoader::ShowMapped(uint64_t from, uint64_t count, ScanBlock* view) {
    uint64_t start = from / ViewAlignment * ViewAlignment;
    // Mapping costs a system call and a granule of address space: never less than a granule a view.
    size_t length = ViewLength(start, from, count, std::max<uint64_t>(ViewSize(), ViewAlignment), size_);
    if (count > MaxViewSize || !view_.Open(file_.Get(), start, length)) return false;
    *view = ViewOf(view_.Bytes(), length, start, view_.FailedFlag());
    return true;
}

bool ConsoleFileLoader::Show(uint64_t from, uint64_t count, ScanBlock* view) {
    view_.Close();
    if (mapped_ && ShowMapped(from, count, view)) return true;
    // No room for a mapped view, or a file that cannot be mapped: read the view instead.
    if (ShowRead(from, count, view)) return true;
    *view = ScanBlock();
    view->readFailed = &readFailed_;  // raised when a read failed rather than room ran out
    return false;
}

// The chunk lies inside the file (the record knows its size), but reading it failed: the answer is
// not the CRC's, and the search ends the file with "Cannot read file" after this chunk.
CrcCheck ConsoleFileLoader::CrcUnread() const {
    crcReadFailed_ = true;
    return CrcCheck::Outside;
}

// Type code and data are read in pieces through a small buffer of its own (the views stay as they are).
CrcCheck ConsoleFileLoader::CheckCrc(uint64_t typeCodeAt, uint32_t length) const {
    std::vector<uint8_t> piece(static_cast<size_t>(std::min<uint64_t>(LoaderPieceSize, 8ull + length)));
    uint32_t crc = 0;
    uint64_t at = typeCodeAt, end = typeCodeAt + 4 + length;
    while (at < end) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(piece.size(), end - at));
        if (!ReadAt(at, piece.data(), count)) return CrcUnread();
        crc = Crc32(crc, piece.data(), count);
        at += count;
    }
    if (!ReadAt(end, piece.data(), 4)) return CrcUnread();
    return ReadBigEndian32(piece.data()) == crc ? CrcCheck::Ok : CrcCheck::Bad;
}

// The notice for a name that cannot be opened: the system's reason, as it says it.
const wchar_t* ConsoleFileLoader::OpenNotice(DWORD error) {
    notice_ = SystemMessage(error);
    if (notice_.empty()) notice_ = L"Cannot read file (error " + std::to_wstring(error) + L")";
    return notice_.c_str();
}

const wchar_t* ConsoleFileLoader::Load(const std::wstring& name, int64_t listedSize, LoadedFile* file) {
    Release(file);
    // The whole name, however long: never cut into another file's name.
    file_ = OwnedFile(CreateFileW(ExtendedPath(name).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file_.Open()) return OpenNotice(GetLastError());
    HANDLE handle = file_.Get();
    // A folder listing's size saves asking, and a listing names no devices: a name from it is trusted
    // to be a file; a file shorter now than the size taken fails its reads.
    int64_t size = listedSize;
    LARGE_INTEGER handleSize;
    const wchar_t* notice = nullptr;
    if (size < 0 && GetFileType(handle) != FILE_TYPE_DISK) {
        notice = L"Not a file (a device)";
    } else if (size < 0 && !GetFileSizeEx(handle, &handleSize)) {
        notice = L"Cannot read file";
    } else if (size < 0 ? handleSize.QuadPart == 0 : size == 0) {
        notice = L"Wrong size!";
    } else {
        if (size < 0) size = handleSize.QuadPart;
        size_ = static_cast<uint64_t>(size);
        position_ = 0;
        name_ = name;
        readFailed_ = 0;
        crcReadFailed_ = false;
        mapped_ = size_ >= mapThreshold;
        ScanBlock view;
        if (Show(0, std::min<uint64_t>(size_, 8), &view)) {
            file->view = view;
            file->views = view.n < size_ ? this : nullptr;
            file->owner = this;
            return nullptr;
        }
        notice = readFailed_ ? L"Cannot read file" : L"Cannot allocate memory";
    }
    Release(file);
    return notice;
}

void ConsoleFileLoader::Release(LoadedFile* file) {
    // The buffer stays for the next file unless a chunk's view made it larger than a whole small
    // file; a view ends with its file.
    view_.Close();
    file_.Close();
    if (capacity_ > ReadWholeSize) FreeBuffer();
    *file = LoadedFile();
}
