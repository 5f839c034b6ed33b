// pixel_png.h: PNG images built in memory from pixels for the png tests: real filters, real deflate,
// hidden text written into the low bits as the generators write it, eXIf blocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "png/chunk_walk.h"
#include "png/image_header.h"
#include "png/stealth_reader.h"

namespace pixelpng {

// Pixels, row by row, channels samples each (2: grey and alpha, 3: RGB, 4: RGBA) of bitDepth bits
// (8 or 16, high byte first).
struct Pixels {
    uint32_t width = 0;
    uint32_t height = 0;
    unsigned channels = 4;
    unsigned bitDepth = 8;
    std::vector<uint8_t> bytes;
    size_t PixelBytes() const { return channels * bitDepth / 8; }
    uint8_t* At(uint32_t x, uint32_t y) { return &bytes[(static_cast<size_t>(y) * width + x) * PixelBytes()]; }
};

// 8-bit pixels of a fixed pseudo-random pattern (alpha 255: an opaque image, as generators write them).
Pixels Noise(uint32_t width, uint32_t height, unsigned channels, uint32_t seed = 1);
// 8-bit RGBA pixels of `colours` opaque colours (at most 256), in a fixed pseudo-random pattern.
Pixels FewColours(uint32_t width, uint32_t height, unsigned colours, uint32_t seed = 1);
// 8-bit pixels made 16-bit as converters make them: each sample v becomes v * 257 (both bytes v).
Pixels Widened(const Pixels& pixels);

// Rows of raw image bytes (rowBytes each), filtered row y with filter type filters[y % size], as the
// stream IDAT holds before deflate. bytesPerPixel: the filters' distance to the byte on the left.
std::string FilterRows(const std::vector<uint8_t>& raw, size_t rowBytes, unsigned bytesPerPixel,
                       const std::vector<int>& filters);

// The same, for an Adam7 image of whole-byte pixels (pixelBytes each): the seven passes one after the
// other, each filtered on its own; a pass of no pixels gives nothing.
std::string FilterInterlacedRows(const std::vector<uint8_t>& raw, uint32_t width, uint32_t height, unsigned pixelBytes,
                                 const std::vector<int>& filters);

struct Layout {
    std::vector<std::string> beforeImageData;  // whole chunks after IHDR
    std::vector<std::string> afterImageData;   // whole chunks before IEND
    std::string trailer;                       // bytes after IEND
    size_t imageDataPiece = 0;                 // split IDAT into chunks this large (0: one chunk)
    std::vector<int> filters = {0, 1, 2, 3, 4};
    int level = 6;
    bool interlaced = false;  // Adam7
    // Not 0: a palette image of the 8-bit RGBA pixels' colours (at most 2^paletteDepth of them, in
    // the order first met), its indexes this many bits each, as a lossless optimiser writes one:
    // PLTE, then tRNS of the alphas up to the last one not 255 (none when all are), after IHDR.
    unsigned paletteDepth = 0;
};

// A PNG of the pixels: IHDR (colour type 4, 2, 6, or 3 with paletteDepth), the chunks, IDAT, IEND, the trailer.
std::string Encode(const Pixels& pixels, const Layout& layout = Layout());

// A gzip stream (RFC 1952) of data.
std::string Gzip(const std::string& data);

enum class Mode { Alpha, Rgb };
// Writes signature, length and text into the low bits of 8-bit pixels, column by column from the top-left pixel.
// compressed: the text is gzip'd and the "comp" signature written. lengthBits: 0 for the text's own.
void HideText(Pixels* pixels, Mode mode, bool compressed, const std::string& text, uint32_t lengthBits = 0);

// An interlaced image of grey and alpha, two rows of just over 64 MiB of pixels (too large to hold
// whole), the text hidden in alpha mode over its first columns.
std::string HugeInterlacedWithText(const std::string& text);

// eXIf data: a TIFF header of the byte order, IFD0 with the orientation (0: none), a GPS IFD pointer
// (with one entry) when gps, an Exif IFD with a user comment when it is not empty.
std::string ExifData(bool bigEndian, unsigned orientation, bool gps, const std::string& userComment = std::string());

// An image header without a file.
ImageHeader HeaderOf(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colourType, uint8_t interlace);

// The header and the first IDAT chunk of a file, as a walk finds them.
struct FoundImage {
    ImageHeader header;
    WalkedChunk firstImageData;
    bool found = false;  // an IDAT chunk was walked to
    ImagePalette palette;  // PLTE and tRNS before it
};
FoundImage FindImage(const std::string& file);

// The chunks of a file, each whole, from after the signature to IEND (the tests' own reading of the
// format, to hold a copy's chunks against the original's).
std::vector<std::string> ChunksOf(const std::string& file);

}  // namespace pixelpng
