// clean_copy.h: a copy of a PNG file to share: its texts, tIME, caBX and trailer gone, every other chunk byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "png/byte_source.h"
#include "png/chunk_walk.h"
#include "png/stealth_clear.h"
#include "png/stealth_reader.h"

// What becomes of a chunk of the original, and why.
enum class ChunkFate {
    Kept,             // an image, colour or animation chunk: the picture needs it
    KeptUnknown,      // a type this copy does not know: kept (it may matter to the picture), and listed
    KeptText,         // a text chunk the caller asked to keep
    KeptOrientation,  // eXIf whose orientation is not 1: removing it would turn the image
    RemovedText,      // tEXt, zTXt, iTXt
    RemovedTime,      // tIME
    RemovedSignature, // caBX: a signature over bytes the copy changes would read as tampered
    RemovedExif,      // eXIf: upright, or removed as asked
    RemovedAsAsked,   // an ancillary type the caller named
    Reencoded,        // IDAT of an image whose hidden text was cleared: replaced by the image data made again
    Recoloured,       // PLTE, tRNS of a palette image whose hidden text was cleared: the same chunk, its
                      // entries' carrying bits set (stealth_clear.h)
};

inline bool IsKept(ChunkFate fate) {
    return fate == ChunkFate::Kept || fate == ChunkFate::KeptUnknown || fate == ChunkFate::KeptText ||
           fate == ChunkFate::KeptOrientation;
}

struct CleanedChunk {
    uint64_t at = 0;  // the chunk's length field in the original
    uint32_t length = 0;
    uint32_t type = 0;
    ChunkFate fate = ChunkFate::Kept;
    std::string keyword;       // text chunks: the keyword as stored (Latin-1 bytes)
    unsigned orientation = 0;  // eXIf: as stored, 0 when none is given
};

enum class CleanEnd {
    Cleaned,       // copy holds the cleaned file
    NotWellFormed, // the walk ended before IEND, or a CRC is wrong (walkEnd, badCrc say which): no copy
    TooLarge,      // the file is larger than MaxCleanBytes: no copy
    ReadFailed,    // the bytes stopped being the file's: no copy
    NoMemory,      // no memory for the copy
    NotCleared,    // clearStealth: hidden text was found but could not be cleared (clearing says why): no copy
};

struct CleanChoices {
    // For each text chunk: true keeps it. Empty: every text chunk goes.
    std::function<bool(const std::string& keyword)> keepText;
    // Ancillary types removed even where they would be kept (eXIf whatever its orientation).
    std::vector<uint32_t> dropTypes;
    // Text hidden in the pixels is cleared (stealth_clear.h): the IDAT chunks are made again, in the
    // place of the first (of a palette image, its PLTE and tRNS entries are set instead); every other
    // chunk stays byte for byte. An image without it is copied as ever.
    bool clearStealth = false;
};

struct CleanResult {
    CleanEnd end = CleanEnd::Cleaned;
    WalkEnd walkEnd = WalkEnd::Iend;
    uint64_t stoppedAt = 0;        // where the walk stopped (NotWellFormed)
    bool badCrc = false;           // NotWellFormed: a chunk's CRC is wrong (badCrcChunk)
    WalkedChunk badCrcChunk;
    std::vector<CleanedChunk> chunks;  // every chunk of the original, in file order
    uint64_t trailerSize = 0;      // bytes after IEND, removed
    StealthFinding stealth;        // text hidden in the original's pixels (the copy keeps it unless cleared)
    StealthClearing clearing;      // clearStealth and hidden text found: how the clearing went (its imageData
                                   // is moved into copy; its digests stay for the read-back)
    std::vector<uint8_t> copy;     // Cleaned: the signature and the kept chunks, each byte for byte
    bool copyCrcsChecked = false;  // every chunk's CRC was checked in copy itself as it was made
};

// The largest file cleaned: the copy is made in memory and read back whole before it is renamed.
const uint64_t MaxCleanBytes = 256u << 20;

// Walks the file (every CRC, the image data's too) and, when it is well formed (signature, IHDR first,
// every length inside the file, every CRC right, IEND), makes the copy: the signature, then each
// chunk kept, in order. Removed: text chunks (but those keepText keeps), tIME, caBX, eXIf unless its
// orientation is not 1, the types in dropTypes, and the bytes after IEND. With clearStealth, text
// hidden in the pixels is cleared too: the new IDAT chunks stand where the first one stood. The copy
// is made in storage (its bytes dropped, its memory kept: a caller that cleans many files hands back
// the last copy's). Never throws.
CleanResult MakeCleanCopy(ByteSource* source, const CleanChoices& choices, std::vector<uint8_t>&& storage = std::vector<uint8_t>());

// True when bytes are a well-formed PNG of exactly the chunks the result kept, in their order, each
// the original's byte for byte (so its CRC is right), and nothing after IEND: the check of a copy
// read back from disk. Where the hidden text was cleared: the new IDAT chunks in the place of the old,
// decoding to the pixels made (the original's but the carrying bits), with no signature in them.
bool MatchesCleanCopy(const uint8_t* bytes, size_t size, const CleanResult& result);
// The same check for a copy read back in pieces: each piece, count bytes from offset at, is the
// copy's bytes there (MatchesCleanCopyPiece), and the copy made is as MatchesCleanCopy says
// (CleanCopyWellMade): pieces that cover the copy's size and all match make MatchesCleanCopy true.
bool MatchesCleanCopyPiece(const uint8_t* piece, size_t count, uint64_t at, const CleanResult& result);
bool CleanCopyWellMade(const CleanResult& result);

// The type codes of text chunks.
bool IsTextChunk(uint32_t type);
