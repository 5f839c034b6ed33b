// share_check_test.cpp: the whole check over images with each kind of hidden data, a plain image, the
// PNG test suite and damaged copies.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "png/share_check.h"
#include "tests/png/counting_bytes.h"
#include "tests/png/pixel_png.h"
#include "tests/report/test_png.h"
#include "tests/testdata.h"

namespace {

using testpng::Chunk;

CheckResult Check(const std::string& file, CountingBytes* counting = nullptr) {
    CountingBytes own(file);
    CountingBytes* source = counting ? counting : &own;
    CheckResult result = CheckForSharing(source);
    EXPECT_FALSE(source->outside);
    return result;
}

std::vector<const Finding*> Of(const CheckResult& result, FindingKind kind) {
    std::vector<const Finding*> found;
    for (const Finding& finding : result.findings) {
        if (finding.kind == kind) found.push_back(&finding);
    }
    return found;
}

std::string Plain() { return pixelpng::Encode(pixelpng::Noise(64, 160, 4)); }

TEST(ShareCheck, FindsNothingInAPlainImage) {
    for (unsigned channels : {3u, 4u}) {
        pixelpng::Layout layout;
        layout.beforeImageData = {Chunk("gAMA", testpng::BigEndian32(45455)), Chunk("pHYs", std::string(9, '\1'))};
        CheckResult result = Check(pixelpng::Encode(pixelpng::Noise(64, 160, channels), layout));
        EXPECT_EQ(result.end, CheckEnd::Complete);
        EXPECT_EQ(result.walkEnd, WalkEnd::Iend);
        EXPECT_TRUE(result.findings.empty()) << channels;
    }
}

TEST(ShareCheck, ReportsEachTextChunkAndKnowsGenerationData) {
    pixelpng::Layout layout;
    layout.beforeImageData = {Chunk("tEXt", testpng::TextData("parameters", "a fox\nSteps: 20")),
                              Chunk("zTXt", testpng::ZtxtData("Comment", "{\"prompt\": \"a fox\"}")),
                              Chunk("tEXt", testpng::TextData("Comment", "made on holiday")),
                              Chunk("tEXt", testpng::TextData("Title", "Fox"))};
    layout.afterImageData = {Chunk("iTXt", testpng::ItxtData("workflow", 1, 0, "", "", testpng::Deflate("{\"nodes\":[]}")))};
    CheckResult result = Check(pixelpng::Encode(pixelpng::Noise(64, 160, 4), layout));
    std::vector<const Finding*> texts = Of(result, FindingKind::Text);
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0]->keyword, "parameters");
    EXPECT_EQ(texts[0]->type, PngType("tEXt"));
    EXPECT_EQ(texts[0]->size, 26u);
    EXPECT_EQ(texts[0]->textSize, 15u);
    EXPECT_EQ(texts[0]->crc, CrcState::Ok);
    EXPECT_EQ(texts[0]->offset, 37u);
    EXPECT_TRUE(texts[0]->generationData);
    EXPECT_TRUE(texts[1]->generationData);  // a JSON Comment
    EXPECT_TRUE(texts[1]->compressed);
    EXPECT_EQ(texts[1]->textSize, 19u);
    EXPECT_FALSE(texts[2]->generationData);  // a Comment of words
    EXPECT_FALSE(texts[3]->generationData);
    EXPECT_EQ(texts[4]->keyword, "workflow");
    EXPECT_TRUE(texts[4]->generationData);
    EXPECT_EQ(result.findings.size(), 5u);
    EXPECT_EQ(result.end, CheckEnd::Complete);
}

