// text_chunk_data.h: the keyword and text of a tEXt, zTXt or iTXt chunk, read from its data.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "png/limited_inflate.h"

// Format notes: tEXt: keyword (1-79 Latin-1 bytes), 0, text. zTXt: keyword, 0, method (0: zlib),
// zlib stream. iTXt: keyword, 0, compression flag, method, language tag, 0, translated keyword (UTF-8),
// 0, text (UTF-8; a zlib stream when the flag is 1).
enum class TextForm {
    Ok,
    NoKeyword,   // no 0 after a keyword of 1-79 bytes
    BadMethod,   // a compression method other than 0: the text is not read
    Cut,         // the fields end before the text
    NoMemory,    // no memory for the keyword or text
};

struct TextChunkData {
    TextForm form = TextForm::Ok;
    std::string keyword;    // Latin-1 bytes as stored
    bool compressed = false;
    std::string text;       // the text as stored, inflated when compressed (bytes: Latin-1 or UTF-8)
    InflateOutcome inflate = InflateOutcome::Complete;  // of a compressed text
};

// Reads the data of a chunk of type tEXt, zTXt or iTXt (type as four big-endian bytes). Never throws.
TextChunkData ReadTextChunk(uint32_t type, const uint8_t* data, size_t size);

// True for the three text chunk types.
bool IsTextChunkType(uint32_t type);
