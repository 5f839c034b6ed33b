// clean_copy.cpp: the chunks a shared copy keeps, and the copy made of them.
#include "png/clean_copy.h"
#include <algorithm>
#include <cstring>
#include <new>
#include "png/exif_reader.h"
#include "png/image_header.h"
#include "runtime/crc32.h"

bool IsTextChunk(uint32_t type) { return type == PngType("tEXt") || type == PngType("zTXt") || type == PngType("iTXt"); }

namespace {

// Format notes: a text chunk's keyword is 1 to 79 Latin-1 bytes ended by a NUL (iTXt's too).
const size_t MaxKeyword = 79;

// Pieces of a chunk asked of the source at a time: a loader shows large files in views.
const size_t CopyPiece = 1u << 20;

// Shows a small range whole; false when it cannot be shown.
bool ShowSmall(ByteSource* source, uint64_t at, size_t count, const uint8_t** bytes) {
    return count <= source->Size() && at <= source->Size() - count && source->Show(at, count, bytes);
}

std::string KeywordOf(ByteSource* source, const WalkedChunk& chunk) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(chunk.length, MaxKeyword + 1));
    const uint8_t* data = nullptr;
    if (count == 0 || !ShowSmall(source, chunk.DataAt(), count, &data)) return std::string();
    const uint8_t* end = static_cast<const uint8_t*>(memchr(data, 0, count));
    return std::string(reinterpret_cast<const char*>(data), end ? static_cast<size_t>(end - data) : count);
}

// The orientation an eXIf chunk gives; 0 when it gives none (or cannot be read).
unsigned OrientationOf(ByteSource* source, const WalkedChunk& chunk) {
    const uint8_t* data = nullptr;
    if (chunk.length == 0 || !ShowSmall(source, chunk.DataAt(), chunk.length, &data)) return 0;
    return ReadExif(data, chunk.length).orientation;
}

bool Asked(const CleanChoices& choices, uint32_t type) {
    return std::find(choices.dropTypes.begin(), choices.dropTypes.end(), type) != choices.dropTypes.end();
}

// The chunks the picture needs, or may need, as any viewer draws it: kept byte for byte.
bool IsKnownImageChunk(uint32_t type) {
    static const uint32_t known[] = {
        PngType("IHDR"), PngType("PLTE"), PngType("IDAT"), PngType("IEND"), PngType("tRNS"), PngType("gAMA"),
        PngType("cHRM"), PngType("sRGB"), PngType("iCCP"), PngType("cICP"), PngType("mDCV"), PngType("cLLI"),
        PngType("sBIT"), PngType("pHYs"), PngType("bKGD"), PngType("hIST"), PngType("sPLT"), PngType("acTL"),
        PngType("fcTL"), PngType("fdAT"),
    };
    return std::find(std::begin(known), std::end(known), type) != std::end(known);
}

ChunkFate FateOf(ByteSource* source, const WalkedChunk& chunk, const CleanChoices& choices, CleanedChunk* cleaned) {
    const uint32_t type = chunk.type;
    if (IsTextChunk(type)) {
        cleaned->keyword = KeywordOf(source, chunk);
        return choices.keepText && choices.keepText(cleaned->keyword) ? ChunkFate::KeptText : ChunkFate::RemovedText;
    }
    if (type == PngType("tIME")) return ChunkFate::RemovedTime;
    if (type == PngType("caBX")) return ChunkFate::RemovedSignature;
    if (type == PngType("eXIf")) {
        cleaned->orientation = OrientationOf(source, chunk);
        if (Asked(choices, type) || cleaned->orientation <= 1) return ChunkFate::RemovedExif;
        return ChunkFate::KeptOrientation;
    }
    // Critical chunks are never dropped: without one the file is no image.
    if (IsAncillary(type) && Asked(choices, type)) return ChunkFate::RemovedAsAsked;
    return IsKnownImageChunk(type) ? ChunkFate::Kept : ChunkFate::KeptUnknown;
}

bool AppendRange(ByteSource* source, uint64_t at, uint64_t count, std::vector<uint8_t>* out) {
    while (count > 0) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(count, CopyPiece));
        const uint8_t* bytes = nullptr;
        if (!source->Show(at, piece, &bytes)) return false;
        out->insert(out->end(), bytes, bytes + piece);
        at += piece;
        count -= piece;
    }
    return true;
}

