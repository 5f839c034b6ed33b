// stealth_clear.cpp: setting the carrying bits, making the image data again, and checking it.
#include "png/stealth_clear.h"
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include "png/image_data_writer.h"
#include "runtime/crc32.h"

namespace {

// Digests of row bytes, one per PixelDigestBytes (rows are not cut: a digest covers whole rows).
class RowDigests {
public:
    explicit RowDigests(std::vector<uint32_t>* digests) : digests_(digests) { digests_->clear(); }
    void Add(const uint8_t* row, size_t count) {
        crc_ = Crc32(crc_, row, count);
        bytes_ += count;
        if (bytes_ >= PixelDigestBytes) End();
    }
    void End() {
        if (bytes_ == 0) return;
        digests_->push_back(crc_);
        crc_ = 0;
        bytes_ = 0;
    }

private:
    std::vector<uint32_t>* digests_;
    uint32_t crc_ = 0;
    size_t bytes_ = 0;
};

bool IsFound(const StealthFinding& finding) {
    return finding.state == StealthState::Found || finding.state == StealthState::FoundDamaged;
}

ClearEnd EndOfRows(RowsState rows) { return rows == RowsState::NoMemory ? ClearEnd::NoMemory : ClearEnd::ImageData; }

// Sets the carrying bits of a row of the stream in place (of a 16-bit sample, both bytes' low bits):
// pixel i of it is the image's pixel x0 + i * dx of row y0 + Row() * dy.
void ClearRow(uint8_t* row, const StreamRowWalk& walk, const ImageHeader& header, StealthMode mode, uint64_t streamBits) {
    const unsigned perPixel = StealthBitsPerPixel(mode), sampleBytes = header.bitDepth / 8;
    const InterlacePass& pass = walk.Pass();
    const uint64_t y = pass.y0 + static_cast<uint64_t>(walk.Row()) * pass.dy;
    for (uint64_t i = 0, x = pass.x0; i < walk.Width() && (x * header.height + y) * perPixel < streamBits; i++, x += pass.dx) {
        for (unsigned c = 0; c < perPixel; c++) {
            if ((x * header.height + y) * perPixel + c >= streamBits) break;
            uint8_t* sample = row + StealthCarrierAt(header, mode, i, c);
            for (unsigned b = 0; b < sampleBytes; b++) {
                sample[b] = mode == StealthMode::Alpha ? static_cast<uint8_t>(sample[b] | 1) : static_cast<uint8_t>(sample[b] & 0xFE);
            }
        }
    }
}

// One mode's bits cleared: every row of the stream read, cleared, digested and written again into
// result->imageData, in the stream's order (so an interlaced image is never held whole).
bool ClearMode(ByteSource* source, const ImageHeader& header, const WalkedChunk& first, const StealthFinding& finding,
               StealthClearing* result) {
    const uint64_t streamBits = StealthStreamBits(header, finding);
    std::vector<uint8_t> chunks;
    std::vector<uint8_t> row(static_cast<size_t>(header.RowBytes()));
    ImageDataWriter writer(header, &chunks, RowOrder::Stream);
    ImageRows rows(source, header, first, 0, RowOrder::Stream);
    RowDigests digests(&result->digests);
    const uint8_t* read = nullptr;
    for (StreamRowWalk walk(header); !walk.Done(); walk.Advance()) {
        if (!rows.Next(&read)) {
            result->rows = rows.State();
            result->end = EndOfRows(result->rows);
            return false;
        }
        const size_t rowBytes = static_cast<size_t>(walk.RowBytes());
        memcpy(row.data(), read, rowBytes);
        ClearRow(row.data(), walk, header, finding.mode, streamBits);
        digests.Add(row.data(), rowBytes);
        if (!writer.AddRow(row.data())) break;
    }
    digests.End();
    if (!writer.Finish()) {
        result->end = writer.State() == ImageDataEnd::NoMemory ? ClearEnd::NoMemory : ClearEnd::ImageData;
        return false;
    }
    result->imageData.swap(chunks);
    result->modes.push_back(finding.mode);
    result->bits += streamBits;
    return true;
}

// One mode's bits cleared in a palette image: the entries the stream's pixels use get them set.
bool ClearPaletteMode(ByteSource* source, const ImageHeader& header, const WalkedChunk& first, const StealthFinding& finding,
                      StealthClearing* result) {
    const uint64_t streamBits = StealthStreamBits(header, finding), perPixel = StealthBitsPerPixel(finding.mode);
    const uint64_t pixels = (streamBits + perPixel - 1) / perPixel;  // column by column from the top-left one
    const StealthArea area = StealthAreaOf(header, finding.mode, streamBits);
    const uint64_t columns = area.columns;
    bool used[256] = {};
    ImageRows rows(source, header, first, columns);
    const uint8_t* row = nullptr;
    for (uint64_t y = 0; y < area.rows; y++) {
        if (!rows.Next(&row)) {
            result->rows = rows.State();
            result->end = EndOfRows(result->rows);
            return false;
        }
        for (uint64_t x = 0; x < columns && x * header.height + y < pixels; x++) used[PaletteIndexAt(header, row, x)] = true;
    }
    for (unsigned i = 0; i < 256; i++) {
        if (!used[i]) continue;
        uint8_t* colour = result->palette.rgba[i];
        const uint8_t before[4] = {colour[0], colour[1], colour[2], colour[3]};
        if (finding.mode == StealthMode::Alpha) {
            colour[3] = static_cast<uint8_t>(colour[3] | 1);
        } else {
            for (unsigned c = 0; c < 3; c++) colour[c] = static_cast<uint8_t>(colour[c] & 0xFE);
        }
        if (memcmp(before, colour, 4) != 0) result->entries++;
    }
    result->modes.push_back(finding.mode);
    result->bits += streamBits;
    return true;
}

// A palette image's text cleared in its colours, the other mode's too once the first is gone.
StealthClearing ClearPalette(ByteSource* source, const ImageHeader& header, const WalkedChunk& first, const StealthFinding& finding,
                             const ImagePalette& palette) {
    StealthClearing result;
    result.palette = palette;
    StealthFinding found = finding;
    for (;;) {
        if (std::find(result.modes.begin(), result.modes.end(), found.mode) != result.modes.end()) {
            result.end = ClearEnd::StillFound;
            return result;
        }
        if (!ClearPaletteMode(source, header, first, found, &result)) return result;
        found = ReadStealth(source, header, &first, &result.palette);
        if (found.state == StealthState::Absent) break;
        if (!IsFound(found)) {
            result.end = found.rows == RowsState::NoMemory ? ClearEnd::NoMemory : ClearEnd::ImageData;
            result.rows = found.rows;
            return result;
        }
    }
    result.recoloured = true;
    result.end = ClearEnd::Cleared;
    return result;
}

StealthClearing Clear(ByteSource* source, const ImageHeader& header, const WalkedChunk& firstImageData, const StealthFinding& finding,
                      const ImagePalette* palette) {
    StealthClearing result;
    if (!IsFound(finding)) return result;
    if (header.colourType == 3) {
        if (!palette) return result;  // nothing was read without one
        return ClearPalette(source, header, firstImageData, finding, *palette);
    }
    if (!ClearMode(source, header, firstImageData, finding, &result)) return result;
    // Read again from the new image data: text in the other mode is looked for only once the first is gone.
    for (;;) {
        MemoryBytes cleared(result.imageData.data(), result.imageData.size());
        const WalkedChunk first = FirstChunkOf(result.imageData);
        const StealthFinding again = ReadStealth(&cleared, header, &first);
        if (again.state == StealthState::Absent) break;
        if (!IsFound(again)) {
            result.end = again.rows == RowsState::NoMemory ? ClearEnd::NoMemory : ClearEnd::ImageData;
            result.rows = again.rows;
            return result;
        }
        if (std::find(result.modes.begin(), result.modes.end(), again.mode) != result.modes.end()) {
            result.end = ClearEnd::StillFound;
            return result;
        }
        if (!ClearMode(&cleared, header, first, again, &result)) return result;
    }
    result.end = ClearEnd::Cleared;
    return result;
}

}  // namespace

