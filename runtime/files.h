// files.h: numbered files for reading, with a 4096-byte read buffer per file.
#pragma once
#include <windows.h>
#include <cstdint>
#include "runtime/object_registry.h"

const int32_t FileBufferSize = 4096;

struct FileRecord {
    HANDLE handle;        // 0 when the number holds no open file (the registry's liveness mark)
    uint8_t* buffer;      // FileBufferSize bytes from the main heap, null for an unbuffered file
    int32_t bufferSize;
    int32_t count;        // reading: unread bytes left; writing: free bytes left
    int32_t fill;         // bytes the last refill put into the buffer
    int32_t bufferState;  // 1: read-ahead data or nothing; 0: output not yet written
};

void InitFileLibrary();
void FreeFileLibrary();        // closes every file still open

// Size in bytes; -1 for a null/empty path or nothing found; -2 for a directory or drive root.
int64_t QueryFileSize(const wchar_t* path);
// Static number: the file handle; AutoNumber: the new record's address; 0 on failure.
intptr_t OpenFileForReading(ObjectNumber number, const wchar_t* path);
// Bytes stored at destination (0 when the number holds no open file or count <= 0).
int32_t ReadFileBlock(ObjectNumber number, void* destination, int32_t count);
// Flushes, frees the buffer, closes the handle and releases the number; -1 closes every file.
void CloseFileObject(ObjectNumber number);
// Writes the output pending in the buffer (buffer state 0) and returns the bytes written. Nothing in
// this program puts output there, so reading files never writes.
int32_t FlushFileBuffer(FileRecord* record);
