// clean_copy_test.cpp: copies of images with each kind of data: the other chunks byte for byte, in
// order, no text; damaged files get no copy; a copy read back is checked against what was kept.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "png/clean_copy.h"
#include "tests/png/counting_bytes.h"
#include "tests/png/pixel_png.h"
#include "tests/report/test_png.h"

namespace {

using testpng::Chunk;

CleanResult CleanOf(const std::string& file, const CleanChoices& choices = CleanChoices()) {
    CountingBytes source(file);
    CleanResult result = MakeCleanCopy(&source, choices);
    EXPECT_FALSE(source.outside);
    return result;
}

std::string Copy(const CleanResult& result) { return std::string(result.copy.begin(), result.copy.end()); }

const std::string Signature("\x89PNG\r\n\x1a\n", 8);

// Every chunk an image of each kind may hold that must stay: colour, animation, unknown ones.
struct Kept {
    std::vector<std::string> before = {
        Chunk("gAMA", testpng::BigEndian32(45455)),
        Chunk("cHRM", std::string(32, '\2')),
        Chunk("sRGB", std::string(1, '\0')),
        Chunk("iCCP", std::string("icc\0\0", 5) + testpng::Deflate("profile bytes")),
        Chunk("cICP", std::string("\1\15\0\1", 4)),
        Chunk("mDCV", std::string(24, '\3')),
        Chunk("cLLI", std::string(8, '\4')),
        Chunk("sBIT", std::string(4, '\10')),
        Chunk("pHYs", std::string(9, '\1')),
        Chunk("bKGD", std::string(6, '\0')),
        Chunk("acTL", std::string(8, '\0')),
        Chunk("fcTL", std::string(26, '\0')),
        Chunk("prVt", "private data of some program"),
    };
    std::vector<std::string> after = {Chunk("fdAT", std::string(12, '\5')), Chunk("unKn", "after the image")};
};

TEST(CleanCopy, KeepsEveryOtherChunkByteForByteInOrderAndNoText) {
    Kept kept;
    pixelpng::Layout layout;
    layout.beforeImageData = {Chunk("tEXt", testpng::TextData("parameters", "a fox, Steps: 20")), kept.before[0],
                              Chunk("tIME", std::string("\x07\xe8\1\2\3\4\5", 7)), kept.before[1]};
    layout.beforeImageData.insert(layout.beforeImageData.end(), kept.before.begin() + 2, kept.before.end());
    layout.beforeImageData.push_back(Chunk("caBX", "a signed manifest"));
    layout.beforeImageData.push_back(Chunk("eXIf", pixelpng::ExifData(false, 1, true)));
    layout.afterImageData = {Chunk("zTXt", testpng::ZtxtData("workflow", "{\"nodes\":[]}")), kept.after[0],
                             Chunk("iTXt", testpng::ItxtData("prompt", 0, 0, "en", "Prompt", "a fox")), kept.after[1]};
    layout.trailer = "bytes after the end";
    layout.imageDataPiece = 1000;
    const std::string file = pixelpng::Encode(pixelpng::Noise(40, 30, 4), layout);
    CleanResult result = CleanOf(file);
    ASSERT_EQ(result.end, CleanEnd::Cleaned);

    std::vector<std::string> expected;
    for (const std::string& chunk : pixelpng::ChunksOf(file)) {
        const std::string type = chunk.substr(4, 4);
        if (type != "tEXt" && type != "zTXt" && type != "iTXt" && type != "tIME" && type != "caBX" && type != "eXIf")
            expected.push_back(chunk);
    }
    std::string wanted = Signature;
    for (const std::string& chunk : expected) wanted += chunk;
    EXPECT_TRUE(Copy(result) == wanted) << "no trailer either";
    EXPECT_GT(expected.size(), kept.before.size() + kept.after.size() + 3);
    EXPECT_EQ(result.trailerSize, layout.trailer.size());
    EXPECT_TRUE(MatchesCleanCopy(result.copy.data(), result.copy.size(), result));

    std::vector<std::pair<std::string, ChunkFate>> fates;
    for (const CleanedChunk& chunk : result.chunks) {
        if (chunk.fate != ChunkFate::Kept) fates.emplace_back(chunk.keyword.empty() ? std::to_string(chunk.type) : chunk.keyword, chunk.fate);
    }
    const std::vector<std::pair<std::string, ChunkFate>> wantedFates = {
        {"parameters", ChunkFate::RemovedText},
        {std::to_string(PngType("tIME")), ChunkFate::RemovedTime},
        {std::to_string(PngType("prVt")), ChunkFate::KeptUnknown},
        {std::to_string(PngType("caBX")), ChunkFate::RemovedSignature},
        {std::to_string(PngType("eXIf")), ChunkFate::RemovedExif},
        {"workflow", ChunkFate::RemovedText},
        {"prompt", ChunkFate::RemovedText},
        {std::to_string(PngType("unKn")), ChunkFate::KeptUnknown},
    };
    EXPECT_EQ(fates, wantedFates);
}

TEST(CleanCopy, KeepsTheTextsAskedForAndATurningExifUnlessItIsDropped) {
    pixelpng::Layout layout;
    const std::string parameters = Chunk("tEXt", testpng::TextData("parameters", "a fox"));
    const std::string exif = Chunk("eXIf", pixelpng::ExifData(true, 6, true));
    layout.beforeImageData = {parameters, Chunk("tEXt", testpng::TextData("workflow", "{}")), exif};
    const std::string file = pixelpng::Encode(pixelpng::Noise(8, 8, 3), layout);
    CleanChoices keepParameters;
    keepParameters.keepText = [](const std::string& keyword) { return keyword == "parameters"; };
    CleanResult result = CleanOf(file, keepParameters);
    ASSERT_EQ(result.end, CleanEnd::Cleaned);
    std::vector<std::string> chunks = pixelpng::ChunksOf(Copy(result));
    ASSERT_EQ(chunks.size(), 5u);
    EXPECT_EQ(chunks[1], parameters);
    EXPECT_EQ(chunks[2], exif);
    EXPECT_EQ(result.chunks[2].fate, ChunkFate::RemovedText);
    EXPECT_EQ(result.chunks[3].fate, ChunkFate::KeptOrientation);
    EXPECT_EQ(result.chunks[3].orientation, 6u);
    EXPECT_TRUE(MatchesCleanCopy(result.copy.data(), result.copy.size(), result));

    CleanChoices drop;
    drop.dropTypes = {PngType("eXIf"), PngType("IDAT")};  // a critical chunk is never dropped
    result = CleanOf(file, drop);
    ASSERT_EQ(result.end, CleanEnd::Cleaned);
    chunks = pixelpng::ChunksOf(Copy(result));
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[1].substr(4, 4), "IDAT");
    EXPECT_EQ(result.chunks[3].fate, ChunkFate::RemovedExif);
}

