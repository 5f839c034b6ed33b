// memory_blocks.cpp: application blocks in the memory heap, and decoding text out of them.
#include "runtime/memory_blocks.h"
#include "runtime/processor_features.h"
#include "runtime/zero_search.h"
#include <cstring>
#include <cwchar>
#include <emmintrin.h>
#include <new>

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

// Bytes below 0x80 stand for the same UTF-16 unit in UTF-8 and, as checked once here, in the ANSI
// code page; such a leading run is widened directly, without a code page call.
static bool AsciiIsIdentity(UINT codePage) {
    if (codePage == CP_UTF8) return true;
    static const bool ansiKeepsAscii = [] {
        char bytes[127];
        wchar_t units[128] = {};
        for (int i = 0; i < 127; i++) bytes[i] = static_cast<char>(i + 1);
        if (MultiByteToWideChar(CP_ACP, 0, bytes, 127, units, 128) != 127) return false;
        for (int i = 0; i < 127; i++) {
            if (units[i] != static_cast<wchar_t>(i + 1)) return false;
        }
        return true;
    }();
    return ansiKeepsAscii;
}

bool DecodesAsciiAsItself(int encoding) { return AsciiIsIdentity(encoding == TextUtf8 ? CP_UTF8 : CP_ACP); }

// Appends the leading run of bytes below 0x80, widened, to text; returns its length. The units go
// through a small buffer and append: filling a string with zeros first costs more than widening.
static size_t AppendAsciiRunScalar(const unsigned char* bytes, size_t count, std::wstring& text) {
    wchar_t units[256];
    size_t i = 0;
    while (i < count && bytes[i] < 0x80) {
        size_t n = 0;
        while (n < 256 && i < count && bytes[i] < 0x80) units[n++] = bytes[i++];
        text.append(units, n);
    }
    return i;
}

// 16 bytes per step; a step that meets a byte of 0x80 or above ends the vector loop.
__attribute__((target("sse2"))) static size_t AppendAsciiRunSse2(const unsigned char* bytes, size_t count,
                                                                 std::wstring& text) {
    alignas(16) wchar_t units[256];
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (;;) {
        size_t n = 0;
        while (n < 256 && count - i >= 16) {
            __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            if (_mm_movemask_epi8(chunk) != 0) break;
            _mm_store_si128(reinterpret_cast<__m128i*>(units + n), _mm_unpacklo_epi8(chunk, zero));
            _mm_store_si128(reinterpret_cast<__m128i*>(units + n + 8), _mm_unpackhi_epi8(chunk, zero));
            n += 16;
            i += 16;
        }
        text.append(units, n);
        if (n < 256) break;
    }
    return i + AppendAsciiRunScalar(bytes + i, count - i, text);
}

static size_t AppendAsciiRun(const unsigned char* bytes, size_t count, std::wstring& text) {
    return HaveSse2() ? AppendAsciiRunSse2(bytes, count, text) : AppendAsciiRunScalar(bytes, count, text);
}

void AppendDecodedBytes(std::wstring& text, const void* address, size_t count, int encoding) {
    if (count == 0) return;
    // Units never outnumber bytes, in UTF-8 and in the ANSI code pages alike. A text beyond what a
    // string can hold counts as memory exhausted, the one failure the callers expect.
    if (count > text.max_size() - text.size()) throw std::bad_alloc();
    text.reserve(text.size() + count);
    const char* bytes = static_cast<const char*>(address);
    UINT codePage = encoding == TextUtf8 ? CP_UTF8 : CP_ACP;
    size_t ascii = AsciiIsIdentity(codePage)
                       ? AppendAsciiRun(reinterpret_cast<const unsigned char*>(bytes), count, text) : 0;
    if (ascii == count) return;
    // Splitting after the run is exact: no byte of the run can be part of a longer sequence.
    const char* rest = bytes + ascii;
    int restCount = static_cast<int>(count - ascii);
    int units = MultiByteToWideChar(codePage, 0, rest, restCount, nullptr, 0);
    if (units <= 0) return;
    size_t at = text.size();
    text.resize(at + static_cast<size_t>(units));
    MultiByteToWideChar(codePage, 0, rest, restCount, &text[at], units);
}

// Converts the whole range in one call and ends the text at its first NUL unit.
static std::wstring DecodeWholeRange(const char* bytes, size_t count, UINT codePage) {
    if (count > INT32_MAX) return std::wstring();
    const int length = static_cast<int>(count);
    int units = MultiByteToWideChar(codePage, 0, bytes, length, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, bytes, length, &text[0], units);
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

void AppendDecodedRange(std::wstring& text, const void* address, size_t count, int encoding) {
    const char* bytes = static_cast<const char*>(address);
    const size_t usable = BytesBeforeZero(bytes, count);
    // A NUL inside the range ends the text, but the converter must still see it: a sequence cut
    // short by a NUL is not decoded like one cut short by the end of the range (UTF-8 bytes F3 A0
    // F2 give two U+FFFD at the end, three before a NUL). Converting up to and including the first
    // NUL gives the text of the whole range while a huge range with an early NUL costs only those
    // bytes; the bytes after a NUL cannot change what comes before it.
    if (usable == count) {
        AppendDecodedBytes(text, bytes, count, encoding);
        return;
    }
    const size_t at = text.size();
    AppendDecodedBytes(text, bytes, usable + 1, encoding);
    if (text.size() > at && text.back() == L'\0') {
        text.pop_back();
        return;
    }
    // The NUL did not come out as a unit of its own (a code page that takes it as a trail byte):
    // only the whole range says where the text ends.
    text.resize(at);
    text += DecodeWholeRange(bytes, count, encoding == TextUtf8 ? CP_UTF8 : CP_ACP);
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
    std::wstring text;
    if (length == -1) AppendDecodedBytes(text, address, strlen(static_cast<const char*>(address)), encoding);
    else AppendDecodedRange(text, address, static_cast<size_t>(length), encoding);
    return text;
}
