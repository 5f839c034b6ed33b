// test_files.cpp: building PNG files in memory with real CRCs and real deflate, and writing them out.
#include "tests/app/test_files.h"
#include <windows.h>
#include <zlib.h>

static void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

std::vector<uint8_t> PngChunk(const char type[4], const std::vector<uint8_t>& data) {
    std::vector<uint8_t> chunk;
    PutBigEndian(chunk, static_cast<uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    PutBigEndian(chunk, static_cast<uint32_t>(crc));
    return chunk;
}

std::vector<uint8_t> PngWith(const std::vector<std::vector<uint8_t>>& chunks) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header = {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0}; // 1 x 1, 8-bit grey
    std::vector<uint8_t> ihdr = PngChunk("IHDR", header);
    png.insert(png.end(), ihdr.begin(), ihdr.end());
    for (const std::vector<uint8_t>& chunk : chunks) png.insert(png.end(), chunk.begin(), chunk.end());
    const uint8_t row[2] = {0, 0x80}; // filter byte, one pixel
    uLongf size = compressBound(sizeof(row));
    std::vector<uint8_t> pixels(size);
    compress(pixels.data(), &size, row, sizeof(row));
    pixels.resize(size);
    std::vector<uint8_t> idat = PngChunk("IDAT", pixels), iend = PngChunk("IEND", {});
    png.insert(png.end(), idat.begin(), idat.end());
    png.insert(png.end(), iend.begin(), iend.end());
    return png;
}

std::vector<uint8_t> TextChunk(const std::string& keyword, const std::string& text) {
    std::vector<uint8_t> data(keyword.begin(), keyword.end());
    data.push_back(0);
    data.insert(data.end(), text.begin(), text.end());
    return PngChunk("tEXt", data);
}

std::vector<uint8_t> CompressedTextChunk(const std::string& keyword, const std::string& text) {
    std::vector<uint8_t> data(keyword.begin(), keyword.end());
    data.push_back(0);
    data.push_back(0); // method 0: zlib
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::vector<uint8_t> stream(size);
    compress(stream.data(), &size, reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()));
    data.insert(data.end(), stream.begin(), stream.begin() + size);
    return PngChunk("zTXt", data);
}

std::vector<uint8_t> InternationalTextChunk(const std::string& keyword, const std::string& tag,
                                            const std::string& translated, const std::string& utf8Text) {
    std::vector<uint8_t> data(keyword.begin(), keyword.end());
    data.insert(data.end(), {0, 0, 0}); // end of keyword, flag 0, method 0
    data.insert(data.end(), tag.begin(), tag.end());
    data.push_back(0);
    data.insert(data.end(), translated.begin(), translated.end());
    data.push_back(0);
    data.insert(data.end(), utf8Text.begin(), utf8Text.end());
    return PngChunk("iTXt", data);
}

std::wstring ScratchFolder() {
    std::wstring folder = SCRATCH_DIR;
    for (wchar_t& c : folder)
        if (c == L'/') c = L'\\';
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::wstring WriteScratchFile(const std::wstring& name, const std::vector<uint8_t>& bytes) {
    std::wstring path = ScratchFolder() + L"\\" + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::wstring();
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return written == bytes.size() ? path : std::wstring();
}