// Whether two ranges hold the same bytes, eight at a time: the platform's memcmp compares one by one.
bool SameBytes(const uint8_t* a, const uint8_t* b, size_t count) {
    size_t at = 0;
    for (; at + 8 <= count; at += 8) {
        uint64_t x, y;
        memcpy(&x, a + at, 8);
        memcpy(&y, b + at, 8);
        if (x != y) return false;
    }
    for (; at < count; at++) {
        if (a[at] != b[at]) return false;
    }
    return true;
}

// Whether the CRC stored at the end of a whole chunk (length field to CRC) is that of its type and data.
bool CrcRight(const uint8_t* chunk, uint32_t length) {
    return ReadPngNumber32(chunk + 8 + length) == Crc32(0, chunk + 4, static_cast<size_t>(length) + 4);
}

// Notes the first chunk, in file order, whose CRC is wrong.
void NoteCrc(bool right, const CleanedChunk& chunk, CleanResult* result) {
    if (right || result->badCrc) return;
    result->badCrc = true;
    result->badCrcChunk.at = chunk.at;
    result->badCrcChunk.length = chunk.length;
    result->badCrcChunk.type = chunk.type;
    result->badCrcChunk.crc = CrcState::Bad;
}

// Whether a chunk's stored CRC is right, read from the source; false when it could not be shown.
bool SourceCrcRight(ByteSource* source, const CleanedChunk& cleaned, bool* right) {
    WalkedChunk chunk;
    chunk.at = cleaned.at;
    chunk.length = cleaned.length;
    chunk.type = cleaned.type;
    uint32_t computed = 0;
    const uint8_t* stored = nullptr;
    if (!ChunkCrc(source, chunk, &computed) || !ShowSmall(source, chunk.End() - 4, 4, &stored)) return false;
    *right = ReadPngNumber32(stored) == computed;
    return true;
}

