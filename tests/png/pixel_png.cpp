// pixel_png.cpp: the in-memory image writer of the png tests.
#include "tests/png/pixel_png.h"
#include <zlib.h>
#include <cstdlib>
#include "tests/png/counting_bytes.h"
#include "tests/report/test_png.h"

namespace pixelpng {

Pixels Noise(uint32_t width, uint32_t height, unsigned channels, uint32_t seed) {
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.channels = channels;
    pixels.bytes.resize(static_cast<size_t>(width) * height * channels);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < pixels.bytes.size(); i++) {
        state = state * 1103515245u + 12345u;
        pixels.bytes[i] = static_cast<uint8_t>(state >> 16);
        if ((channels == 4 || channels == 2) && i % channels == channels - 1) pixels.bytes[i] = 255;
    }
    return pixels;
}

Pixels FewColours(uint32_t width, uint32_t height, unsigned colours, uint32_t seed) {
    const Pixels noise = Noise(colours, 1, 4, seed);
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    uint32_t state = seed;
    for (size_t i = 0; i < static_cast<size_t>(width) * height; i++) {
        state = state * 1103515245u + 12345u;
        const uint8_t* colour = &noise.bytes[(state >> 16) % colours * 4];
        pixels.bytes.insert(pixels.bytes.end(), colour, colour + 4);
    }
    return pixels;
}

Pixels Widened(const Pixels& pixels) {
    Pixels wide = pixels;
    wide.bitDepth = 16;
    wide.bytes.clear();
    for (uint8_t value : pixels.bytes) wide.bytes.insert(wide.bytes.end(), 2, value);
    return wide;
}

static uint8_t Paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

std::string FilterRows(const std::vector<uint8_t>& raw, size_t rowBytes, unsigned bpp, const std::vector<int>& filters) {
    std::string out;
    size_t rows = raw.size() / rowBytes;
    for (size_t y = 0; y < rows; y++) {
        int filter = filters[y % filters.size()];
        out += static_cast<char>(filter);
        const uint8_t* row = &raw[y * rowBytes];
        const uint8_t* above = y > 0 ? &raw[(y - 1) * rowBytes] : nullptr;
        for (size_t i = 0; i < rowBytes; i++) {
            int a = i >= bpp ? row[i - bpp] : 0, b = above ? above[i] : 0, c = above && i >= bpp ? above[i - bpp] : 0;
            int predictor = 0;
            switch (filter) {
            case 1: predictor = a; break;
            case 2: predictor = b; break;
            case 3: predictor = (a + b) / 2; break;
            case 4: predictor = Paeth(a, b, c); break;
            default: break;
            }
            out += static_cast<char>(static_cast<uint8_t>(row[i] - predictor));
        }
    }
    return out;
}

// Starting column and row, then the steps between them, of each Adam7 pass.
static const unsigned passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

std::string FilterInterlacedRows(const std::vector<uint8_t>& raw, uint32_t width, uint32_t height, unsigned pixelBytes,
                                 const std::vector<int>& filters) {
    std::string out;
    for (const unsigned* pass : passes) {
        std::vector<uint8_t> sub;
        size_t columns = 0;
        for (uint32_t y = pass[1]; y < height; y += pass[3]) {
            columns = 0;
            for (uint32_t x = pass[0]; x < width; x += pass[2], columns++) {
                const uint8_t* pixel = &raw[(static_cast<size_t>(y) * width + x) * pixelBytes];
                sub.insert(sub.end(), pixel, pixel + pixelBytes);
            }
        }
        if (!sub.empty()) out += FilterRows(sub, columns * pixelBytes, pixelBytes, filters);
    }
    return out;
}

// Rows of indexes (one byte each, width a row) packed depth bits each, most significant first.
static std::vector<uint8_t> PackedRows(const std::vector<uint8_t>& indexes, size_t width, unsigned depth) {
    const size_t rowBytes = (width * depth + 7) / 8;
    std::vector<uint8_t> packed(indexes.size() / width * rowBytes, 0);
    for (size_t i = 0; i < indexes.size(); i++) {
        const size_t x = i % width, bit = x * depth;
        packed[i / width * rowBytes + bit / 8] |= static_cast<uint8_t>(indexes[i] << (8 - depth - bit % 8));
    }
    return packed;
}