WalkedChunk FirstChunkOf(const std::vector<uint8_t>& chunks) {
    WalkedChunk chunk;
    if (chunks.size() < 12) return chunk;
    chunk.length = ReadPngNumber32(chunks.data());
    chunk.type = ReadPngNumber32(chunks.data() + 4);
    chunk.crc = CrcState::Ok;
    return chunk;
}

StealthClearing ClearStealth(ByteSource* source, const ImageHeader& header, const WalkedChunk& firstImageData,
                             const StealthFinding& finding, const ImagePalette* palette) {
    try {
        return Clear(source, header, firstImageData, finding, palette);
    } catch (const std::bad_alloc&) {
        StealthClearing result;
        result.end = ClearEnd::NoMemory;
        return result;
    } catch (const std::length_error&) {
        StealthClearing result;
        result.end = ClearEnd::NoMemory;
        return result;
    }
}

bool MatchesClearedPixels(ByteSource* source, const ImageHeader& header, const WalkedChunk& firstImageData,
                          const std::vector<uint32_t>& digests) {
    try {
        std::vector<uint32_t> found;
        RowDigests digest(&found);
        ImageRows rows(source, header, firstImageData, 0, RowOrder::Stream);
        const uint8_t* row = nullptr;
        for (StreamRowWalk walk(header); !walk.Done(); walk.Advance()) {
            if (!rows.Next(&row)) return false;
            digest.Add(row, static_cast<size_t>(walk.RowBytes()));
        }
        digest.End();
        return found == digests && ReadStealth(source, header, &firstImageData).state == StealthState::Absent;
    } catch (const std::exception&) {
        return false;
    }
}
