// chunk_walk.cpp: the walk over a PNG file's chunks.
#include "png/chunk_walk.h"
#include <algorithm>
#include <cstring>
#include "runtime/crc32.h"

static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Bytes shown at once while a CRC is computed: the views of a large file stay small.
static const size_t CrcPiece = 1u << 20;

ChunkWalker::ChunkWalker(ByteSource* source, WalkCrcs crcs) : source_(source), crcs_(crcs) {}

bool ChunkWalker::Stop(WalkEnd end) {
    end_ = end;
    return false;
}

bool ChunkCrc(ByteSource* source, const WalkedChunk& chunk, uint32_t* crc) {
    uint32_t sum = 0;
    uint64_t from = chunk.at + 4, end = chunk.End() - 4;
    while (from < end) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(CrcPiece, end - from));
        const uint8_t* bytes;
        if (!source->Show(from, count, &bytes)) return false;
        sum = Crc32(sum, bytes, count);
        from += count;
    }
    *crc = sum;
    return true;
}

bool ChunkWalker::ReadCrc(const WalkedChunk& chunk, CrcState* crc) {
    if (crcs_ == WalkCrcs::None || (chunk.type == PngType("IDAT") && crcs_ == WalkCrcs::AllButImageData)) {
        *crc = CrcState::Unchecked;
        return true;
    }
    uint32_t computed;
    const uint8_t* stored;
    if (!ChunkCrc(source_, chunk, &computed) || !source_->Show(chunk.End() - 4, 4, &stored)) return false;
    *crc = ReadPngNumber32(stored) == computed ? CrcState::Ok : CrcState::Bad;
    return true;
}

bool ChunkWalker::Next(WalkedChunk* chunk) {
    if (end_ != WalkEnd::Going) return false;
    const uint64_t size = source_->Size();
    const uint8_t* bytes;
    if (!started_) {
        started_ = true;
        if (size < PngSignatureSize) return Stop(WalkEnd::NotPng);
        if (!source_->Show(0, PngSignatureSize, &bytes)) return Stop(WalkEnd::ReadFailed);
        if (memcmp(bytes, signature, sizeof signature) != 0) return Stop(WalkEnd::NotPng);
        at_ = PngSignatureSize;
    }
    if (at_ == size) return Stop(WalkEnd::NoIend);
    if (size - at_ < 12) return Stop(WalkEnd::PastEnd);
    if (!source_->Show(at_, 8, &bytes)) return Stop(WalkEnd::ReadFailed);
    WalkedChunk found;
    found.at = at_;
    found.length = ReadPngNumber32(bytes);
    found.type = ReadPngNumber32(bytes + 4);
    if (found.length > MaxChunkLength) return Stop(WalkEnd::BadLength);
    if (found.length > size - at_ - 12) {
        cut_ = found;
        return Stop(WalkEnd::PastEnd);
    }
    if (at_ == PngSignatureSize && found.type != PngType("IHDR")) return Stop(WalkEnd::HeaderNotFirst);
    if (!ReadCrc(found, &found.crc)) return Stop(WalkEnd::ReadFailed);
    at_ = found.End();
    if (found.type == PngType("IEND")) end_ = WalkEnd::Iend;
    *chunk = found;
    return true;
}
