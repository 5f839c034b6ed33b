// clean_copy_test.cpp: copies of images with each kind of data: the other chunks byte for byte, in
// order, no text; damaged files get no copy; a copy read back is checked against what was kept.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "png/clean_copy.h"
#include "png/image_rows.h"
#include "png/stealth_clear.h"
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
    // A removed chunk's CRC counts as a kept one's; a wrong CRC is said before a cut end after it.
    pixelpng::Layout withText;
    withText.beforeImageData = {Chunk("tEXt", testpng::TextData("parameters", "a fox"))};
    std::string badTextCrc = pixelpng::Encode(pixelpng::Noise(16, 16, 4), withText);
    badTextCrc[badTextCrc.find("parameters")] ^= 1;
    const std::string badCrcThenCut = badTextCrc.substr(0, badTextCrc.size() - 20);
    struct Case {
        const std::string* file;
        WalkEnd end;
        uint32_t badCrcType;  // 0: no CRC is wrong
    };
    for (const Case& c : {Case{&badImageCrc, WalkEnd::Iend, PngType("IDAT")}, Case{&badTextCrc, WalkEnd::Iend, PngType("tEXt")},
                          Case{&badCrcThenCut, WalkEnd::PastEnd, PngType("tEXt")}, Case{&noEnd, WalkEnd::NoIend, 0},
                          Case{&cut, WalkEnd::PastEnd, 0}, Case{&notPng, WalkEnd::NotPng, 0},
                          Case{&longLength, WalkEnd::PastEnd, 0}, Case{&headerNotFirst, WalkEnd::HeaderNotFirst, 0}}) {
        for (bool clearStealth : {false, true}) {
            CleanChoices choices;
            choices.clearStealth = clearStealth;
            CleanResult result = CleanOf(*c.file, choices);
            EXPECT_EQ(result.end, CleanEnd::NotWellFormed);
            EXPECT_EQ(result.walkEnd, c.end);
            EXPECT_EQ(result.badCrc, c.badCrcType != 0);
            if (c.badCrcType) {
                EXPECT_EQ(result.badCrcChunk.type, c.badCrcType);
            }
            EXPECT_TRUE(result.copy.empty());
        }
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
    // Read back in pieces: each is held against the copy where it stands, and none reaches past it.
    const std::vector<uint8_t>& copy = result.copy;
    EXPECT_TRUE(MatchesCleanCopyPiece(copy.data() + 8, 20, 8, result) && CleanCopyWellMade(result));
    EXPECT_FALSE(MatchesCleanCopyPiece(copy.data() + 8, 20, 9, result));
    EXPECT_FALSE(MatchesCleanCopyPiece(copy.data(), copy.size(), 1, result));
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

// The pixels a file decodes to, row after row.
std::vector<uint8_t> PixelsOf(const std::string& file) {
    pixelpng::FoundImage image = pixelpng::FindImage(file);
    EXPECT_TRUE(image.found);
    CountingBytes source(file);
    ImageRows rows(&source, image.header, image.firstImageData);
    std::vector<uint8_t> all;
    const uint8_t* row;
    while (rows.Next(&row)) all.insert(all.end(), row, row + image.header.RowBytes());
    EXPECT_EQ(rows.State(), RowsState::Ended);
    return all;
}

// The byte offsets in the pixels of the low bits that carry text of this size, as the tests write them
// (both bytes of a 16-bit sample).
std::vector<size_t> CarryingBytes(const pixelpng::Pixels& pixels, pixelpng::Mode mode, size_t storedBytes) {
    const unsigned perPixel = mode == pixelpng::Mode::Alpha ? 1 : 3, sampleBytes = pixels.bitDepth / 8;
    std::vector<size_t> at;
    for (size_t index = 0; index < (15 + 4 + storedBytes) * 8; index++) {
        size_t pixel = index / perPixel;
        size_t x = pixel / pixels.height, y = pixel % pixels.height;
        size_t sample = (y * pixels.width + x) * pixels.channels + (mode == pixelpng::Mode::Alpha ? pixels.channels - 1 : index % perPixel);
        for (unsigned i = 0; i < sampleBytes; i++) at.push_back(sample * sampleBytes + i);
    }
    return at;
}

CleanChoices ClearStealthChoices() {
    CleanChoices choices;
    choices.clearStealth = true;
    return choices;
}

TEST(CleanCopy, ClearingHiddenTextChangesOnlyTheBitsThatCarryIt) {
    struct Hidden {
        unsigned channels;
        pixelpng::Mode mode;
        bool compressed;
        bool widened;     // made 16-bit after the text was hidden
        bool interlaced;  // then saved interlaced
    };
    const std::string text = "a red fox in the snow\nNegative prompt: blurry\nSteps: 28, Sampler: Euler a, Seed: 1234";
    const Hidden cases[] = {{4, pixelpng::Mode::Alpha, false, false, false}, {4, pixelpng::Mode::Alpha, true, false, false},
                            {3, pixelpng::Mode::Rgb, false, false, false},   {3, pixelpng::Mode::Rgb, true, false, false},
                            {4, pixelpng::Mode::Rgb, false, false, false},   {4, pixelpng::Mode::Rgb, true, false, false},
                            {2, pixelpng::Mode::Alpha, true, false, false},  {2, pixelpng::Mode::Alpha, false, true, false},
                            {4, pixelpng::Mode::Alpha, false, true, false},  {3, pixelpng::Mode::Rgb, true, true, false},
                            {4, pixelpng::Mode::Alpha, true, false, true}, {2, pixelpng::Mode::Alpha, false, true, true}};
    for (const Hidden& hidden : cases) {
        SCOPED_TRACE(testing::Message() << hidden.channels << " channels, mode " << int(hidden.mode) << ", compressed " << hidden.compressed
                                        << ", widened " << hidden.widened << ", interlaced " << hidden.interlaced);
        pixelpng::Pixels original = pixelpng::Noise(64, 200, hidden.channels, 3);
        pixelpng::Pixels pixels = original;
        pixelpng::HideText(&pixels, hidden.mode, hidden.compressed, text);
        if (hidden.widened) {
            original = pixelpng::Widened(original);
            pixels = pixelpng::Widened(pixels);
        }
        pixelpng::Layout layout;
        layout.beforeImageData = {Chunk("gAMA", testpng::BigEndian32(45455)), Chunk("tEXt", testpng::TextData("parameters", "a fox")),
                                  Chunk("pHYs", std::string(9, '\1'))};
        layout.afterImageData = {Chunk("prVt", "after the image")};
        layout.imageDataPiece = 5000;
        layout.trailer = "after the end";
        layout.interlaced = hidden.interlaced;
        const std::string file = pixelpng::Encode(pixels, layout);
        CleanResult result = CleanOf(file, ClearStealthChoices());
        ASSERT_EQ(result.end, CleanEnd::Cleaned);
        ASSERT_EQ(result.clearing.end, ClearEnd::Cleared);
        const StealthMode mode = hidden.mode == pixelpng::Mode::Alpha ? StealthMode::Alpha : StealthMode::Rgb;
        EXPECT_EQ(result.clearing.modes, std::vector<StealthMode>{mode});
        const size_t stored = (hidden.compressed ? pixelpng::Gzip(text) : text).size();
        EXPECT_EQ(result.clearing.bits, (15 + 4 + stored) * 8);

        // Every chunk but the image data byte for byte, in order; one run of new IDAT chunks where the old stood.
        const std::string copy = Copy(result);
        std::vector<std::string> wanted, got;
        for (const std::string& chunk : pixelpng::ChunksOf(file)) {
            const std::string type = chunk.substr(4, 4);
            if (type == "IDAT") {
                if (wanted.back() != "IDAT") wanted.push_back("IDAT");
            } else if (type != "tEXt") {
                wanted.push_back(chunk);
            }
        }
        for (const std::string& chunk : pixelpng::ChunksOf(copy)) {
            if (chunk.substr(4, 4) != "IDAT") got.push_back(chunk);
            else if (got.back() != "IDAT") got.push_back("IDAT");
        }
        EXPECT_TRUE(got == wanted);
        EXPECT_EQ(copy.substr(0, 8), Signature);
        for (const CleanedChunk& chunk : result.chunks) {
            if (chunk.type == PngType("IDAT")) {
                EXPECT_EQ(chunk.fate, ChunkFate::Reencoded);
            }
        }

        // The pixels: those carrying bits set (alpha 1, RGB 0), every other bit as it was.
        std::vector<uint8_t> expected = pixels.bytes;
        for (size_t at : CarryingBytes(pixels, hidden.mode, stored))
            expected[at] = hidden.mode == pixelpng::Mode::Alpha ? expected[at] | 1 : expected[at] & 0xFE;
        const std::vector<uint8_t> cleared = PixelsOf(copy);
        EXPECT_TRUE(cleared == expected);
        if (hidden.mode == pixelpng::Mode::Alpha) {
            EXPECT_TRUE(cleared == original.bytes) << "opaque again: the pixels the writer found";
        }
        size_t changed = 0;
        for (size_t i = 0; i < cleared.size(); i++) changed += cleared[i] != pixels.bytes[i];
        EXPECT_GT(changed, 0u);
        EXPECT_LE(changed, result.clearing.bits * (pixels.bitDepth / 8));

        pixelpng::FoundImage image = pixelpng::FindImage(copy);
        CountingBytes copySource(copy);
        EXPECT_EQ(ReadStealth(&copySource, image.header, &image.firstImageData).state, StealthState::Absent);
        EXPECT_TRUE(MatchesCleanCopy(result.copy.data(), result.copy.size(), result));
        // The check of the pixels read back: other digests, or the pixels with the text, do not pass.
        std::vector<uint32_t> other = result.clearing.digests;
        other.back() ^= 1;
        EXPECT_FALSE(MatchesClearedPixels(&copySource, image.header, image.firstImageData, other));
        EXPECT_TRUE(MatchesClearedPixels(&copySource, image.header, image.firstImageData, result.clearing.digests));
        pixelpng::FoundImage withText = pixelpng::FindImage(file);
        CountingBytes fileSource(file);
        EXPECT_FALSE(MatchesClearedPixels(&fileSource, withText.header, withText.firstImageData, result.clearing.digests));
    }
}

TEST(CleanCopy, ClearingTextHiddenInBothModesClearsBoth) {
    pixelpng::Pixels pixels = pixelpng::Noise(40, 200, 4, 5);
    pixelpng::HideText(&pixels, pixelpng::Mode::Rgb, true, "in the colours");
    pixelpng::HideText(&pixels, pixelpng::Mode::Alpha, false, "in the alpha");
    CleanResult result = CleanOf(pixelpng::Encode(pixels), ClearStealthChoices());
    ASSERT_EQ(result.end, CleanEnd::Cleaned);
    EXPECT_EQ(result.clearing.modes, (std::vector<StealthMode>{StealthMode::Alpha, StealthMode::Rgb}));
    std::vector<uint8_t> expected = pixels.bytes;
    for (size_t at : CarryingBytes(pixels, pixelpng::Mode::Alpha, 12)) expected[at] |= 1;
    for (size_t at : CarryingBytes(pixels, pixelpng::Mode::Rgb, pixelpng::Gzip("in the colours").size())) expected[at] &= 0xFE;
    EXPECT_TRUE(PixelsOf(Copy(result)) == expected);
    EXPECT_TRUE(MatchesCleanCopy(result.copy.data(), result.copy.size(), result));
}

TEST(CleanCopy, ClearingAPaletteImageSetsTheBitsOfItsColoursAndKeepsItsImageData) {
    struct Hidden {
        std::vector<pixelpng::Mode> modes;
        unsigned depth;
        bool interlaced;
    };
    const Hidden cases[] = {{{pixelpng::Mode::Alpha}, 8, false},
                            {{pixelpng::Mode::Rgb}, 8, true},
                            {{pixelpng::Mode::Alpha}, 2, true},
                            {{pixelpng::Mode::Rgb, pixelpng::Mode::Alpha}, 8, false}};
    for (const Hidden& hidden : cases) {
        SCOPED_TRACE(testing::Message() << hidden.modes.size() << " modes, depth " << hidden.depth << ", interlaced " << hidden.interlaced);
        pixelpng::Pixels pixels = pixelpng::FewColours(48, 160, hidden.depth == 8 ? 16 : 2, 7);
        for (pixelpng::Mode mode : hidden.modes) pixelpng::HideText(&pixels, mode, mode == pixelpng::Mode::Rgb, "steps 20, seed 1234");
        pixelpng::Layout layout;
        layout.paletteDepth = hidden.depth;
        layout.interlaced = hidden.interlaced;
        layout.beforeImageData = {Chunk("tEXt", testpng::TextData("parameters", "a fox"))};
        layout.imageDataPiece = 300;
        const std::string file = pixelpng::Encode(pixels, layout);
        CleanResult result = CleanOf(file, ClearStealthChoices());
        ASSERT_EQ(result.end, CleanEnd::Cleaned);
        ASSERT_EQ(result.clearing.end, ClearEnd::Cleared);
        EXPECT_TRUE(result.clearing.recoloured);
        EXPECT_EQ(result.clearing.modes.size(), hidden.modes.size());
        EXPECT_GT(result.clearing.entries, 0u);

        // Every chunk but the text byte for byte, the image data too; PLTE and tRNS only in the low bits.
        const std::vector<std::string> before = pixelpng::ChunksOf(file), after = pixelpng::ChunksOf(Copy(result));
        ASSERT_EQ(after.size() + 1, before.size());
        size_t changed = 0;
        for (size_t i = 0, j = 0; i < before.size(); i++) {
            if (before[i].compare(4, 4, "tEXt") == 0) continue;
            const std::string& was = before[i];
            const std::string& is = after[j++];
            const std::string type = was.substr(4, 4);
            if (type != "PLTE" && type != "tRNS") {
                EXPECT_TRUE(was == is) << type;
                continue;
            }
            ASSERT_EQ(was.size(), is.size());
            for (size_t at = 8; at + 4 < was.size(); at++) {
                const uint8_t from = static_cast<uint8_t>(was[at]), to = static_cast<uint8_t>(is[at]);
                EXPECT_EQ(from | 1, to | 1) << type << " byte " << at;
                if (from != to) {
                    EXPECT_EQ(to & 1, type == "tRNS" ? 1 : 0) << "alpha set to 1, RGB to 0";
                }
                changed += from != to;
            }
        }
        EXPECT_GT(changed, 0u);
        const std::string copy = Copy(result);
        pixelpng::FoundImage image = pixelpng::FindImage(copy);
        CountingBytes copySource(copy);
        EXPECT_EQ(ReadStealth(&copySource, image.header, &image.firstImageData, &image.palette).state, StealthState::Absent);
        EXPECT_TRUE(MatchesCleanCopy(result.copy.data(), result.copy.size(), result));
        // The check of the copy: with the original's colours put back, the text is read again and it fails.
        CleanResult unchanged = result;
        for (const std::string& chunk : before) {
            if (chunk.compare(4, 4, "PLTE") != 0 && chunk.compare(4, 4, "tRNS") != 0) continue;
            std::copy(chunk.begin(), chunk.end(), unchanged.copy.begin() + static_cast<std::ptrdiff_t>(copy.find(chunk.substr(4, 4)) - 4));
        }
        EXPECT_FALSE(CleanCopyWellMade(unchanged));
    }
}

TEST(CleanCopy, ClearingAnInterlacedImageTooLargeToHoldWholeGoesPassRowByPassRow) {
    const std::string file = pixelpng::HugeInterlacedWithText("Steps: 20, Seed: 1234");
    CleanResult result = CleanOf(file, ClearStealthChoices());
    ASSERT_EQ(result.end, CleanEnd::Cleaned);
    EXPECT_EQ(result.clearing.end, ClearEnd::Cleared);
    EXPECT_EQ(result.clearing.bits, (15 + 4 + 21) * 8u);
    EXPECT_TRUE(MatchesCleanCopy(result.copy.data(), result.copy.size(), result));
    const std::string copy = Copy(result);
    pixelpng::FoundImage image = pixelpng::FindImage(copy);
    EXPECT_EQ(image.header.interlace, 1);
    CountingBytes copySource(copy);
    EXPECT_EQ(ReadStealth(&copySource, image.header, &image.firstImageData).state, StealthState::Absent);
}

TEST(CleanCopy, ClearingLeavesAnImageWithoutHiddenTextByteForByte) {
    pixelpng::Layout layout;
    layout.beforeImageData = {Chunk("tEXt", testpng::TextData("parameters", "a fox"))};
    layout.imageDataPiece = 700;
    for (unsigned channels : {3u, 4u}) {
        const std::string file = pixelpng::Encode(pixelpng::Noise(64, 160, channels), layout);
        CleanResult plain = CleanOf(file), cleared = CleanOf(file, ClearStealthChoices());
        ASSERT_EQ(cleared.end, CleanEnd::Cleaned);
        EXPECT_EQ(cleared.clearing.end, ClearEnd::NotFound);
        EXPECT_TRUE(Copy(plain) == Copy(cleared));
        EXPECT_TRUE(MatchesCleanCopy(cleared.copy.data(), cleared.copy.size(), cleared));
    }
}

TEST(CleanCopy, HiddenTextWhoseImageDataEndsEarlyCannotBeClearedAndGetsNoCopy) {
    pixelpng::Pixels pixels = pixelpng::Noise(64, 200, 4);
    pixelpng::HideText(&pixels, pixelpng::Mode::Alpha, false, std::string(100, 'x'));
    // The stream cut after the rows that hold the signature and the length (column 0, rows 0..151).
    const std::string stream = testpng::Deflate(pixelpng::FilterRows(pixels.bytes, 64 * 4, 4, {0}));
    const std::string full = pixelpng::Encode(pixels);
    const size_t imageData = full.find("IDAT") - 4;
    const std::string file = full.substr(0, imageData) + Chunk("IDAT", stream.substr(0, stream.size() * 9 / 10)) +
                             Chunk("IEND", std::string());
    CleanResult result = CleanOf(file, ClearStealthChoices());
    EXPECT_EQ(result.stealth.state, StealthState::FoundDamaged);
    EXPECT_EQ(result.end, CleanEnd::NotCleared);
    EXPECT_EQ(result.clearing.end, ClearEnd::ImageData);
    EXPECT_EQ(result.clearing.rows, RowsState::Truncated);
    EXPECT_TRUE(result.copy.empty());
    EXPECT_EQ(CleanOf(file).end, CleanEnd::Cleaned) << "without the option the copy is made, the text said";
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
