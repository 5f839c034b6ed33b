// cli_loader.h: how the console front end loads a file: pieces read into one reused buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "report/scan_text_chunks.h"

// Gives the search the same bytes as the window's load path (size taken by name, only its low 32 bits
// as a signed size, that many bytes from the start of the file) and the same notices for the same
// causes, without its cost: the window reads each file into fresh zero-filled memory, whose page
// faults cost about as much as the read itself; this loader reads into a buffer it keeps from file to
// file, in pieces. One loader per thread.
//
// Differences, all about files that change or are in use while they are read:
// - the file is opened sharing reading, writing and deletion, so a file another program holds open
//   for writing is read (the window refuses it with "Cannot read file");
// - a file that ends before the size taken, or a read that fails, is "Cannot read file" (the window
//   shows the missing bytes as zeros).
class ConsoleFileLoader : public FileLoader {
public:
    ConsoleFileLoader() = default;
    ~ConsoleFileLoader() override;
    ConsoleFileLoader(const ConsoleFileLoader&) = delete;
    ConsoleFileLoader& operator=(const ConsoleFileLoader&) = delete;

    const wchar_t* Load(const std::wstring& name, LoadedFile* file) override;
    void Release(LoadedFile* file) override;

private:
    bool Reserve(size_t size);
    uint8_t* buffer_ = nullptr;
    size_t capacity_ = 0;
};

// Bytes read with one ReadFile call.
const size_t LoaderPieceSize = 1u << 20;

// Test seam: called after each piece with the file's name and the bytes read so far, the moment at
// which another process may truncate or change the file. Null (the default) calls nothing.
void SetLoaderPieceHook(void (*hook)(const std::wstring& name, size_t bytesRead));
