// stealth_reader.h: text hidden in the lowest bits of an image's pixels.
#pragma once
#include <cstdint>
#include <string>
#include "png/byte_source.h"
#include "png/chunk_walk.h"
#include "png/image_header.h"
#include "png/image_rows.h"
#include "png/limited_inflate.h"

// Format notes: the pixels are read column by column from the top-left one (x outer, y inner). In
// alpha mode each pixel gives the low bit of its alpha; in RGB mode the low bits of R, G and B in
// turn. The bits, most significant first in each byte, are a 15-byte signature ("stealth_pnginfo" or
// "stealth_pngcomp" in alpha mode, "stealth_rgbinfo" or "stealth_rgbcomp" in RGB mode; "comp": the
// text is gzip'd), a 32-bit big-endian length in bits, then the text. Signature and length take 152
// bits: with 120 rows or more the signature lies in column 0 (40 rows in RGB mode), so an image
// without hidden text is told apart within its first rows, mostly its first.
//
// Read: RGB (RGB mode), RGBA (alpha mode, then RGB mode) and grey with alpha (alpha mode), 8- and
// 16-bit, and palette images of every depth (both modes, each index read as the colour it stands for:
// readers expand them to RGBA, and a lossless optimiser turns an image of few colours into one),
// interlaced too (its rows put in order, as readers see them; the whole image is read). Of a 16-bit
// sample the high byte's low bit carries the stream: readers see such images as 8 bits a sample, the
// high byte (a picture widened from 8 bits, each byte the same, holds the stream in both bytes). Grey
// images are not read: their equal R, G and B give each bit three times, which spells no signature.
enum class StealthState {
    Absent,       // checked: no signature
    Found,        // a signature; the text is read whole (compressed texts: see inflate)
    FoundDamaged, // a signature, but the length reaches past the image or the limit (the text holds
                  // what the image holds, up to the limit), or the image data ended before the text
                  // did (no text; rows says how it ended)
    NotChecked,   // the image could not be read for it (see reason)
};

enum class StealthNotChecked {
    None,
    BadHeader,    // IHDR is not valid
    ImageType,    // grey, or a palette image without its palette
    NoImageData,  // no IDAT chunk
    ImageData,    // the image data could not be read as far as the signature and length (rows says why)
};

enum class StealthMode { Alpha, Rgb };

struct StealthFinding {
    StealthState state = StealthState::Absent;
    StealthNotChecked reason = StealthNotChecked::None;
    RowsState rows = RowsState::Going;  // ImageData: how the rows ended
    StealthMode mode = StealthMode::Alpha;
    bool compressed = false;
    uint32_t lengthBits = 0;   // as stored
    uint64_t storedBytes = 0;  // the bytes of text as stored (compressed ones before inflating)
    std::string text;          // the text (inflated when compressed), bytes as found
    InflateOutcome inflate = InflateOutcome::Complete;
};

// The colours a palette image's indexes stand for, as readers expand them to RGBA: PLTE's red, green
// and blue, tRNS's alpha (255 where it gives none); an index past PLTE's entries is black.
struct ImagePalette {
    unsigned entries = 0;  // PLTE's; 0 while there is none
    uint8_t rgba[256][4];
    ImagePalette();
    // Takes in the data of a PLTE or tRNS chunk seen before the image data (its first
    // MaxPaletteChunkBytes are enough); other types are passed over.
    void Take(uint32_t type, const uint8_t* data, uint32_t length);
};
const uint32_t MaxPaletteChunkBytes = 3 * 256;
// Takes a PLTE or tRNS chunk in from the source; any other chunk is passed over. False when the
// source could not show it.
bool TakePaletteChunk(ByteSource* source, const WalkedChunk& chunk, ImagePalette* palette);

// The most text read from the pixels, as stored.
const uint32_t MaxStealthBytes = 16u << 20;

// The low bits of a pixel that carry the stream: 1 in alpha mode (alpha), 3 in RGB mode (R, G, B).
unsigned StealthBitsPerPixel(StealthMode mode);
// Whether an image of this type holds a stream in this mode (RGB mode: RGB, RGBA and palette; alpha
// mode: RGBA, grey with alpha and palette).
bool StealthModeFits(const ImageHeader& header, StealthMode mode);
// The byte of a row whose low bit is the carrying bit c (0 in alpha mode, 0-2 in RGB mode) of pixel x:
// of a 16-bit sample its high byte, the low byte following it. Not for palette images.
size_t StealthCarrierAt(const ImageHeader& header, StealthMode mode, uint64_t x, unsigned c);
// The first columns of an image that hold the first `bits` bits of a mode's stream (column by column
// from the top-left pixel), and the rows of them to read: all of them, or the top ones when one column
// is enough.
struct StealthArea {
    uint64_t columns;
    uint64_t rows;
};
StealthArea StealthAreaOf(const ImageHeader& header, StealthMode mode, uint64_t bits);
// The bits of the stream a finding's signature, length and text take (the text rounded up to whole
// bytes, as written), as far as the image holds them.
uint64_t StealthStreamBits(const ImageHeader& header, const StealthFinding& finding);

// The index of pixel x in a row of a palette image.
unsigned PaletteIndexAt(const ImageHeader& header, const uint8_t* row, uint64_t x);

// Looks for hidden text; firstImageData: the first IDAT chunk, or null when there is none; palette:
// what PLTE and tRNS gave (a palette image without one is not checked). Never throws.
StealthFinding ReadStealth(ByteSource* source, const ImageHeader& header, const WalkedChunk* firstImageData,
                           const ImagePalette* palette = nullptr);
