// text_chunk_data.cpp: reading a text chunk's fields.
#include "png/text_chunk_data.h"
#include <new>
#include "png/chunk_walk.h"
#include "runtime/zero_search.h"

bool IsTextChunkType(uint32_t type) {
    return type == PngType("tEXt") || type == PngType("zTXt") || type == PngType("iTXt");
}

// Where the field from `from` ends: at its 0, or at size when there is none.
static size_t FieldEnd(const uint8_t* data, size_t size, size_t from) {
    return from < size ? from + BytesBeforeZero(data + from, size - from) : size;
}

static void ReadFields(uint32_t type, const uint8_t* data, size_t size, TextChunkData* read) {
    size_t keywordEnd = FieldEnd(data, size < 80 ? size : 80, 0);
    if (keywordEnd == 0 || keywordEnd >= size || keywordEnd >= 80 || data[keywordEnd] != 0) {
        read->form = TextForm::NoKeyword;
        return;
    }
    read->keyword.assign(reinterpret_cast<const char*>(data), keywordEnd);
    size_t at = keywordEnd + 1;
    if (type == PngType("iTXt")) {
        if (size - at < 2) {
            read->form = TextForm::Cut;
            return;
        }
        read->compressed = data[at] == 1;
        if (read->compressed && data[at + 1] != 0) {
            read->form = TextForm::BadMethod;
            return;
        }
        at += 2;
        for (int field = 0; field < 2; field++) {  // language tag, translated keyword
            at = FieldEnd(data, size, at);
            if (at >= size) {
                read->form = TextForm::Cut;
                return;
            }
            at++;
        }
    } else if (type == PngType("zTXt")) {
        read->compressed = true;
        if (at >= size) {
            read->form = TextForm::Cut;
            return;
        }
        if (data[at] != 0) {
            read->form = TextForm::BadMethod;
            return;
        }
        at++;
    }
    if (read->compressed) {
        read->inflate = InflateLimited(data + at, size - at, StreamWrapper::Zlib, MaxInflatedText, &read->text);
    } else {
        read->text.assign(reinterpret_cast<const char*>(data + at), size - at);
    }
}

TextChunkData ReadTextChunk(uint32_t type, const uint8_t* data, size_t size) {
    TextChunkData read;
    try {
        ReadFields(type, data, size, &read);
    } catch (const std::bad_alloc&) {
        read = TextChunkData();
        read.form = TextForm::NoMemory;
    }
    return read;
}