TEST(ShareCheck, FindsAnApiKeyInAWorkflow) {
    const std::string workflow =
        "{\"nodes\": [{\"type\": \"OpenAIImage\", \"widgets_values\": [\"a fox\", \"sk-proj-abcdefghijklmnopqrstuvwxyz012345\"]}]}";
    const std::string prompt = "{\"3\": {\"inputs\": {\"api_key\": \"r8_notreallyakey\", \"seed\": 5}}}";
    pixelpng::Layout layout;
    layout.beforeImageData = {Chunk("tEXt", testpng::TextData("workflow", workflow)),
                              Chunk("zTXt", testpng::ZtxtData("prompt", prompt))};
    CheckResult result = Check(pixelpng::Encode(pixelpng::Noise(64, 160, 4), layout));
    std::vector<const Finding*> secrets = Of(result, FindingKind::Secret);
    ASSERT_EQ(secrets.size(), 2u);
    EXPECT_EQ(secrets[0]->keyword, "workflow");
    EXPECT_EQ(secrets[0]->secret.sign, SecretSign::KeyPrefix);
    EXPECT_STREQ(secrets[0]->secret.name, "sk-");
    EXPECT_EQ(secrets[0]->secret.offset, workflow.find("sk-"));
    EXPECT_EQ(secrets[1]->keyword, "prompt");
    EXPECT_EQ(secrets[1]->secret.sign, SecretSign::JsonKey);
    EXPECT_STREQ(secrets[1]->secret.name, "api_key");
    EXPECT_EQ(secrets[1]->place, Place::TextChunk);
}

TEST(ShareCheck, FindsXmpExifCredentialsTimeUnknownChunksAndTrailer) {
    const std::string xmp = "<x:xmpmeta><rdf:Description Iptc4xmpExt:DigitalSourceType="
                            "\"http://cv.iptc.org/newscodes/digitalsourcetype/trainedAlgorithmicMedia\"/></x:xmpmeta>";
    pixelpng::Layout layout;
    layout.beforeImageData = {Chunk("iTXt", testpng::ItxtData("XML:com.adobe.xmp", 0, 0, "", "", xmp)),
                              Chunk("eXIf", pixelpng::ExifData(true, 6, true, "Steps: 20")),
                              Chunk("caBX", std::string(300, 'j')),
                              Chunk("tIME", std::string("\x07\xe9\x03\x0e\x0f\x09\x1a", 7)),
                              Chunk("prVt", std::string(20, 'p'))};
    layout.trailer = "{\"api_key\": \"hidden after the end\"}";
    std::string file = pixelpng::Encode(pixelpng::Noise(64, 160, 4), layout);
    CheckResult result = Check(file);
    EXPECT_EQ(result.end, CheckEnd::Complete);
    std::vector<const Finding*> found = Of(result, FindingKind::Xmp);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->xmp.term, "trainedAlgorithmicMedia");
    EXPECT_TRUE(found[0]->xmp.madeByAi);
    EXPECT_EQ(Of(result, FindingKind::Text).size(), 1u);  // the XMP packet is a text chunk too
    found = Of(result, FindingKind::Exif);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->exif.orientation, 6u);
    EXPECT_TRUE(found[0]->exif.gps);
    EXPECT_TRUE(found[0]->exif.userComment);
    found = Of(result, FindingKind::ContentCredentials);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->size, 300u);
    found = Of(result, FindingKind::Time);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->year, 2025u);
    EXPECT_EQ(found[0]->month, 3u);
    EXPECT_EQ(found[0]->second, 26u);
    found = Of(result, FindingKind::UnknownChunk);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->type, PngType("prVt"));
    EXPECT_EQ(found[0]->size, 20u);
    found = Of(result, FindingKind::Trailer);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->size, layout.trailer.size());
    EXPECT_EQ(found[0]->offset, file.size() - layout.trailer.size());
    found = Of(result, FindingKind::Secret);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->place, Place::Trailer);
}

