// stealth_reader_test.cpp: text hidden in the low bits, written as the generators write it, read back.
#include <gtest/gtest.h>
#include <string>
#include "png/chunk_walk.h"
#include "png/stealth_reader.h"
#include "tests/png/counting_bytes.h"
#include "tests/png/pixel_png.h"
#include "tests/report/test_png.h"

namespace {

using pixelpng::Mode;

// The reader alone counts on a counting source given: the walk to the image data has a source of its own.
StealthFinding Read(const std::string& file, CountingBytes* counting = nullptr) {
    CountingBytes own(file);
    CountingBytes* source = counting ? counting : &own;
    pixelpng::FoundImage image = pixelpng::FindImage(file);
    StealthFinding finding = ReadStealth(source, image.header, image.found ? &image.firstImageData : nullptr, &image.palette);
    EXPECT_FALSE(source->outside);
    return finding;
}

const std::string parameters =
    "a red fox in the snow\nNegative prompt: blurry\nSteps: 28, Sampler: Euler a, CFG scale: 7, Seed: 1234";

struct Hidden {
    unsigned channels;
    Mode mode;
    bool compressed;
    bool widened;     // made 16-bit after the text was hidden
    bool interlaced;  // then saved interlaced
    unsigned paletteDepth;  // not 0: saved as a palette image of indexes this many bits each
};

TEST(StealthReader, ReadsEachModeRawAndCompressed) {
    const Hidden cases[] = {{4, Mode::Alpha, false, false, false, 0},   {4, Mode::Alpha, true, false, false, 0}, {3, Mode::Rgb, false, false, false, 0},
                            {3, Mode::Rgb, true, false, false, 0},      {4, Mode::Rgb, false, false, false, 0},  {4, Mode::Rgb, true, false, false, 0},
                            {2, Mode::Alpha, false, false, false, 0},   {2, Mode::Alpha, true, true, false, 0},  {4, Mode::Alpha, true, true, false, 0},
                            {4, Mode::Rgb, false, true, false, 0},      {3, Mode::Rgb, true, true, false, 0},    {4, Mode::Alpha, true, false, true, 0},
                            {3, Mode::Rgb, false, true, true, 0},       {4, Mode::Alpha, false, false, false, 8},
                            {4, Mode::Rgb, true, false, true, 8},       {4, Mode::Alpha, true, false, true, 2},
                            {4, Mode::Alpha, false, false, false, 1},   {4, Mode::Rgb, false, false, true, 4}};
    for (const Hidden& hidden : cases) {
        // A palette image's colours: as many as hiding the text can double (alpha) or make eight of (RGB).
        const unsigned colours = hidden.mode == Mode::Alpha ? (1u << hidden.paletteDepth) / 2 : (1u << hidden.paletteDepth) / 8;
        pixelpng::Pixels pixels = hidden.paletteDepth ? pixelpng::FewColours(64, 200, colours) : pixelpng::Noise(64, 200, hidden.channels);
        pixelpng::HideText(&pixels, hidden.mode, hidden.compressed, parameters);
        pixelpng::Layout layout;
        layout.interlaced = hidden.interlaced;
        layout.paletteDepth = hidden.paletteDepth;
        StealthFinding finding = Read(pixelpng::Encode(hidden.widened ? pixelpng::Widened(pixels) : pixels, layout));
        SCOPED_TRACE(testing::Message() << hidden.channels << " channels, mode " << int(hidden.mode) << ", compressed "
                                        << hidden.compressed << ", widened " << hidden.widened << ", interlaced " << hidden.interlaced
                                        << ", palette depth " << hidden.paletteDepth);
        EXPECT_EQ(finding.state, StealthState::Found);
        EXPECT_EQ(finding.mode, hidden.mode == Mode::Alpha ? StealthMode::Alpha : StealthMode::Rgb);
        EXPECT_EQ(finding.compressed, hidden.compressed);
        EXPECT_EQ(finding.text, parameters);
        EXPECT_EQ(finding.inflate, InflateOutcome::Complete);
        std::string stored = hidden.compressed ? pixelpng::Gzip(parameters) : parameters;
        EXPECT_EQ(finding.storedBytes, stored.size());
        EXPECT_EQ(finding.lengthBits, stored.size() * 8);
    }
}

TEST(StealthReader, ReadsTheCompressedJsonOfAGeneratorWhoseCommentIsJson) {
    const std::string comment = "{\"prompt\": \"a red fox\", \"steps\": 28, \"seed\": 1234}";
    std::string json = "{\"Title\": \"AI generated image\", \"Description\": \"a red fox\", \"Software\": \"a generator\", "
                       "\"Comment\": \"" + std::string("{\\\"prompt\\\": \\\"a red fox\\\", \\\"steps\\\": 28}") + "\"}";
    pixelpng::Pixels pixels = pixelpng::Noise(832, 1216, 4);
    pixelpng::HideText(&pixels, Mode::Alpha, true, json);
    StealthFinding finding = Read(pixelpng::Encode(pixels));
    EXPECT_EQ(finding.state, StealthState::Found);
    EXPECT_TRUE(finding.compressed);
    EXPECT_EQ(finding.text, json);
}

TEST(StealthReader, ReadsATextThatRunsOverManyColumnsAndAShortImage) {
    std::string longText(5000, 'x');
    for (size_t i = 0; i < longText.size(); i++) longText[i] = static_cast<char>('a' + i % 26);
    pixelpng::Pixels tall = pixelpng::Noise(300, 150, 4);
    pixelpng::HideText(&tall, Mode::Alpha, false, longText);
    EXPECT_EQ(Read(pixelpng::Encode(tall)).text, longText);
    // 40 rows: the signature itself spans three columns.
    pixelpng::Pixels short_ = pixelpng::Noise(64, 40, 3);
    pixelpng::HideText(&short_, Mode::Rgb, false, "steps 20");
    StealthFinding finding = Read(pixelpng::Encode(short_));
    EXPECT_EQ(finding.state, StealthState::Found);
    EXPECT_EQ(finding.text, "steps 20");
}

TEST(StealthReader, ReadsAnInterlacedImageTooLargeToHoldWholeInTheColumnsTheTextNeeds) {
    // The text runs over the first 112 columns of the two rows.
    const std::string file = pixelpng::HugeInterlacedWithText("Steps: 20");
    pixelpng::FoundImage image = pixelpng::FindImage(file);
    CountingBytes source(file);
    EXPECT_EQ(ImageRows(&source, image.header, image.firstImageData).State(), RowsState::TooLarge) << "too large to hold whole";
    StealthFinding finding = Read(file);
    EXPECT_EQ(finding.state, StealthState::Found);
    EXPECT_EQ(finding.text, "Steps: 20");
}

TEST(StealthReader, FindsNothingInAPlainImageAfterItsFirstRows) {
    for (unsigned channels : {2u, 3u, 4u}) {
        pixelpng::Pixels pixels = pixelpng::Noise(1024, 1024, channels);
        pixelpng::Layout layout;
        layout.imageDataPiece = 8192;
        std::string file = pixelpng::Encode(pixels, layout);
        CountingBytes source(file);
        StealthFinding finding = Read(file, &source);
        EXPECT_EQ(finding.state, StealthState::Absent);
        // Image data is about 3-4 MB; telling it has no signature needs a few rows of it.
        EXPECT_LT(source.highest, 200000u) << channels;
    }
}

TEST(StealthReader, ReadsOnlyTheTopRowsForATextInColumnZero) {
    pixelpng::Pixels pixels = pixelpng::Noise(1024, 1024, 4);
    pixelpng::HideText(&pixels, Mode::Alpha, false, "Steps: 20");
    pixelpng::Layout layout;
    layout.imageDataPiece = 8192;
    std::string file = pixelpng::Encode(pixels, layout);
    CountingBytes source(file);
    StealthFinding finding = Read(file, &source);
    EXPECT_EQ(finding.text, "Steps: 20");
    // 152 + 72 bits: 224 rows of the 1024.
    EXPECT_LT(source.highest, file.size() / 3);
}

TEST(StealthReader, KeepsTheFindingWhenTheLengthOrTheTextIsWrong) {
    pixelpng::Pixels pixels = pixelpng::Noise(32, 160, 4);
    pixelpng::HideText(&pixels, Mode::Alpha, false, "abc", 0xFFFFFFF0u);
    StealthFinding tooLong = Read(pixelpng::Encode(pixels));
    EXPECT_EQ(tooLong.state, StealthState::FoundDamaged);
    EXPECT_EQ(tooLong.lengthBits, 0xFFFFFFF0u);
    EXPECT_EQ(tooLong.storedBytes, (32u * 160 - 152) / 8);
    EXPECT_EQ(tooLong.text.substr(0, 3), "abc");

    pixelpng::Pixels notGzip = pixelpng::Noise(32, 160, 4);
    pixelpng::HideText(&notGzip, Mode::Alpha, false, "this is not gzip");
    // Write the compressed signature over the plain one: the text stays as it was.
    pixelpng::Pixels marked = notGzip;
    pixelpng::HideText(&marked, Mode::Alpha, true, "");
    for (uint32_t y = 0; y < 120; y++) notGzip.At(0, y)[3] = marked.At(0, y)[3];
    StealthFinding damaged = Read(pixelpng::Encode(notGzip));
    EXPECT_EQ(damaged.state, StealthState::Found);
    EXPECT_TRUE(damaged.compressed);
    EXPECT_EQ(damaged.inflate, InflateOutcome::Damaged);
}

TEST(StealthReader, SaysWhyAnImageWasNotChecked) {
    std::string grey = testpng::Png({});  // 8-bit grey
    StealthFinding finding = Read(grey);
    EXPECT_EQ(finding.state, StealthState::NotChecked);
    EXPECT_EQ(finding.reason, StealthNotChecked::ImageType);
    // A palette image is read through its palette: without one, not at all.
    pixelpng::Pixels few = pixelpng::FewColours(16, 160, 4);
    pixelpng::Layout paletted;
    paletted.paletteDepth = 4;
    const std::string palette = pixelpng::Encode(few, paletted);
    EXPECT_EQ(Read(palette).state, StealthState::Absent);
    pixelpng::FoundImage image = pixelpng::FindImage(palette);
    CountingBytes paletteSource(palette);
    EXPECT_EQ(ReadStealth(&paletteSource, image.header, &image.firstImageData).reason, StealthNotChecked::ImageType);

    // An interlaced image is read whole, and of it the columns the signature needs are kept: not
    // when they are too large to hold.
    ImageHeader header = pixelpng::HeaderOf(1, 0x7FFFFFFF, 16, 6, 1);
    std::string nothing(16, '\0');
    CountingBytes source(nothing);
    WalkedChunk chunk;
    StealthFinding large = ReadStealth(&source, header, &chunk);
    EXPECT_EQ(large.reason, StealthNotChecked::ImageData);
    EXPECT_EQ(large.rows, RowsState::TooLarge);
    header.interlace = 0;
    EXPECT_EQ(ReadStealth(&source, header, nullptr).reason, StealthNotChecked::NoImageData);

    // Image data that ends inside the signature: not checked, with the rows' reason.
    pixelpng::Pixels pixels = pixelpng::Noise(16, 200, 4);
    pixelpng::HideText(&pixels, Mode::Alpha, false, "abc");
    std::string file = pixelpng::Encode(pixels, pixelpng::Layout());
    size_t data = file.find("IDAT") + 4;
    uint32_t length = static_cast<uint32_t>(file.find("IEND") - 8 - 4 - data);
    std::string cut = file.substr(0, data - 8) + testpng::Chunk("IDAT", file.substr(data, length / 10)) +
                      testpng::Chunk("IEND", std::string());
    StealthFinding truncated = Read(cut);
    EXPECT_EQ(truncated.state, StealthState::NotChecked);
    EXPECT_EQ(truncated.reason, StealthNotChecked::ImageData);
    EXPECT_EQ(truncated.rows, RowsState::Truncated);
}

}  // namespace
