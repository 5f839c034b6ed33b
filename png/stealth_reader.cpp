// stealth_reader.cpp: the low bits of the pixels, column by column, as far as the text needs them.
#include "png/stealth_reader.h"
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <new>
#include <vector>

namespace {

const size_t SignatureBytes = 15;
const uint64_t HeaderBits = (SignatureBytes + 4) * 8;

struct ModeFormat {
    StealthMode mode;
    unsigned bitsPerPixel;
    const char* plain;
    const char* compressed;
};
const ModeFormat alphaFormat = {StealthMode::Alpha, 1, "stealth_pnginfo", "stealth_pngcomp"};
const ModeFormat rgbFormat = {StealthMode::Rgb, 3, "stealth_rgbinfo", "stealth_rgbcomp"};

bool BitAt(const std::vector<uint8_t>& bits, uint64_t index) {
    return (bits[static_cast<size_t>(index >> 3)] >> (7 - (index & 7))) & 1;
}

// Whether the first `count` bits (count <= 120) can still begin one of the mode's signatures.
bool SignaturePossible(const ModeFormat& format, const std::vector<uint8_t>& bits, uint64_t count) {
    for (const char* signature : {format.plain, format.compressed}) {
        uint64_t i = 0;
        for (; i < count; i++) {
            bool expected = (static_cast<uint8_t>(signature[i >> 3]) >> (7 - (i & 7))) & 1;
            if (BitAt(bits, i) != expected) break;
        }
        if (i == count) return true;
    }
    return false;
}

// Gathers the first totalBits bits of the mode's stream into *bits (packed, most significant first).
// Only the rows and columns holding them are read: the columns 0..k-1 that hold totalBits, and of
// them only the rows down to the last bit when one column is enough. With one column the signature is
// compared row by row, and a mismatch ends the reading at once (answer false, rows Going).
class BitGatherer {
public:
    BitGatherer(ByteSource* source, const ImageHeader& header, const WalkedChunk& firstImageData, const ModeFormat& format,
                const ImagePalette* palette)
        : source_(source), header_(header), first_(firstImageData), format_(format), palette_(palette) {}

    // True when all totalBits bits were gathered; else *rows says why not (Going: a signature mismatch).
    bool Gather(uint64_t totalBits, std::vector<uint8_t>* bits, RowsState* rows) {
        const uint64_t height = header_.height, perPixel = format_.bitsPerPixel;
        const StealthArea area = StealthAreaOf(header_, format_.mode, totalBits);
        const uint64_t columns = area.columns;
        bits->assign(static_cast<size_t>((totalBits + 7) / 8), 0);
        ImageRows image(source_, header_, first_, columns);
        const uint8_t* row;
        for (uint64_t y = 0; y < area.rows; y++) {
            if (!image.Next(&row)) {
                *rows = image.State();
                return false;
            }
            for (uint64_t x = 0; x < columns; x++) {
                for (unsigned c = 0; c < perPixel; c++) {
                    uint64_t index = (x * height + y) * perPixel + c;
                    if (index >= totalBits) break;
                    if (CarrierBit(row, x, c))
                        (*bits)[static_cast<size_t>(index >> 3)] |= 0x80 >> (index & 7);
                }
            }
            uint64_t known = (y + 1) * perPixel;
            if (columns == 1 && !SignaturePossible(format_, *bits, known < SignatureBytes * 8 ? known : SignatureBytes * 8)) {
                *rows = RowsState::Going;
                return false;
            }
        }
        *rows = image.State();
        return true;
    }

private:
    // The low bit that carries bit c of pixel x: of a palette image, that of the colour its index stands for.
    bool CarrierBit(const uint8_t* row, uint64_t x, unsigned c) const {
        if (header_.colourType == 3) return palette_->rgba[PaletteIndexAt(header_, row, x)][format_.mode == StealthMode::Alpha ? 3 : c] & 1;
        return row[StealthCarrierAt(header_, format_.mode, x, c)] & 1;
    }

    ByteSource* source_;
    const ImageHeader& header_;
    const WalkedChunk& first_;
    const ModeFormat& format_;
    const ImagePalette* palette_;
};

// One mode: Absent, a finding, or NotChecked when the rows ran out before the header did.
StealthFinding ReadMode(ByteSource* source, const ImageHeader& header, const WalkedChunk& first, const ModeFormat& format,
                        const ImagePalette* palette) {
    StealthFinding finding;
    finding.mode = format.mode;
    const uint64_t available = static_cast<uint64_t>(header.width) * header.height * format.bitsPerPixel;
    if (available < HeaderBits) return finding;  // too small to hold a signature and a length
    BitGatherer gatherer(source, header, first, format, palette);
    std::vector<uint8_t> bits;
    RowsState rows;
    if (!gatherer.Gather(HeaderBits, &bits, &rows)) {
        if (rows == RowsState::Going) return finding;  // the signature does not match
        finding.state = StealthState::NotChecked;
        finding.reason = StealthNotChecked::ImageData;
        finding.rows = rows;
        return finding;
    }
    if (!SignaturePossible(format, bits, SignatureBytes * 8)) return finding;
    finding.compressed = memcmp(bits.data(), format.compressed, SignatureBytes) == 0;
    finding.lengthBits = ReadPngNumber32(bits.data() + SignatureBytes);
    finding.state = StealthState::Found;
    uint64_t textBytes = finding.lengthBits / 8;
    if (finding.lengthBits > available - HeaderBits || textBytes > MaxStealthBytes) {
        finding.state = StealthState::FoundDamaged;
        textBytes = std::min<uint64_t>((available - HeaderBits) / 8, MaxStealthBytes);
    }
    finding.storedBytes = textBytes;
    if (textBytes > 0 && !gatherer.Gather(HeaderBits + textBytes * 8, &bits, &rows)) {
        finding.state = StealthState::FoundDamaged;
        finding.rows = rows;
        return finding;
    }
    const uint8_t* text = bits.data() + SignatureBytes + 4;
    if (finding.compressed) {
        finding.inflate = InflateLimited(text, static_cast<size_t>(textBytes), StreamWrapper::Gzip, MaxInflatedText, &finding.text);
    } else {
        finding.text.assign(reinterpret_cast<const char*>(text), static_cast<size_t>(textBytes));
    }
    return finding;
}

StealthFinding NotChecked(StealthNotChecked reason) {
    StealthFinding finding;
    finding.state = StealthState::NotChecked;
    finding.reason = reason;
    return finding;
}

}  // namespace

