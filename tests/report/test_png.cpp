// test_png.cpp: the in-memory PNG writer of the report tests.
#include "tests/report/test_png.h"
#include <zlib.h>

namespace testpng {

std::string BigEndian32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; i++) bytes[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    return bytes;
}

std::string Deflate(const std::string& data, int level) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), level) != Z_OK) {
        return std::string();
    }
    out.resize(size);
    return out;
}

std::string ChunkDeclaring(uint32_t declaredLength, const std::string& type, const std::string& data) {
    std::string typeAndData = type + data;
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(typeAndData.data()), static_cast<uInt>(typeAndData.size()));
    return BigEndian32(declaredLength) + typeAndData + BigEndian32(static_cast<uint32_t>(crc));
}

std::string Chunk(const std::string& type, const std::string& data) {
    return ChunkDeclaring(static_cast<uint32_t>(data.size()), type, data);
}

std::string TextData(const std::string& keyword, const std::string& text) {
    return keyword + std::string(1, '\0') + text;
}

std::string ZtxtData(const std::string& keyword, const std::string& text, int method) {
    return keyword + std::string(1, '\0') + std::string(1, static_cast<char>(method)) + Deflate(text);
}

std::string ItxtData(const std::string& keyword, int flag, int method, const std::string& language,
                     const std::string& translatedKeyword, const std::string& storedText) {
    std::string nul(1, '\0');
    return keyword + nul + std::string(1, static_cast<char>(flag)) + std::string(1, static_cast<char>(method)) +
           language + nul + translatedKeyword + nul + storedText;
}

std::string Png(const std::vector<std::string>& chunks, uint32_t width, uint32_t height) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    // IHDR: width, height, bit depth 8, colour type 0 (grey), compression, filter, interlace.
    png += Chunk("IHDR", BigEndian32(width) + BigEndian32(height) + std::string("\x08\x00\x00\x00\x00", 5));
    for (const std::string& chunk : chunks) png += chunk;
    std::string rows;
    for (uint32_t y = 0; y < height; y++) {
        rows += '\0';  // filter type None
        for (uint32_t x = 0; x < width; x++) rows += static_cast<char>((x * 255 / (width > 1 ? width - 1 : 1) + y) & 0xFF);
    }
    png += Chunk("IDAT", Deflate(rows));
    png += Chunk("IEND", std::string());
    return png;
}

}  // namespace testpng
