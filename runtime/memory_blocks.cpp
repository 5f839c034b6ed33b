// memory_blocks.cpp: application blocks in the memory heap, and decoding text out of them.
#include "runtime/memory_blocks.h"
#include <cstring>

static HANDLE memoryHeap;

BOOL InitMemoryLibrary() {
    if (!memoryHeap) memoryHeap = HeapCreate(0, 4096, 0);
    return memoryHeap != nullptr;
}

void FreeMemoryLibrary() {
    if (memoryHeap) HeapDestroy(memoryHeap);
    memoryHeap = nullptr;
}

void* MemAlloc(int32_t size) {
    if (size <= 0 || !memoryHeap) return nullptr;
    return HeapAlloc(memoryHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
}

BOOL MemFree(void* block) {
    if (!block || !memoryHeap) return FALSE;
    return HeapFree(memoryHeap, 0, block);
}

int MemReadByte(const void* address) {
    return *static_cast<const unsigned char*>(address);
}

int32_t MemReadInt32(const void* address) {
    int32_t value;
    memcpy(&value, address, sizeof value);
    return value;
}

std::wstring MemReadText(const void* address, int32_t length, int encoding) {
    if (!address) return std::wstring();
    if (length < -1) length = 0;
    if (encoding == TextUtf16) {
        const wchar_t* units = static_cast<const wchar_t*>(address);
        int32_t count = 0;
        while ((length == -1 || count < length) && units[count] != 0) count++;
        return std::wstring(units, static_cast<size_t>(count));
    }
    const char* bytes = static_cast<const char*>(address);
    // The text ends at the first NUL of the range: converting only the bytes before it gives the
    // same text, and a huge range that holds an early NUL costs only those bytes.
    size_t usable;
    if (length == -1) {
        usable = strlen(bytes);
    } else {
        const void* nul = memchr(bytes, 0, static_cast<size_t>(length));
        usable = nul ? static_cast<size_t>(static_cast<const char*>(nul) - bytes) : static_cast<size_t>(length);
    }
    if (usable == 0) return std::wstring();
    UINT codePage = encoding == TextUtf8 ? CP_UTF8 : CP_ACP;
    int units = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(usable), nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(usable), &text[0], units);
    return text;
}
