// chunk_walk_test.cpp: the chunk walk over PNGs built in memory and over damaged ones.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "png/chunk_walk.h"
#include "tests/png/counting_bytes.h"
#include "tests/report/test_png.h"

namespace {

using testpng::Chunk;
using testpng::TextData;

struct Walked {
    std::vector<WalkedChunk> chunks;
    WalkEnd end;
    uint64_t stoppedAt;
    uint64_t trailer;
    bool outside;
};

Walked Walk(const std::string& file, WalkCrcs crcs = WalkCrcs::All) {
    CountingBytes source(file);
    ChunkWalker walker(&source, crcs);
    Walked walked;
    WalkedChunk chunk;
    while (walker.Next(&chunk)) walked.chunks.push_back(chunk);
    walked.end = walker.End();
    walked.stoppedAt = walker.StoppedAt();
    walked.trailer = walker.TrailerSize();
    walked.outside = source.outside;
    EXPECT_FALSE(walker.Next(&chunk));  // an ended walk stays ended
    return walked;
}

TEST(ChunkWalk, GivesEveryChunkInOrderWithItsCrc) {
    std::string file = testpng::Png({Chunk("tEXt", TextData("Title", "A fox"))});
    Walked walked = Walk(file);
    ASSERT_EQ(walked.chunks.size(), 4u);
    EXPECT_EQ(walked.chunks[0].type, PngType("IHDR"));
    EXPECT_EQ(walked.chunks[0].at, 8u);
    EXPECT_EQ(walked.chunks[0].length, 13u);
    EXPECT_EQ(walked.chunks[1].type, PngType("tEXt"));
    EXPECT_EQ(walked.chunks[1].at, 33u);
    EXPECT_EQ(walked.chunks[2].type, PngType("IDAT"));
    EXPECT_EQ(walked.chunks[3].type, PngType("IEND"));
    for (const WalkedChunk& chunk : walked.chunks) EXPECT_EQ(chunk.crc, CrcState::Ok);
    EXPECT_EQ(walked.end, WalkEnd::Iend);
    EXPECT_EQ(walked.trailer, 0u);
    EXPECT_EQ(walked.stoppedAt, file.size());
}

TEST(ChunkWalk, TellsABadCrcAndLeavesImageDataUncheckedWhenAsked) {
    std::string file = testpng::Png({Chunk("tEXt", TextData("Title", "A fox"))});
    file[33 + 8] ^= 1;  // the keyword's first byte
    size_t imageData = file.find("IDAT") + 4;
    file[imageData] ^= 1;
    Walked walked = Walk(file, WalkCrcs::AllButImageData);
    ASSERT_EQ(walked.chunks.size(), 4u);
    EXPECT_EQ(walked.chunks[1].crc, CrcState::Bad);
    EXPECT_EQ(walked.chunks[2].crc, CrcState::Unchecked);
    EXPECT_EQ(Walk(file, WalkCrcs::All).chunks[2].crc, CrcState::Bad);
    for (const WalkedChunk& chunk : Walk(file, WalkCrcs::None).chunks) EXPECT_EQ(chunk.crc, CrcState::Unchecked);
}

TEST(ChunkWalk, MeasuresTheBytesAfterIend) {
    std::string file = testpng::Png({}) + "{\"prompt\": \"a fox\"}";
    Walked walked = Walk(file);
    EXPECT_EQ(walked.end, WalkEnd::Iend);
    EXPECT_EQ(walked.trailer, 19u);
    EXPECT_EQ(walked.stoppedAt, file.size() - 19);
}

struct Damage {
    const char* name;
    std::string file;
    WalkEnd end;
    size_t chunks;
};

TEST(ChunkWalk, StopsAtEveryKindOfDamageWithoutReadingOutside) {
    const std::string good = testpng::Png({Chunk("tEXt", TextData("Title", "A fox"))});
    const std::string signature = good.substr(0, 8);
    std::string wrongSignature = good;
    wrongSignature[1] = 'Q';
    std::string longLength = good;
    longLength[33] = '\x80';  // the tEXt length: above 2^31 - 1
    std::string pastEnd = good;
    pastEnd[34] = '\x7F';
    const Damage damages[] = {
        {"empty", std::string(), WalkEnd::NotPng, 0},
        {"signature only", signature, WalkEnd::NoIend, 0},
        {"short signature", signature.substr(0, 5), WalkEnd::NotPng, 0},
        {"wrong signature", wrongSignature, WalkEnd::NotPng, 0},
        {"header not first", signature + Chunk("tEXt", TextData("a", "b")) + good.substr(8), WalkEnd::HeaderNotFirst, 0},
        {"length above 2^31 - 1", longLength, WalkEnd::BadLength, 1},
        {"data past the end", pastEnd, WalkEnd::PastEnd, 1},
        {"cut inside a chunk", good.substr(0, good.size() - 5), WalkEnd::PastEnd, 3},
        {"cut inside a length", good.substr(0, good.size() - 12 + 2), WalkEnd::PastEnd, 3},
        {"no IEND", good.substr(0, good.size() - 12), WalkEnd::NoIend, 3},
    };
    for (const Damage& damage : damages) {
        Walked walked = Walk(damage.file);
        EXPECT_EQ(walked.end, damage.end) << damage.name;
        EXPECT_EQ(walked.chunks.size(), damage.chunks) << damage.name;
        EXPECT_FALSE(walked.outside) << damage.name;
    }
}

TEST(ChunkWalk, EndsWithReadFailedWhenTheSourceFails) {
    std::string file = testpng::Png({Chunk("tEXt", TextData("Title", "A fox"))});
    CountingBytes source(file);
    source.failFrom = 40;
    ChunkWalker walker(&source, WalkCrcs::All);
    WalkedChunk chunk;
    EXPECT_TRUE(walker.Next(&chunk));
    EXPECT_FALSE(walker.Next(&chunk));
    EXPECT_EQ(walker.End(), WalkEnd::ReadFailed);
}

TEST(ChunkWalk, ReadsOnlyChunkHeadersOfImageDataWhoseCrcIsLeftOut) {
    std::string data(3u << 20, 'x');
    std::string file = std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", std::string(13, '\1')) + Chunk("IDAT", data) +
                       Chunk("IEND", std::string());
    CountingBytes source(file);
    ChunkWalker walker(&source, WalkCrcs::AllButImageData);
    WalkedChunk chunk;
    while (walker.Next(&chunk)) {
    }
    EXPECT_EQ(walker.End(), WalkEnd::Iend);
    EXPECT_LT(source.shown, 1000u);
}

TEST(ChunkWalk, TellsAncillaryChunksByTheirFirstLetter) {
    EXPECT_TRUE(IsAncillary(PngType("tEXt")));
    EXPECT_TRUE(IsAncillary(PngType("caBX")));
    EXPECT_FALSE(IsAncillary(PngType("IDAT")));
    EXPECT_FALSE(IsAncillary(PngType("CgBI")));
}

}  // namespace
