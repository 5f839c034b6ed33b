// file_loader.cpp: the window's load path of a file: size, zero-filled block, one read.
#include "report/file_loader.h"
#include <windows.h>
#include "report/report_test_seams.h"
#include "runtime/files.h"
#include "runtime/memory_blocks.h"

static void (*beforeFileOpen)(const wchar_t* name);

// Test seam (report_test_seams.h).
void SetBeforeFileOpenHook(void (*hook)(const wchar_t* name)) { beforeFileOpen = hook; }

int64_t QueryWholeNameSize(const std::wstring& name) {
    return name.size() > MAX_PATH ? -1 : QueryFileSize(name.c_str());
}

const wchar_t* SizeNotice(int64_t size) {
    if (size == 0) return L"Wrong size!";
    if (size < 0 || size > INT32_MAX) return L"Cannot allocate memory";
    return nullptr;
}

const wchar_t* WindowFileLoader::Load(const std::wstring& name, int64_t, LoadedFile* file) {
    int64_t fullSize = QueryWholeNameSize(name);
    if (const wchar_t* notice = SizeNotice(fullSize)) return notice;
    int32_t size = static_cast<int32_t>(fullSize);
    uint8_t* block = static_cast<uint8_t*>(MemAlloc(size));
    if (!block) return L"Cannot allocate memory";
    if (beforeFileOpen) beforeFileOpen(name.c_str());
    if (!OpenFileForReading(0, name.c_str())) {
        MemFree(block);
        return L"Cannot read file";
    }
    // A short read leaves the rest of the zero-filled block as it was.
    for (int32_t done = 0; done < size;) {
        if (stop_ && *stop_) {
            CloseFileObject(0);
            MemFree(block);
            return L"Cannot read file";
        }
        const int32_t piece = size - done < ReadPiece ? size - done : ReadPiece;
        const int32_t read = ReadFileBlock(0, block + done, piece);
        if (read < piece) break;
        done += read;
    }
    CloseFileObject(0);
    file->view = ScanBlock::Whole(block, static_cast<size_t>(size));
    file->owner = block;
    return nullptr;
}

void WindowFileLoader::Release(LoadedFile* file) {
    MemFree(file->owner);
    *file = LoadedFile();
}
