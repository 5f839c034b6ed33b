// image_header.h: the IHDR chunk: the image's size and how its pixels are stored.
#pragma once
#include <cstddef>
#include <cstdint>

// Format notes: IHDR data is 13 bytes: width (4), height (4), bit depth, colour type, compression
// method (0), filter method (0), interlace method (0 none, 1 Adam7). Width and height lie in
// 1..2^31 - 1. Colour types and their bit depths: 0 grey (1, 2, 4, 8, 16), 2 RGB (8, 16),
// 3 palette (1, 2, 4, 8), 4 grey + alpha (8, 16), 6 RGBA (8, 16).
struct ImageHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colourType = 0;
    uint8_t interlace = 0;

    unsigned Channels() const;
    unsigned BitsPerPixel() const { return Channels() * bitDepth; }
    // The bytes that many pixels of a row take (a last byte partly filled counts whole).
    uint64_t BytesOf(uint64_t pixels) const { return (pixels * BitsPerPixel() + 7) / 8; }
    // The bytes of one row without its filter byte.
    uint64_t RowBytes() const { return BytesOf(width); }
    // The distance in bytes to the byte of the pixel before, for the filters (at least 1).
    unsigned FilterStride() const { return BitsPerPixel() >= 8 ? BitsPerPixel() / 8 : 1; }
};

// Format notes: Adam7 interlacing stores the image as seven smaller ones, each of the pixels at
// x = x0 + k * dx, y = y0 + j * dy, one after the other; each is filtered on its own (the row above
// the first of each is zeros); a pass of no pixels has no rows.
struct InterlacePass {
    uint32_t x0, y0, dx, dy;
};
extern const InterlacePass Adam7Passes[7];
// The pixels of one row of the pass and its rows (0 when the image has none there).
uint32_t PassWidth(const ImageHeader& header, const InterlacePass& pass);
uint32_t PassHeight(const ImageHeader& header, const InterlacePass& pass);

// The order rows are given in or asked for: the image's, top to bottom (an interlaced image's passes
// put in place), or the stream's (an interlaced image's pass rows, one pass after the other).
enum class RowOrder { Image, Stream };

// The rows of the image data in the stream's order: of an Adam7 image each pass's rows in turn (the
// passes of no pixels left out), else the image's rows as one pass of every pixel.
class StreamRowWalk {
public:
    explicit StreamRowWalk(const ImageHeader& header);
    bool Done() const { return pass_ == passes_; }
    // The pass of the row (pixel i of it lies at x0 + i * dx, y0 + Row() * dy) and the row in it.
    const InterlacePass& Pass() const;
    uint32_t Row() const { return row_; }
    uint32_t Width() const { return width_; }
    uint64_t RowBytes() const { return header_.BytesOf(width_); }
    void Advance();

private:
    void Settle();

    ImageHeader header_;
    unsigned pass_ = 0;
    unsigned passes_;
    uint32_t row_ = 0;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
};

// Copies pixel `from` of row `in` to pixel `to` of row `out`, BitsPerPixel() bits each; a pixel of
// fewer than 8 bits lies in its byte from the most significant bit on, and out's other bits stay.
void CopyPixel(const ImageHeader& header, const uint8_t* in, uint64_t from, uint8_t* out, uint64_t to);

enum class HeaderCheck { Ok, WrongLength, BadSize, BadDepth, BadMethod };

// Reads and checks IHDR's data; *header is filled only when the answer is Ok.
HeaderCheck ParseImageHeader(const uint8_t* data, uint32_t length, ImageHeader* header);
