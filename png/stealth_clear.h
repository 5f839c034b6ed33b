// stealth_clear.h: text hidden in the pixels taken out: the bits that carry it set as the writer found
// them, the image data filtered and deflated again; and the check that a copy's pixels are those.
#pragma once
#include <cstdint>
#include <vector>
#include "png/byte_source.h"
#include "png/chunk_walk.h"
#include "png/image_header.h"
#include "png/image_rows.h"
#include "png/stealth_reader.h"

// Format notes: the carrying bits are those of stealth_reader.h (signature, length and text, column by
// column from the top-left pixel); no other bit of any pixel changes. In alpha mode each is set to 1:
// the writers hide text in opaque images (alpha 255), so the alpha becomes what it was (an opaque 254
// is 255 again). In RGB mode each is set to 0: what the writer found there cannot be known, 0 moves a
// value by one level at most (never out of range) and a stream of zeros spells no signature. Of a
// 16-bit sample both bytes' low bits are set so (a picture widened from 8 bits, whose low byte repeats
// the high one, holds the stream in both). Of a palette image the bits are those of the colours the
// stream's pixels stand for: each PLTE and tRNS entry such a pixel uses gets its bits set so (moving
// the colour of the other pixels that use it by one level at most), and the image data stays byte for
// byte.
enum class ClearEnd {
    Cleared,     // imageData holds the new IDAT chunks, whose pixels hold no signature
    NotFound,    // the finding is no signature: nothing to clear
    ImageData,   // the image data could not be read whole (rows says why)
    NoMemory,    // no memory for the rows, the deflater or the new image data
    StillFound,  // a signature is still read after each mode was cleared once
};

struct StealthClearing {
    ClearEnd end = ClearEnd::NotFound;
    RowsState rows = RowsState::Going;
    std::vector<StealthMode> modes;    // the modes cleared, in order (alpha, then RGB when it also held text)
    uint64_t bits = 0;                 // carrying bits set, over every mode
    std::vector<uint8_t> imageData;    // Cleared: the new IDAT chunks, whole, to stand where the old ones stood
    std::vector<uint32_t> digests;     // Cleared: CRC-32 of each PixelDigestBytes of the new rows, in order
    bool recoloured = false;           // Cleared, of a palette image: palette holds the colours, imageData nothing
    ImagePalette palette;
    unsigned entries = 0;              // recoloured: the palette entries whose bits were set
};

// Row bytes (the rows one after the other in the stream's order, without filter bytes) under one digest.
const size_t PixelDigestBytes = 1u << 16;

// Clears what finding found (Found or FoundDamaged) from the image whose first IDAT chunk is
// firstImageData, then reads the new pixels again: text hidden in the other mode too (alpha mode is
// looked at first) is cleared the same way. palette: a palette image's, as found. Never throws.
StealthClearing ClearStealth(ByteSource* source, const ImageHeader& header, const WalkedChunk& firstImageData,
                             const StealthFinding& finding, const ImagePalette* palette = nullptr);

// True when the image data from firstImageData on decodes to every row, their digests are these,
// and the pixels hold no signature: the check of a copy read back. Never throws.
bool MatchesClearedPixels(ByteSource* source, const ImageHeader& header, const WalkedChunk& firstImageData,
                          const std::vector<uint32_t>& digests);

// The first chunk of chunks (whole chunks one after the other), as a walk would give it.
WalkedChunk FirstChunkOf(const std::vector<uint8_t>& chunks);