// A whole PLTE or tRNS chunk given the palette's colours, its CRC made again.
void Recolour(const ImagePalette& palette, uint8_t* chunk) {
    const uint32_t length = ReadPngNumber32(chunk), type = ReadPngNumber32(chunk + 4);
    uint8_t* data = chunk + 8;
    if (type == PngType("PLTE")) {
        for (uint32_t i = 0; i < length / 3 && i < 256; i++) memcpy(data + 3 * i, palette.rgba[i], 3);
    } else {
        for (uint32_t i = 0; i < length && i < 256; i++) data[i] = palette.rgba[i][3];
    }
    const uint32_t crc = Crc32(0, chunk + 4, static_cast<size_t>(length) + 4);
    for (int i = 0; i < 4; i++) data[length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

// The signature and the kept chunks, in order, the image data made again in the place of the first
// IDAT when there is one. With checkCrcs every chunk's CRC is checked on the way: a kept one's in the
// copy just made of it (so the copy holds only bytes whose CRCs were right), a removed one's in the
// source. False when the source could not show a range.
bool Assemble(ByteSource* source, bool checkCrcs, CleanResult* result) {
    uint64_t copySize = PngSignatureSize + result->clearing.imageData.size();
    for (const CleanedChunk& kept : result->chunks) {
        if (IsKept(kept.fate) || kept.fate == ChunkFate::Recoloured) copySize += 12 + static_cast<uint64_t>(kept.length);
    }
    result->copy.reserve(static_cast<size_t>(copySize));
    if (!AppendRange(source, 0, PngSignatureSize, &result->copy)) return false;
    bool imageDataPlaced = false;
    for (const CleanedChunk& chunk : result->chunks) {
        if (IsKept(chunk.fate) || chunk.fate == ChunkFate::Recoloured) {
            const size_t at = result->copy.size();
            if (!AppendRange(source, chunk.at, 12 + static_cast<uint64_t>(chunk.length), &result->copy)) return false;
            if (checkCrcs) NoteCrc(CrcRight(result->copy.data() + at, chunk.length), chunk, result);
            if (chunk.fate == ChunkFate::Recoloured) Recolour(result->clearing.palette, result->copy.data() + at);
            continue;
        }
        if (checkCrcs) {
            bool right = true;
            if (!SourceCrcRight(source, chunk, &right)) return false;
            NoteCrc(right, chunk, result);
        }
        if (chunk.fate == ChunkFate::Reencoded && !imageDataPlaced) {
            result->copy.insert(result->copy.end(), result->clearing.imageData.begin(), result->clearing.imageData.end());
            imageDataPlaced = true;
        }
    }
    return true;
}

// Every chunk's CRC, read from the source, up to the first wrong one: for a file that gets no copy
// made of it, or before the work of clearing hidden text, which a damaged file does not get.
bool CheckEveryCrc(ByteSource* source, CleanResult* result) {
    for (const CleanedChunk& chunk : result->chunks) {
        bool right = true;
        if (!SourceCrcRight(source, chunk, &right)) return false;
        NoteCrc(right, chunk, result);
        if (result->badCrc) return true;
    }
    return true;
}

CleanResult Clean(ByteSource* source, const CleanChoices& choices, std::vector<uint8_t>&& storage) {
    CleanResult result;
    result.copy.swap(storage);
    result.copy.clear();
    if (source->Size() > MaxCleanBytes) {
        result.end = CleanEnd::TooLarge;
        return result;
    }
    // The structure first; the CRCs are checked as the copy is made, so each byte is summed once.
    ChunkWalker walker(source, WalkCrcs::None);
    WalkedChunk chunk;
    WalkedChunk header, firstImageData;
    bool imageDataFound = false;
    ImagePalette palette;
    while (walker.Next(&chunk)) {
        if (chunk.type == PngType("IHDR") && result.chunks.empty()) header = chunk;
        if (!imageDataFound && !TakePaletteChunk(source, chunk, &palette)) {
            result.end = CleanEnd::ReadFailed;
            return result;
        }
        if (chunk.type == PngType("IDAT") && !imageDataFound) {
            firstImageData = chunk;
            imageDataFound = true;
        }
        CleanedChunk cleaned;
        cleaned.at = chunk.at;
        cleaned.length = chunk.length;
        cleaned.type = chunk.type;
        cleaned.fate = FateOf(source, chunk, choices, &cleaned);
        result.chunks.push_back(std::move(cleaned));
    }
    result.walkEnd = walker.End();
    result.stoppedAt = walker.StoppedAt();
    result.trailerSize = walker.TrailerSize();
    if (source->Failed() || walker.End() == WalkEnd::ReadFailed) {
        result.end = CleanEnd::ReadFailed;
        return result;
    }
    if (walker.End() != WalkEnd::Iend) {
        // A wrong CRC before where the walk stopped is said first, as a reader meets it first.
        result.end = CheckEveryCrc(source, &result) ? CleanEnd::NotWellFormed : CleanEnd::ReadFailed;
        return result;
    }
    // The copy's pixels are the original's: what hides in them hides in the copy, unless it is cleared.
    const uint8_t* headerData = nullptr;
    ImageHeader image;
    if (ShowSmall(source, header.DataAt(), header.length, &headerData) &&
        ParseImageHeader(headerData, header.length, &image) == HeaderCheck::Ok) {
        result.stealth = ReadStealth(source, image, imageDataFound ? &firstImageData : nullptr, &palette);
    } else {
        result.stealth.state = StealthState::NotChecked;
        result.stealth.reason = StealthNotChecked::BadHeader;
    }
    const bool found = result.stealth.state == StealthState::Found || result.stealth.state == StealthState::FoundDamaged;
    const bool clearing = choices.clearStealth && found;
    bool read = true;
    if (clearing) {
        read = CheckEveryCrc(source, &result);
        if (read && !result.badCrc) {
            result.clearing = ClearStealth(source, image, firstImageData, result.stealth, &palette);
            if (result.clearing.end == ClearEnd::NoMemory) throw std::bad_alloc();
            if (result.clearing.end != ClearEnd::Cleared || source->Failed()) {
                result.end = source->Failed() ? CleanEnd::ReadFailed : CleanEnd::NotCleared;
                return result;
            }
            bool beforeImageData = true;
            for (CleanedChunk& chunk : result.chunks) {
                const bool paletteChunk = chunk.type == PngType("PLTE") || chunk.type == PngType("tRNS");
                if (chunk.type == PngType("IDAT")) {
                    beforeImageData = false;
                    if (!result.clearing.recoloured) chunk.fate = ChunkFate::Reencoded;
                } else if (result.clearing.recoloured && paletteChunk && beforeImageData) {
                    chunk.fate = ChunkFate::Recoloured;
                }
            }
        }
    }
    if (read && !result.badCrc) read = Assemble(source, !clearing, &result);
    result.copyCrcsChecked = !clearing;
    std::vector<uint8_t>().swap(result.clearing.imageData);  // in the copy now
    if (!read || source->Failed()) result.end = CleanEnd::ReadFailed;
    else if (result.badCrc) result.end = CleanEnd::NotWellFormed;
    if (result.end != CleanEnd::Cleaned) std::vector<uint8_t>().swap(result.copy);
    return result;
}

// Whether the colours of a copy's palette, read from its PLTE and tRNS, spell no signature in its pixels.
bool PaletteHoldsNoText(ByteSource* source, const std::vector<WalkedChunk>& walked, const WalkedChunk& firstImageData) {
    const uint8_t* data = nullptr;
    ImageHeader header;
    if (walked.empty() || firstImageData.type != PngType("IDAT") || !ShowSmall(source, walked[0].DataAt(), walked[0].length, &data) ||
        ParseImageHeader(data, walked[0].length, &header) != HeaderCheck::Ok)
        return false;
    ImagePalette palette;
    for (const WalkedChunk& chunk : walked) {
        if (chunk.type == PngType("IDAT")) break;
        if (!TakePaletteChunk(source, chunk, &palette)) return false;
    }
    return ReadStealth(source, header, &firstImageData, &palette).state == StealthState::Absent;
}

}  // namespace

CleanResult MakeCleanCopy(ByteSource* source, const CleanChoices& choices, std::vector<uint8_t>&& storage) {
    try {
        return Clean(source, choices, std::move(storage));
    } catch (const std::exception&) {
        // No memory for the copy or the list of chunks (bad_alloc, or a length the vector refuses).
        CleanResult result;
        result.end = CleanEnd::NoMemory;
        return result;
    }
}

bool MatchesCleanCopy(const uint8_t* bytes, size_t size, const CleanResult& result) {
    return size == result.copy.size() && MatchesCleanCopyPiece(bytes, size, 0, result) && CleanCopyWellMade(result);
}

bool MatchesCleanCopyPiece(const uint8_t* piece, size_t count, uint64_t at, const CleanResult& result) {
    return result.end == CleanEnd::Cleaned && at <= result.copy.size() && count <= result.copy.size() - at &&
           SameBytes(piece, result.copy.data() + at, count);
}

bool CleanCopyWellMade(const CleanResult& result) {
    if (result.end != CleanEnd::Cleaned) return false;
    // Walked again as a reader of the copy would: the kept chunks alone, in order, CRCs right; the image
    // data made again, in one run of IDAT chunks, where the original's stood.
    MemoryBytes source(result.copy.data(), result.copy.size());
    // The bytes are the copy made, whose CRCs were checked as it was made (copyCrcsChecked); else the
    // walk checks them.
    ChunkWalker walker(&source, result.copyCrcsChecked ? WalkCrcs::None : WalkCrcs::All);
    std::vector<WalkedChunk> walked;
    WalkedChunk chunk;
    while (walker.Next(&chunk)) walked.push_back(chunk);
    if (walker.End() != WalkEnd::Iend || walker.TrailerSize() != 0) return false;
    auto next = walked.begin();
    bool reencodedPlaced = false;
    WalkedChunk firstImageData;
    for (const CleanedChunk& expected : result.chunks) {
        if (expected.fate == ChunkFate::Reencoded) {
            if (reencodedPlaced) continue;
            reencodedPlaced = true;
            if (next == walked.end() || next->type != PngType("IDAT")) return false;
            firstImageData = *next;
            while (next != walked.end() && next->type == PngType("IDAT")) {
                if (next->crc == CrcState::Bad) return false;
                ++next;
            }
            continue;
        }
        if (!IsKept(expected.fate) && expected.fate != ChunkFate::Recoloured) continue;
        if (next == walked.end() || next->type != expected.type || next->length != expected.length || next->crc == CrcState::Bad)
            return false;
        if (IsTextChunk(next->type) && expected.fate != ChunkFate::KeptText) return false;
        if (next->type == PngType("IDAT") && firstImageData.type == 0) firstImageData = *next;
        ++next;
    }
    if (next != walked.end()) return false;
    if (result.clearing.recoloured) return PaletteHoldsNoText(&source, walked, firstImageData);
    if (!reencodedPlaced) return true;
    // The pixels made again: every row decodes to the digests taken of them, and no signature is left.
    const uint8_t* headerData = nullptr;
    ImageHeader header;
    return walked[0].type == PngType("IHDR") && ShowSmall(&source, walked[0].DataAt(), walked[0].length, &headerData) &&
           ParseImageHeader(headerData, walked[0].length, &header) == HeaderCheck::Ok &&
           MatchesClearedPixels(&source, header, firstImageData, result.clearing.digests);
}
