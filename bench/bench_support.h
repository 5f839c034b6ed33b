// bench_support.h: the clock, file writing and PNG chunks that the benchmark programs share.
#pragma once
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <zlib.h>

// Which build a figure comes from: the 32-bit program or its 64-bit build (they may differ in speed).
inline const char* BuildTimed() { return sizeof(void*) == 4 ? "x86 (the 32-bit program)" : "x64 (the 64-bit build)"; }

// The first line of every benchmark's output.
inline void PrintBuildTimed() { std::printf("build timed: %s\n", BuildTimed()); }

// Seconds on the performance counter, for differences between two readings.
inline double Seconds() {
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Writes bytes to a new file (replacing one that is there); false when any of it was not written.
inline bool SaveBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

// A value as the 4 bytes of a PNG length or CRC field.
inline std::string BigEndian32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; i++) bytes[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    return bytes;
}

// One PNG chunk: length, type, data, CRC over type and data.
inline std::string Chunk(const char* type, const std::string& data) {
    std::string typeAndData = std::string(type, 4) + data;
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(typeAndData.data()), static_cast<uInt>(typeAndData.size()));
    return BigEndian32(static_cast<uint32_t>(data.size())) + typeAndData + BigEndian32(static_cast<uint32_t>(crc));
}