// The palette chunks and filtered rows of the RGBA pixels as a palette image.
static std::string PaletteRows(const Pixels& pixels, const Layout& layout, std::string* chunks) {
    std::vector<uint32_t> colours;
    std::vector<uint8_t> indexes;
    for (size_t at = 0; at < pixels.bytes.size(); at += 4) {
        const uint32_t colour = static_cast<uint32_t>(pixels.bytes[at]) << 24 | pixels.bytes[at + 1] << 16 | pixels.bytes[at + 2] << 8 |
                                pixels.bytes[at + 3];
        size_t index = 0;
        while (index < colours.size() && colours[index] != colour) index++;
        if (index == colours.size()) colours.push_back(colour);
        if (index >> layout.paletteDepth) abort();  // more colours than the depth holds
        indexes.push_back(static_cast<uint8_t>(index));
    }
    std::string plte, trns;
    for (uint32_t colour : colours) {
        for (int shift : {24, 16, 8}) plte += static_cast<char>(colour >> shift);
        trns += static_cast<char>(colour);
    }
    while (!trns.empty() && static_cast<uint8_t>(trns.back()) == 255) trns.pop_back();
    *chunks = testpng::Chunk("PLTE", plte) + (trns.empty() ? std::string() : testpng::Chunk("tRNS", trns));
    if (!layout.interlaced) {
        return FilterRows(PackedRows(indexes, pixels.width, layout.paletteDepth), (pixels.width * layout.paletteDepth + 7) / 8, 1,
                          layout.filters);
    }
    std::string out;
    for (const unsigned* pass : passes) {
        std::vector<uint8_t> sub;
        size_t columns = 0;
        for (uint32_t y = pass[1]; y < pixels.height; y += pass[3]) {
            columns = 0;
            for (uint32_t x = pass[0]; x < pixels.width; x += pass[2], columns++) sub.push_back(indexes[static_cast<size_t>(y) * pixels.width + x]);
        }
        if (!sub.empty()) out += FilterRows(PackedRows(sub, columns, layout.paletteDepth), (columns * layout.paletteDepth + 7) / 8, 1, layout.filters);
    }
    return out;
}

std::string Encode(const Pixels& pixels, const Layout& layout) {
    using testpng::BigEndian32;
    using testpng::Chunk;
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header = BigEndian32(pixels.width) + BigEndian32(pixels.height);
    header += static_cast<char>(layout.paletteDepth ? layout.paletteDepth : pixels.bitDepth);
    header += static_cast<char>(layout.paletteDepth ? 3 : pixels.channels == 4 ? 6 : pixels.channels == 2 ? 4 : 2);
    header += std::string(2, '\0');
    header += static_cast<char>(layout.interlaced ? 1 : 0);
    png += Chunk("IHDR", header);
    std::string paletteChunks;
    const unsigned pixelBytes = static_cast<unsigned>(pixels.PixelBytes());
    const std::string rows =
        layout.paletteDepth ? PaletteRows(pixels, layout, &paletteChunks)
        : layout.interlaced ? FilterInterlacedRows(pixels.bytes, pixels.width, pixels.height, pixelBytes, layout.filters)
                            : FilterRows(pixels.bytes, static_cast<size_t>(pixels.width) * pixelBytes, pixelBytes, layout.filters);
    png += paletteChunks;
    for (const std::string& chunk : layout.beforeImageData) png += chunk;
    std::string data = testpng::Deflate(rows, layout.level);
    size_t piece = layout.imageDataPiece ? layout.imageDataPiece : data.size();
    for (size_t at = 0; at < data.size(); at += piece) png += Chunk("IDAT", data.substr(at, piece));
    for (const std::string& chunk : layout.afterImageData) png += chunk;
    png += Chunk("IEND", std::string());
    return png + layout.trailer;
}

std::string Gzip(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

void HideText(Pixels* pixels, Mode mode, bool compressed, const std::string& text, uint32_t lengthBits) {
    std::string stored = compressed ? Gzip(text) : text;
    std::string signature = mode == Mode::Alpha ? (compressed ? "stealth_pngcomp" : "stealth_pnginfo")
                                                : (compressed ? "stealth_rgbcomp" : "stealth_rgbinfo");
    uint32_t bits = lengthBits ? lengthBits : static_cast<uint32_t>(stored.size() * 8);
    std::string stream = signature + testpng::BigEndian32(bits) + stored;
    const unsigned perPixel = mode == Mode::Alpha ? 1 : 3;
    for (size_t index = 0; index < stream.size() * 8; index++) {
        bool bit = (static_cast<uint8_t>(stream[index / 8]) >> (7 - index % 8)) & 1;
        size_t pixel = index / perPixel;
        uint32_t x = static_cast<uint32_t>(pixel / pixels->height), y = static_cast<uint32_t>(pixel % pixels->height);
        if (x >= pixels->width) return;
        uint8_t& channel = pixels->At(x, y)[mode == Mode::Alpha ? pixels->channels - 1 : index % perPixel];
        channel = static_cast<uint8_t>((channel & 0xFE) | bit);
    }
}

std::string HugeInterlacedWithText(const std::string& text) {
    Pixels pixels;
    pixels.width = (1u << 24) + 1;
    pixels.height = 2;
    pixels.channels = 2;
    pixels.bytes.assign(static_cast<size_t>(pixels.width) * pixels.height * 2, 0);
    HideText(&pixels, Mode::Alpha, false, text);
    Layout layout;
    layout.interlaced = true;
    layout.level = 1;
    return Encode(pixels, layout);
}

// A number of the byte order.
static std::string Number(bool bigEndian, uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; i++) {
        int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
        out += static_cast<char>((value >> shift) & 0xFF);
    }
    return out;
}

