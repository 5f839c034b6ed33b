// test_png.h: PNG files and chunk bytes built in memory for the report tests (real deflate, real CRCs).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testpng {

std::string BigEndian32(uint32_t value);
// A zlib stream (RFC 1950) of data; level 0 gives stored blocks, whose bytes are predictable.
std::string Deflate(const std::string& data, int level = 9);
// length + type + data + CRC over type and data. declaredLength replaces the length field.
std::string Chunk(const std::string& type, const std::string& data);
std::string ChunkDeclaring(uint32_t declaredLength, const std::string& type, const std::string& data);

// Chunk data layouts.
std::string TextData(const std::string& keyword, const std::string& text);
std::string ZtxtData(const std::string& keyword, const std::string& text, int method = 0);
std::string ItxtData(const std::string& keyword, int flag, int method, const std::string& language,
                     const std::string& translatedKeyword, const std::string& storedText);

// A complete PNG: signature, IHDR, the given chunks, IDAT of a width x height 8-bit grey
// gradient, IEND.
std::string Png(const std::vector<std::string>& chunks, uint32_t width = 16, uint32_t height = 16);

}  // namespace testpng