TEST(CleanCopy, AFileThatIsNotWellFormedGetsNoCopy) {
    const std::string good = pixelpng::Encode(pixelpng::Noise(16, 16, 4));
    std::string badImageCrc = good;
    const size_t imageData = good.find("IDAT");
    badImageCrc[imageData + 10] ^= 1;  // the image data's CRC is checked too
    std::string noEnd = good.substr(0, good.size() - 12);
    std::string cut = good.substr(0, good.size() - 20);
    std::string notPng = good;
    notPng[1] = 'Q';
    std::string longLength = good;
    longLength[imageData - 4] = '\x7f';
    const std::string headerNotFirst = Signature + good.substr(imageData - 4);
    struct Case {
        const std::string* file;
        WalkEnd end;
        bool badCrc;
    };
    for (const Case& c : {Case{&badImageCrc, WalkEnd::Iend, true}, Case{&noEnd, WalkEnd::NoIend, false},
                          Case{&cut, WalkEnd::PastEnd, false}, Case{&notPng, WalkEnd::NotPng, false},
                          Case{&longLength, WalkEnd::PastEnd, false}, Case{&headerNotFirst, WalkEnd::HeaderNotFirst, false}}) {
        CleanResult result = CleanOf(*c.file);
        EXPECT_EQ(result.end, CleanEnd::NotWellFormed);
        EXPECT_EQ(result.walkEnd, c.end);
        EXPECT_EQ(result.badCrc, c.badCrc);
        EXPECT_TRUE(result.copy.empty());
    }
    EXPECT_EQ(CleanOf(good).end, CleanEnd::Cleaned);
}

TEST(CleanCopy, ACopyReadBackDifferentOrWithTextIsRefused) {
    pixelpng::Layout layout;
    layout.beforeImageData = {Chunk("tEXt", testpng::TextData("parameters", "a fox"))};
    const std::string file = pixelpng::Encode(pixelpng::Noise(16, 16, 4), layout);
    CleanResult result = CleanOf(file);
    ASSERT_EQ(result.end, CleanEnd::Cleaned);
    std::vector<uint8_t> readBack = result.copy;
    EXPECT_TRUE(MatchesCleanCopy(readBack.data(), readBack.size(), result));
    readBack[readBack.size() - 20] ^= 1;
    EXPECT_FALSE(MatchesCleanCopy(readBack.data(), readBack.size(), result));
    readBack.pop_back();
    EXPECT_FALSE(MatchesCleanCopy(readBack.data(), readBack.size(), result));
    // The original itself is no clean copy of it.
    EXPECT_FALSE(MatchesCleanCopy(reinterpret_cast<const uint8_t*>(file.data()), file.size(), result));
}

TEST(CleanCopy, HiddenTextInThePixelsIsFoundAndStaysInTheCopy) {
    pixelpng::Pixels pixels = pixelpng::Noise(64, 160, 4);
    pixelpng::HideText(&pixels, pixelpng::Mode::Alpha, false, "a hidden prompt");
    const std::string file = pixelpng::Encode(pixels);
    CleanResult result = CleanOf(file);
    ASSERT_EQ(result.end, CleanEnd::Cleaned);
    EXPECT_EQ(result.stealth.state, StealthState::Found);
    EXPECT_EQ(Copy(result), file);  // nothing else to remove: the copy is the file
    EXPECT_EQ(CleanOf(pixelpng::Encode(pixelpng::Noise(64, 160, 4))).stealth.state, StealthState::Absent);
}

TEST(CleanCopy, AReadThatFailsGivesNoCopy) {
    const std::string file = pixelpng::Encode(pixelpng::Noise(16, 16, 4));
    CountingBytes source(file);
    source.failFrom = 40;
    CleanResult result = MakeCleanCopy(&source, CleanChoices());
    EXPECT_EQ(result.end, CleanEnd::ReadFailed);
    EXPECT_TRUE(result.copy.empty());
}

}  // namespace