TEST(ShareCheck, FindsStealthTextInEachModeAndTheSecretsInIt) {
    struct Case {
        unsigned channels;
        pixelpng::Mode mode;
        bool compressed;
    };
    const Case cases[] = {{4, pixelpng::Mode::Alpha, false}, {4, pixelpng::Mode::Alpha, true},
                          {3, pixelpng::Mode::Rgb, false},   {3, pixelpng::Mode::Rgb, true}};
    const std::string text = "{\"Description\": \"a fox\", \"api_key\": \"abc\"}";
    for (const Case& c : cases) {
        pixelpng::Pixels pixels = pixelpng::Noise(64, 160, c.channels);
        pixelpng::HideText(&pixels, c.mode, c.compressed, text);
        CheckResult result = Check(pixelpng::Encode(pixels));
        std::vector<const Finding*> stealth = Of(result, FindingKind::Stealth);
        ASSERT_EQ(stealth.size(), 1u);
        EXPECT_EQ(stealth[0]->stealth.text, text);
        EXPECT_EQ(stealth[0]->stealth.compressed, c.compressed);
        std::vector<const Finding*> secrets = Of(result, FindingKind::Secret);
        ASSERT_EQ(secrets.size(), 1u);
        EXPECT_EQ(secrets[0]->place, Place::Stealth);
    }
}

TEST(ShareCheck, SaysWhatItDidNotCheck) {
    // Grey images: the pixels are not read, and the check says so. Palette images are read through their palette.
    CheckResult grey = Check(testpng::Png({}));
    std::vector<const Finding*> notChecked = Of(grey, FindingKind::NotChecked);
    ASSERT_EQ(notChecked.size(), 1u);
    EXPECT_EQ(notChecked[0]->place, Place::Stealth);
    EXPECT_EQ(notChecked[0]->stealth.reason, StealthNotChecked::ImageType);
    EXPECT_EQ(grey.end, CheckEnd::Complete);
    pixelpng::Pixels few = pixelpng::FewColours(32, 160, 8);
    pixelpng::Layout paletted;
    paletted.paletteDepth = 4;
    EXPECT_TRUE(Check(pixelpng::Encode(few, paletted)).findings.empty());
    pixelpng::HideText(&few, pixelpng::Mode::Alpha, false, "steps 20");
    std::vector<const Finding*> hidden = Of(Check(pixelpng::Encode(few, paletted)), FindingKind::Stealth);
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_EQ(hidden[0]->stealth.text, "steps 20");

    std::string damaged = Plain();
    damaged[16 + 9] = 1;  // colour type 1 does not exist
    CheckResult header = Check(damaged);
    notChecked = Of(header, FindingKind::NotChecked);
    ASSERT_EQ(notChecked.size(), 1u);
    EXPECT_EQ(notChecked[0]->stealth.reason, StealthNotChecked::BadHeader);
}

TEST(ShareCheck, EndsWithTheStructureItCouldNotWalk) {
    std::string plain = Plain();
    CheckResult notPng = Check("GIF89a and more");
    EXPECT_EQ(notPng.end, CheckEnd::Structure);
    EXPECT_EQ(notPng.walkEnd, WalkEnd::NotPng);
    EXPECT_TRUE(notPng.findings.empty());

    // Cut in the image data: the text before it is kept, and the top rows are still read.
    pixelpng::Pixels pixels = pixelpng::Noise(64, 160, 4);
    pixelpng::HideText(&pixels, pixelpng::Mode::Alpha, false, "Steps: 20");
    pixelpng::Layout layout;
    layout.beforeImageData = {Chunk("tEXt", testpng::TextData("parameters", "a fox"))};
    std::string file = pixelpng::Encode(pixels, layout);
    CheckResult cut = Check(file.substr(0, file.size() - 30));
    EXPECT_EQ(cut.end, CheckEnd::Structure);
    EXPECT_EQ(cut.walkEnd, WalkEnd::PastEnd);
    EXPECT_EQ(Of(cut, FindingKind::Text).size(), 1u);
    EXPECT_EQ(Of(cut, FindingKind::Stealth).size(), 1u);
}