static std::string Entry(bool bigEndian, uint16_t tag, uint16_t type, uint32_t count, uint32_t value, bool shortValue = false) {
    std::string entry = Number(bigEndian, tag, 2) + Number(bigEndian, type, 2) + Number(bigEndian, count, 4);
    entry += shortValue ? Number(bigEndian, value, 2) + std::string(2, '\0') : Number(bigEndian, value, 4);
    return entry;
}

std::string ExifData(bool bigEndian, unsigned orientation, bool gps, const std::string& userComment) {
    // IFD0 at offset 8; its size: 2 + 12 per entry + 4. The GPS and Exif IFDs follow it.
    unsigned count = (orientation ? 1 : 0) + (gps ? 1 : 0) + (userComment.empty() ? 0 : 1);
    uint32_t after = 8 + 2 + 12 * count + 4;
    uint32_t gpsAt = after, exifAt = after + (gps ? 2 + 12 + 4 : 0);
    std::string ifd0 = Number(bigEndian, count, 2);
    if (orientation) ifd0 += Entry(bigEndian, 0x0112, 3, 1, orientation, true);
    if (!userComment.empty()) ifd0 += Entry(bigEndian, 0x8769, 4, 1, exifAt);
    if (gps) ifd0 += Entry(bigEndian, 0x8825, 4, 1, gpsAt);
    ifd0 += Number(bigEndian, 0, 4);
    std::string tiff = bigEndian ? std::string("MM\0\x2a", 4) : std::string("II\x2a\0", 4);
    tiff += Number(bigEndian, 8, 4) + ifd0;
    if (gps) tiff += Number(bigEndian, 1, 2) + Entry(bigEndian, 0x0000, 1, 4, 0x00000302) + Number(bigEndian, 0, 4);
    if (!userComment.empty()) {
        std::string comment = std::string("ASCII\0\0\0", 8) + userComment;
        uint32_t commentAt = exifAt + 2 + 12 + 4;
        tiff += Number(bigEndian, 1, 2) + Entry(bigEndian, 0x9286, 7, static_cast<uint32_t>(comment.size()), commentAt) +
                Number(bigEndian, 0, 4) + comment;
    }
    return tiff;
}

ImageHeader HeaderOf(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colourType, uint8_t interlace) {
    ImageHeader header;
    header.width = width;
    header.height = height;
    header.bitDepth = bitDepth;
    header.colourType = colourType;
    header.interlace = interlace;
    return header;
}

FoundImage FindImage(const std::string& file) {
    CountingBytes source(file);
    ChunkWalker walker(&source, WalkCrcs::All);
    FoundImage image;
    WalkedChunk chunk;
    while (walker.Next(&chunk)) {
        const uint8_t* data = reinterpret_cast<const uint8_t*>(file.data()) + chunk.DataAt();
        if (chunk.type == PngType("IHDR")) ParseImageHeader(data, chunk.length, &image.header);
        if (!image.found) TakePaletteChunk(&source, chunk, &image.palette);
        if (chunk.type == PngType("IDAT") && !image.found) {
            image.firstImageData = chunk;
            image.found = true;
        }
    }
    return image;
}

std::vector<std::string> ChunksOf(const std::string& file) {
    std::vector<std::string> chunks;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = ReadPngNumber32(reinterpret_cast<const uint8_t*>(file.data()) + at);
        chunks.push_back(file.substr(at, 12 + static_cast<size_t>(length)));
        if (file.compare(at + 4, 4, "IEND") == 0) break;  // what follows is no chunk
        at += 12 + length;
    }
    return chunks;
}

}  // namespace pixelpng
