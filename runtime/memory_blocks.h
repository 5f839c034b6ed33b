// memory_blocks.h: the application's memory blocks (memory heap) and reading values out of them.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

enum TextEncoding {
    TextUtf8 = 2,   // UTF-8 (code page 65001)
    TextAnsi = 24,  // the system ANSI code page; every value but 2 and 25 behaves the same
    TextUtf16 = 25, // UTF-16LE code units
};

// Creates the memory heap; FreeMemoryLibrary destroys it with every block still in it.
BOOL InitMemoryLibrary();
void FreeMemoryLibrary();

// Zero-filled block of size bytes from the memory heap; null for size <= 0 or when memory is exhausted.
void* MemAlloc(int32_t size);
// Frees a block; null does nothing. Non-zero on success.
BOOL MemFree(void* block);

int MemReadByte(const void* address);        // unsigned byte 0..255
int32_t MemReadInt32(const void* address);   // little-endian, no alignment required

// Decodes length bytes (UTF-16 units for TextUtf16) at address; -1 reads up to the terminating NUL,
// below -1 counts as 0. The text is that of the whole range converted at once, ended at its first
// NUL (the NUL takes part in the conversion). Null address: empty text.
std::wstring MemReadText(const void* address, int32_t length, int encoding);
// Appends count bytes, decoded from UTF-8 (TextUtf8) or the ANSI code page (any other value), to
// text, which grows at most once. For callers that know where their text ends: a byte of 0 in the
// range becomes a NUL unit. Throws std::bad_alloc when memory runs out.
void AppendDecodedBytes(std::wstring& text, const void* address, size_t count, int encoding);
// True when every byte below 0x80 decodes to the unit of the same value in that encoding (UTF-8
// always; the ANSI code page as checked once): such text is its own UTF-16, a unit per byte.
bool DecodesAsciiAsItself(int encoding);
// Appends the text MemReadText gives for count bytes at address (TextUtf8 or ANSI): ended at the
// first NUL of the range, which takes part in the conversion. Throws std::bad_alloc like the above.
void AppendDecodedRange(std::wstring& text, const void* address, size_t count, int encoding);
