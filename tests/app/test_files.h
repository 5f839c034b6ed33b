// test_files.h: PNG files with text chunks, written to disk for the program to read.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One chunk: big-endian length, type, data, CRC over type and data.
std::vector<uint8_t> PngChunk(const char type[4], const std::vector<uint8_t>& data);
// Signature + IHDR of a 1 x 1 grey image, the given chunks, a minimal IDAT and IEND.
std::vector<uint8_t> PngWith(const std::vector<std::vector<uint8_t>>& chunks);
std::vector<uint8_t> TextChunk(const std::string& keyword, const std::string& text);
// zlib stream of text behind keyword, 0x00 and method 0.
std::vector<uint8_t> CompressedTextChunk(const std::string& keyword, const std::string& text);
// Uncompressed iTXt: keyword, flag 0, method 0, language tag, translated keyword, UTF-8 text.
std::vector<uint8_t> InternationalTextChunk(const std::string& keyword, const std::string& tag,
                                            const std::string& translated, const std::string& utf8Text);

// A scratch folder of this test run (backslashes, as a user's paths look), created on first use.
std::wstring ScratchFolder();
// Writes bytes to ScratchFolder()\name and returns the full path.
std::wstring WriteScratchFile(const std::wstring& name, const std::vector<uint8_t>& bytes);
