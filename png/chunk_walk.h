// chunk_walk.h: a PNG file chunk by chunk, as its structure lays it out, with the CRC of each chunk.
#pragma once
#include <cstdint>
#include "png/byte_source.h"

// Format notes: a PNG file is the 8-byte signature 89 50 4E 47 0D 0A 1A 0A, then chunks: length (4
// bytes, big-endian, at most 2^31 - 1), type code (4), data (length bytes), CRC (4, over type code and
// data). IHDR comes first, IEND last; any bytes after IEND's CRC belong to no chunk (a trailer).

// Type codes as numbers: the four bytes big-endian.
constexpr uint32_t PngType(const char (&code)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8 | static_cast<uint8_t>(code[3]);
}
// Bit 5 of the first byte (a lower-case letter): a decoder may skip the chunk.
inline bool IsAncillary(uint32_t type) { return (type >> 24 & 0x20) != 0; }

const uint64_t PngSignatureSize = 8;
const uint32_t MaxChunkLength = 0x7FFFFFFF;

enum class CrcState { Ok, Bad, Unchecked };

struct WalkedChunk {
    uint64_t at = 0;  // offset of the length field
    uint32_t length = 0;
    uint32_t type = 0;
    CrcState crc = CrcState::Unchecked;
    uint64_t DataAt() const { return at + 8; }
    uint64_t End() const { return at + 12 + length; }  // just past the CRC
};

// How a walk ended. Every end but Iend leaves part of the file unwalked or not a PNG.
enum class WalkEnd {
    Going,          // not ended yet
    Iend,           // IEND reached; TrailerSize() bytes follow it
    NotPng,         // the file does not start with the signature
    HeaderNotFirst, // the first chunk is not IHDR
    BadLength,      // a length field above 2^31 - 1
    PastEnd,        // a chunk's fields reach past the end of the file
    NoIend,         // the file ends after a chunk, without IEND
    ReadFailed,     // the source could not show a range
};

// Which chunks' CRCs a walk checks. AllButImageData: reading all image data costs more than the rest
// of the file together. None: the caller checks them itself, where it reads the bytes anyway.
enum class WalkCrcs { All, AllButImageData, None };

// Walks the chunks from the signature on. Every length is checked against the bytes left before any
// of the chunk is read. CRCs are checked as crcs says; a chunk not checked is Unchecked.
class ChunkWalker {
public:
    ChunkWalker(ByteSource* source, WalkCrcs crcs);
    // The next chunk (its CRC checked); false once the walk has ended (End() says how).
    bool Next(WalkedChunk* chunk);
    WalkEnd End() const { return end_; }
    // Where the walk stopped: the offset of the chunk it could not take (or of the trailer after IEND).
    uint64_t StoppedAt() const { return at_; }
    uint64_t TrailerSize() const { return end_ == WalkEnd::Iend ? source_->Size() - at_ : 0; }
    // PastEnd: the length and type of the chunk that runs past the end (its CRC Unchecked); when the
    // file ends inside the length or type, its type is 0.
    const WalkedChunk& CutChunk() const { return cut_; }

private:
    bool Stop(WalkEnd end);
    bool ReadCrc(const WalkedChunk& chunk, CrcState* crc);

    ByteSource* source_;
    WalkCrcs crcs_;
    uint64_t at_ = 0;
    bool started_ = false;
    WalkEnd end_ = WalkEnd::Going;
    WalkedChunk cut_;
};

// The CRC of a chunk's type code and data, read through the source in pieces; false when a piece
// could not be shown. The chunk must lie inside the file.
bool ChunkCrc(ByteSource* source, const WalkedChunk& chunk, uint32_t* crc);