TEST(ShareCheck, GivesNoFindingsOnceTheSourceFailed) {
    pixelpng::Layout layout;
    layout.beforeImageData = {Chunk("tEXt", testpng::TextData("parameters", "a fox"))};
    std::string file = pixelpng::Encode(pixelpng::Noise(64, 160, 4), layout);
    CountingBytes source(file);
    source.failFrom = file.size() - 20;
    CheckResult result = Check(file, &source);
    EXPECT_EQ(result.end, CheckEnd::ReadFailed);
    EXPECT_TRUE(result.findings.empty());
}

TEST(ShareCheck, ReadsOnlyTheTopOfTheImageData) {
    pixelpng::Layout layout;
    layout.imageDataPiece = 65536;
    layout.beforeImageData = {Chunk("tEXt", testpng::TextData("parameters", "a fox"))};
    std::string file = pixelpng::Encode(pixelpng::Noise(1024, 896, 3), layout);
    CountingBytes source(file);
    CheckResult result = Check(file, &source);
    EXPECT_TRUE(Of(result, FindingKind::Stealth).empty());
    // Chunk headers, the text, and the first rows' image data: a small part of the file's 2.7 MB.
    EXPECT_LT(source.shown, 300000u);
}

// Every file of the PNG test suite: walked without a read outside; the broken ones end with a code.
TEST(ShareCheck, WalksThePngTestSuite) {
    WIN32_FIND_DATAW found;
    std::wstring folder = TestdataPath(L"pngsuite");
    HANDLE search = FindFirstFileW((folder + L"\\*.png").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    int files = 0;
    do {
        std::wstring path = folder + L"\\" + found.cFileName;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        std::string bytes(GetFileSize(file, nullptr), '\0');
        DWORD read = 0;
        if (!bytes.empty()) ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        CheckResult result = Check(bytes);
        std::wstring name = found.cFileName;
        if (name == L"basn6a08.png") {
            EXPECT_EQ(result.end, CheckEnd::Complete);
            EXPECT_TRUE(result.findings.empty());
        }
        if (name == L"xs1n0g01.png") {
            EXPECT_EQ(result.walkEnd, WalkEnd::NotPng);
        }
        if (name == L"ct1n0g04.png") {
            EXPECT_FALSE(Of(result, FindingKind::Text).empty());
        }
        files++;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_GT(files, 10);
}

// Each cut and each byte flipped in a PNG that holds every kind of finding: codes, never a read
// outside, a hang or an exception. Also as a 16-bit interlaced image, whose passes are read whole,
// and as an interlaced palette image of 4-bit indexes, whose pixels are read through PLTE and tRNS.
TEST(ShareCheckRobustness, SurvivesEveryCutAndFlippedByte) {
    for (int variant : {0, 1, 2}) {
        const bool interlaced = variant > 0, palette = variant == 2;
        pixelpng::Pixels pixels = palette ? pixelpng::FewColours(8, 160, 8) : pixelpng::Noise(8, 160, 4);
        pixelpng::HideText(&pixels, pixelpng::Mode::Alpha, true, "{\"api_key\": \"abc\"}");
        pixelpng::Layout layout;
        layout.beforeImageData = {Chunk("zTXt", testpng::ZtxtData("prompt", "{\"token\": \"x\"}")),
                                  Chunk("eXIf", pixelpng::ExifData(false, 6, true, "c")), Chunk("tIME", std::string(7, '\1'))};
        layout.trailer = "tail";
        layout.imageDataPiece = 100;
        layout.interlaced = interlaced;
        layout.paletteDepth = palette ? 4 : 0;
        std::string file = pixelpng::Encode(variant == 1 ? pixelpng::Widened(pixels) : pixels, layout);
        ASSERT_EQ(1u, Of(Check(file), FindingKind::Stealth).size()) << variant;
        for (size_t size = 0; size <= file.size(); size++) Check(file.substr(0, size));
        for (size_t at = 0; at < file.size(); at++) {
            for (uint8_t flip : {0x01, 0x80, 0xFF}) {
                std::string changed = file;
                changed[at] = static_cast<char>(changed[at] ^ flip);
                Check(changed);
            }
        }
    }
}

}  // namespace