unsigned StealthBitsPerPixel(StealthMode mode) { return mode == StealthMode::Alpha ? alphaFormat.bitsPerPixel : rgbFormat.bitsPerPixel; }

StealthArea StealthAreaOf(const ImageHeader& header, StealthMode mode, uint64_t bits) {
    const uint64_t perPixel = StealthBitsPerPixel(mode), pixels = (bits + perPixel - 1) / perPixel;
    const uint64_t columns = (pixels + header.height - 1) / header.height;
    return {columns, columns > 1 ? header.height : pixels};
}

uint64_t StealthStreamBits(const ImageHeader& header, const StealthFinding& finding) {
    const uint64_t available = static_cast<uint64_t>(header.width) * header.height * StealthBitsPerPixel(finding.mode);
    return std::min<uint64_t>(available, HeaderBits + (static_cast<uint64_t>(finding.lengthBits) + 7) / 8 * 8);
}

ImagePalette::ImagePalette() {
    for (uint8_t* colour : rgba) {
        colour[0] = colour[1] = colour[2] = 0;
        colour[3] = 255;
    }
}

void ImagePalette::Take(uint32_t type, const uint8_t* data, uint32_t length) {
    if (type == PngType("PLTE")) {
        entries = std::min<uint32_t>(length / 3, 256);
        for (unsigned i = 0; i < entries; i++) memcpy(rgba[i], data + 3 * i, 3);
    } else if (type == PngType("tRNS")) {
        for (unsigned i = 0; i < length && i < 256; i++) rgba[i][3] = data[i];
    }
}

bool TakePaletteChunk(ByteSource* source, const WalkedChunk& chunk, ImagePalette* palette) {
    if (chunk.type != PngType("PLTE") && chunk.type != PngType("tRNS")) return true;
    const uint32_t used = std::min<uint32_t>(chunk.length, MaxPaletteChunkBytes);
    const uint8_t* data = nullptr;
    if (used && !source->Show(chunk.DataAt(), used, &data)) return false;
    palette->Take(chunk.type, data, used);
    return true;
}

unsigned PaletteIndexAt(const ImageHeader& header, const uint8_t* row, uint64_t x) {
    const unsigned bits = header.bitDepth;
    if (bits == 8) return row[x];
    const unsigned shift = 8 - bits - static_cast<unsigned>(x * bits % 8);
    return (row[x * bits / 8] >> shift) & ((1u << bits) - 1);
}

bool StealthModeFits(const ImageHeader& header, StealthMode mode) {
    if (header.colourType == 3) return true;
    if (header.bitDepth != 8 && header.bitDepth != 16) return false;
    return header.colourType == 6 || header.colourType == (mode == StealthMode::Alpha ? 4 : 2);
}

size_t StealthCarrierAt(const ImageHeader& header, StealthMode mode, uint64_t x, unsigned c) {
    const unsigned channels = header.Channels();
    const unsigned channel = mode == StealthMode::Alpha ? channels - 1 : c;
    return static_cast<size_t>((x * channels + channel) * (header.bitDepth / 8));
}

StealthFinding ReadStealth(ByteSource* source, const ImageHeader& header, const WalkedChunk* firstImageData,
                           const ImagePalette* palette) {
    const bool alpha = StealthModeFits(header, StealthMode::Alpha), rgb = StealthModeFits(header, StealthMode::Rgb);
    if (!alpha && !rgb) return NotChecked(StealthNotChecked::ImageType);
    if (header.colourType == 3 && (!palette || palette->entries == 0)) return NotChecked(StealthNotChecked::ImageType);
    if (!firstImageData) return NotChecked(StealthNotChecked::NoImageData);
    try {
        if (alpha) {
            StealthFinding found = ReadMode(source, header, *firstImageData, alphaFormat, palette);
            if (found.state != StealthState::Absent || !rgb) return found;
        }
        return ReadMode(source, header, *firstImageData, rgbFormat, palette);
    } catch (const std::bad_alloc&) {
        StealthFinding finding = NotChecked(StealthNotChecked::ImageData);
        finding.rows = RowsState::NoMemory;
        return finding;
    }
}
