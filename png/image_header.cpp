// image_header.cpp: reading and checking IHDR.
#include "png/image_header.h"
#include <cstring>
#include "png/byte_source.h"

unsigned ImageHeader::Channels() const {
    switch (colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

const InterlacePass Adam7Passes[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t PassWidth(const ImageHeader& header, const InterlacePass& pass) {
    return header.width > pass.x0 ? (header.width - pass.x0 + pass.dx - 1) / pass.dx : 0;
}

uint32_t PassHeight(const ImageHeader& header, const InterlacePass& pass) {
    return header.height > pass.y0 ? (header.height - pass.y0 + pass.dy - 1) / pass.dy : 0;
}

// An image not interlaced is one pass of every pixel.
static const InterlacePass WholeImage = {0, 0, 1, 1};

StreamRowWalk::StreamRowWalk(const ImageHeader& header) : header_(header), passes_(header.interlace ? 7 : 1) { Settle(); }

const InterlacePass& StreamRowWalk::Pass() const { return header_.interlace ? Adam7Passes[pass_] : WholeImage; }

// Passes over the passes of no pixels.
void StreamRowWalk::Settle() {
    for (; pass_ < passes_; pass_++) {
        width_ = header_.interlace ? PassWidth(header_, Pass()) : header_.width;
        height_ = header_.interlace ? PassHeight(header_, Pass()) : header_.height;
        if (width_ && height_) return;
    }
}

void StreamRowWalk::Advance() {
    if (Done()) return;
    if (++row_ < height_) return;
    row_ = 0;
    pass_++;
    Settle();
}

void CopyPixel(const ImageHeader& header, const uint8_t* in, uint64_t from, uint8_t* out, uint64_t to) {
    const unsigned bits = header.BitsPerPixel();
    if (bits >= 8) {
        memcpy(out + to * (bits / 8), in + from * (bits / 8), bits / 8);
        return;
    }
    const unsigned mask = (1u << bits) - 1;
    const unsigned fromShift = 8 - bits - static_cast<unsigned>(from * bits % 8), toShift = 8 - bits - static_cast<unsigned>(to * bits % 8);
    const unsigned value = (in[from * bits / 8] >> fromShift) & mask;
    uint8_t& byte = out[to * bits / 8];
    byte = static_cast<uint8_t>((byte & ~(mask << toShift)) | value << toShift);
}

static bool DepthAllowed(uint8_t colourType, uint8_t depth) {
    switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
    }
}

HeaderCheck ParseImageHeader(const uint8_t* data, uint32_t length, ImageHeader* header) {
    if (length != 13) return HeaderCheck::WrongLength;
    ImageHeader read;
    read.width = ReadPngNumber32(data);
    read.height = ReadPngNumber32(data + 4);
    read.bitDepth = data[8];
    read.colourType = data[9];
    read.interlace = data[12];
    if (read.width == 0 || read.height == 0 || read.width > 0x7FFFFFFF || read.height > 0x7FFFFFFF)
        return HeaderCheck::BadSize;
    if (!DepthAllowed(read.colourType, read.bitDepth)) return HeaderCheck::BadDepth;
    if (data[10] != 0 || data[11] != 0 || read.interlace > 1) return HeaderCheck::BadMethod;
    *header = read;
    return HeaderCheck::Ok;
}
