// image_rows_test.cpp: image rows inflated and unfiltered from PNGs built in memory.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "png/chunk_walk.h"
#include "png/image_data_writer.h"
#include "png/image_rows.h"
#include "tests/png/counting_bytes.h"
#include "tests/png/pixel_png.h"
#include "tests/report/test_png.h"

namespace {

using testpng::BigEndian32;
using testpng::Chunk;

// Every row of the file, joined; *state: how the rows ended.
std::vector<uint8_t> ReadAll(const std::string& file, RowsState* state, CountingBytes* counting = nullptr) {
    pixelpng::FoundImage image = pixelpng::FindImage(file);
    EXPECT_TRUE(image.found);
    CountingBytes own(file);
    CountingBytes* source = counting ? counting : &own;
    ImageRows rows(source, image.header, image.firstImageData);
    std::vector<uint8_t> all;
    const uint8_t* row;
    while (rows.Next(&row)) all.insert(all.end(), row, row + image.header.RowBytes());
    *state = rows.State();
    EXPECT_FALSE(source->outside);
    return all;
}

// A PNG of raw rows with any colour type and bit depth.
std::string RawPng(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType, const std::vector<uint8_t>& raw,
                   unsigned bpp, const std::vector<int>& filters, size_t piece = 0) {
    std::string header = BigEndian32(width) + BigEndian32(height);
    header += static_cast<char>(depth);
    header += static_cast<char>(colourType);
    header += std::string(3, '\0');
    std::string data = testpng::Deflate(pixelpng::FilterRows(raw, raw.size() / height, bpp, filters));
    std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", header);
    if (colourType == 3) png += Chunk("PLTE", std::string(48, '\x40'));
    if (!piece) piece = data.size();
    for (size_t at = 0; at < data.size(); at += piece) png += Chunk("IDAT", data.substr(at, piece));
    return png + Chunk("IEND", std::string());
}

TEST(ImageRows, UnfiltersEachFilterTypeInEveryColourType) {
    struct Shape {
        uint8_t depth, colourType;
        unsigned bpp;
        size_t rowBytes;
    };
    const uint32_t width = 13, height = 11;
    const Shape shapes[] = {{8, 2, 3, width * 3}, {8, 6, 4, width * 4}, {16, 6, 8, width * 8},
                            {8, 0, 1, width},     {4, 3, 1, (width + 1) / 2}, {1, 0, 1, (width + 7) / 8},
                            {16, 4, 4, width * 4}};
    for (const Shape& shape : shapes) {
        for (int filter = 0; filter <= 4; filter++) {
            pixelpng::Pixels noise = pixelpng::Noise(static_cast<uint32_t>(shape.rowBytes), height, 1, filter + 7);
            std::string file = RawPng(width, height, shape.depth, shape.colourType, noise.bytes, shape.bpp, {filter, 0, filter});
            RowsState state;
            std::vector<uint8_t> rows = ReadAll(file, &state);
            EXPECT_EQ(state, RowsState::Ended) << int(shape.colourType) << " filter " << filter;
            EXPECT_EQ(rows, noise.bytes) << int(shape.colourType) << "/" << int(shape.depth) << " filter " << filter;
        }
    }
}

TEST(ImageRows, FollowsTheStreamOverManySmallIdatChunks) {
    pixelpng::Pixels pixels = pixelpng::Noise(17, 9, 4);
    pixelpng::Layout layout;
    layout.imageDataPiece = 1;
    RowsState state;
    EXPECT_EQ(ReadAll(pixelpng::Encode(pixels, layout), &state), pixels.bytes);
    EXPECT_EQ(state, RowsState::Ended);
}

TEST(ImageRows, InflatesOnlyWhatTheRowsAskedForNeed) {
    pixelpng::Pixels pixels = pixelpng::Noise(1024, 1024, 4);
    pixelpng::Layout layout;
    layout.imageDataPiece = 8192;
    std::string file = pixelpng::Encode(pixels, layout);
    pixelpng::FoundImage image = pixelpng::FindImage(file);
    CountingBytes source(file);
    ImageRows rows(&source, image.header, image.firstImageData);
    const uint8_t* row;
    ASSERT_TRUE(rows.Next(&row));
    EXPECT_EQ(memcmp(row, pixels.bytes.data(), 4096), 0);
    // A row of noise is about 4 KB of deflate: a few pieces of 8 KB, not the 4 MB of the image.
    EXPECT_LT(source.highest, file.size() / 20);
    EXPECT_EQ(rows.RowsRead(), 1u);
}

TEST(ImageRows, EndsWithACodeForDamagedData) {
    pixelpng::Pixels pixels = pixelpng::Noise(16, 16, 3);
    std::string good = pixelpng::Encode(pixels);
    size_t imageData = good.find("IDAT") + 4;
    pixelpng::FoundImage image = pixelpng::FindImage(good);
    RowsState state;

    // Cut: the file's IDAT ends early (the chunk itself is whole, its stream is not).
    std::string data = good.substr(imageData, image.firstImageData.length / 2);
    std::string cut = good.substr(0, imageData - 8) + Chunk("IDAT", data) + Chunk("IEND", std::string());
    std::vector<uint8_t> rows = ReadAll(cut, &state);
    EXPECT_EQ(state, RowsState::Truncated);
    EXPECT_LT(rows.size(), pixels.bytes.size());

    std::string damaged = good;
    damaged[imageData] = '\x07';  // a zlib header with a method that is not deflate
    ReadAll(damaged, &state);
    EXPECT_EQ(state, RowsState::Damaged);

    std::vector<uint8_t> raw(16 * 3 * 2, 1);
    std::string badFilter = RawPng(16, 2, 8, 2, raw, 3, {0, 5});
    rows = ReadAll(badFilter, &state);
    EXPECT_EQ(state, RowsState::BadFilter);
    EXPECT_EQ(rows.size(), 48u);
}

TEST(ImageRows, ReadsInterlacedImagesInTheirRowsOrder) {
    // Among them images too small for some passes.
    const uint32_t sizes[][2] = {{1, 1}, {3, 5}, {9, 17}, {33, 20}, {2, 9}};
    for (const auto& size : sizes) {
        for (unsigned channels : {2u, 3u, 4u}) {
            for (bool wide : {false, true}) {
                SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << ", " << channels << " channels, 16-bit " << wide);
                pixelpng::Pixels pixels = pixelpng::Noise(size[0], size[1], channels, size[0] + channels);
                if (wide) pixels = pixelpng::Widened(pixels);
                pixelpng::Layout layout;
                layout.interlaced = true;
                layout.imageDataPiece = 100;
                RowsState state;
                const std::string file = pixelpng::Encode(pixels, layout);
                EXPECT_EQ(ReadAll(file, &state), pixels.bytes);
                EXPECT_EQ(state, RowsState::Ended);
                // Read for its first two columns: those alone, each row as the whole image has it.
                pixelpng::FoundImage image = pixelpng::FindImage(file);
                CountingBytes source(file);
                ImageRows columns(&source, image.header, image.firstImageData, 2);
                const size_t kept = std::min<size_t>(2, size[0]) * pixels.PixelBytes(), rowBytes = size[0] * pixels.PixelBytes();
                ASSERT_EQ(KeptRowBytes(image.header, 2), kept);
                const uint8_t* row;
                for (uint32_t y = 0; y < size[1]; y++) {
                    ASSERT_TRUE(columns.Next(&row));
                    EXPECT_TRUE(std::equal(row, row + kept, pixels.bytes.begin() + static_cast<std::ptrdiff_t>(y * rowBytes))) << y;
                }
                EXPECT_FALSE(columns.Next(&row));
                EXPECT_EQ(columns.State(), RowsState::Ended);
            }
        }
    }
    // Cut in the last pass: no row, as the first row needs every pass.
    pixelpng::Layout layout;
    layout.interlaced = true;
    layout.level = 0;
    std::string file = pixelpng::Encode(pixelpng::Noise(40, 40, 4), layout);
    const size_t data = file.find("IDAT") + 4;
    std::string cut = file.substr(0, data - 8) + Chunk("IDAT", file.substr(data, 6000)) + Chunk("IEND", std::string());
    RowsState state;
    EXPECT_TRUE(ReadAll(cut, &state).empty());
    EXPECT_EQ(state, RowsState::Truncated);
}

TEST(ImageRows, LeavesInterlacedImagesTooLargeAndRowsTooLongAlone) {
    ImageHeader header = pixelpng::HeaderOf(8, 8, 4, 3, 1);
    std::string file(64, '\0');
    CountingBytes source(file);
    WalkedChunk chunk;
    chunk.at = 8;
    ImageRows large(&source, pixelpng::HeaderOf(4097, 4096, 8, 6, 1), chunk);
    EXPECT_EQ(large.State(), RowsState::TooLarge);
    header.interlace = 0;
    header.width = 0x7FFFFFFF;
    header.bitDepth = 16;
    ImageRows wide(&source, header, chunk);
    EXPECT_EQ(wide.State(), RowsState::TooWide);
    const uint8_t* row;
    EXPECT_FALSE(wide.Next(&row));
}

// The rows written again: IDAT chunks whole, as the writer makes them.
std::vector<uint8_t> WriteRows(const ImageHeader& header, const std::vector<uint8_t>& raw, ImageDataEnd* end) {
    std::vector<uint8_t> chunks;
    ImageDataWriter writer(header, &chunks);
    const size_t rowBytes = static_cast<size_t>(header.RowBytes());
    for (size_t at = 0; at < raw.size(); at += rowBytes) writer.AddRow(&raw[at]);
    writer.Finish();
    *end = writer.State();
    return chunks;
}

TEST(ImageDataWriter, RowsWrittenReadBackTheSameInEveryColourType) {
    struct Shape {
        uint8_t depth, colourType;
        uint32_t width, height;
        uint8_t interlace;
    };
    // Among them an image whose stream fills several chunks, and one of one pixel; interlaced ones too.
    const Shape shapes[] = {{8, 2, 13, 11, 0}, {8, 6, 13, 11, 0},  {16, 6, 5, 3, 0},    {8, 0, 7, 2, 0},  {4, 3, 9, 4, 0},
                            {1, 0, 17, 5, 0},  {16, 4, 3, 3, 0},   {8, 6, 300, 200, 0}, {8, 2, 1, 1, 0},  {8, 6, 13, 11, 1},
                            {16, 2, 9, 17, 1}, {8, 4, 1, 1, 1},    {8, 3, 6, 3, 1},     {16, 0, 5, 2, 1}, {8, 6, 300, 200, 1},
                            {4, 3, 9, 4, 1},   {1, 0, 17, 5, 1},   {2, 3, 11, 13, 1},   {1, 3, 1, 1, 1}};
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(testing::Message() << int(shape.colourType) << "/" << int(shape.depth) << " " << shape.width << "x" << shape.height
                                        << " interlace " << int(shape.interlace));
        const ImageHeader header = pixelpng::HeaderOf(shape.width, shape.height, shape.depth, shape.colourType, shape.interlace);
        pixelpng::Pixels noise = pixelpng::Noise(static_cast<uint32_t>(header.RowBytes()), shape.height, 1, shape.width);
        // Smooth runs too, so that each filter type is the best of some row.
        for (size_t i = 0; i < noise.bytes.size() / 2; i++) noise.bytes[i] = static_cast<uint8_t>(i % 7 + i / 50);
        // The bits after a row's last small pixel belong to no pixel: passes do not carry them.
        const unsigned padding = static_cast<unsigned>(header.RowBytes() * 8 - static_cast<uint64_t>(shape.width) * header.BitsPerPixel());
        if (shape.interlace && padding) {
            for (size_t at = header.RowBytes() - 1; at < noise.bytes.size(); at += header.RowBytes())
                noise.bytes[at] = static_cast<uint8_t>(noise.bytes[at] & (0xFF << padding));
        }
        ImageDataEnd end;
        std::vector<uint8_t> chunks = WriteRows(header, noise.bytes, &end);
        ASSERT_EQ(end, ImageDataEnd::Finished);
        std::string header13 = BigEndian32(shape.width) + BigEndian32(shape.height);
        header13 += static_cast<char>(shape.depth);
        header13 += static_cast<char>(shape.colourType);
        header13 += std::string(2, '\0');
        header13 += static_cast<char>(shape.interlace);
        std::string file = std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", header13);
        if (shape.colourType == 3) file += Chunk("PLTE", std::string(48, '\x40'));
        file += std::string(chunks.begin(), chunks.end()) + Chunk("IEND", std::string());
        // Every chunk whole with its CRC right, each but the last of the size the writer cuts at.
        CountingBytes source(file);
        ChunkWalker walker(&source, WalkCrcs::All);
        WalkedChunk chunk;
        std::vector<uint32_t> imageDataLengths;
        while (walker.Next(&chunk)) {
            EXPECT_EQ(chunk.crc, CrcState::Ok);
            if (chunk.type == PngType("IDAT")) imageDataLengths.push_back(chunk.length);
        }
        EXPECT_EQ(walker.End(), WalkEnd::Iend);
        ASSERT_FALSE(imageDataLengths.empty());
        for (size_t i = 0; i + 1 < imageDataLengths.size(); i++) EXPECT_EQ(imageDataLengths[i], ImageDataChunkBytes);
        RowsState state;
        EXPECT_EQ(ReadAll(file, &state), noise.bytes);
        EXPECT_EQ(state, RowsState::Ended);
        // The same rows in the stream's order, read and written again so: the same image.
        pixelpng::FoundImage image = pixelpng::FindImage(file);
        ImageRows passRows(&source, header, image.firstImageData, 0, RowOrder::Stream);
        std::vector<uint8_t> again;
        ImageDataWriter streamWriter(header, &again, RowOrder::Stream);
        const uint8_t* row;
        for (StreamRowWalk walk(header); !walk.Done(); walk.Advance()) {
            ASSERT_TRUE(passRows.Next(&row));
            ASSERT_TRUE(streamWriter.AddRow(row));
        }
        EXPECT_FALSE(passRows.Next(&row));
        EXPECT_EQ(passRows.State(), RowsState::Ended);
        ASSERT_TRUE(streamWriter.Finish());
        const std::string rewritten = file.substr(0, file.find("IDAT") - 4) + std::string(again.begin(), again.end()) + Chunk("IEND", std::string());
        EXPECT_EQ(ReadAll(rewritten, &state), noise.bytes);
    }
    const ImageHeader large = pixelpng::HeaderOf(600, 400, 8, 6, 0);
    ImageDataEnd end;
    const std::vector<uint8_t> chunks = WriteRows(large, pixelpng::Noise(600, 400, 4).bytes, &end);
    EXPECT_GT(chunks.size(), 3 * ImageDataChunkBytes) << "noise does not deflate: several chunks";
}

TEST(ImageDataWriter, RowsOtherThanTheHeightAndInterlacedImagesTooLargeAreRefused) {
    const ImageHeader header = pixelpng::HeaderOf(4, 3, 8, 2, 0);
    const std::vector<uint8_t> row(12, 7);
    std::vector<uint8_t> chunks;
    {
        ImageDataWriter fewer(header, &chunks);
        EXPECT_TRUE(fewer.AddRow(row.data()));
        EXPECT_FALSE(fewer.Finish());
        EXPECT_EQ(fewer.State(), ImageDataEnd::Failed);
    }
    {
        ImageDataWriter more(header, &chunks);
        for (int i = 0; i < 3; i++) EXPECT_TRUE(more.AddRow(row.data()));
        EXPECT_FALSE(more.AddRow(row.data()));
        EXPECT_EQ(more.State(), ImageDataEnd::Failed);
    }
    {
        ImageDataWriter fewer(pixelpng::HeaderOf(4, 3, 8, 2, 1), &chunks);
        EXPECT_TRUE(fewer.AddRow(row.data()));
        EXPECT_FALSE(fewer.Finish());
        EXPECT_EQ(fewer.State(), ImageDataEnd::Failed);
    }
    ImageDataWriter large(pixelpng::HeaderOf(4097, 4096, 8, 6, 1), &chunks);
    EXPECT_FALSE(large.AddRow(row.data()));
    EXPECT_EQ(large.State(), ImageDataEnd::Failed);
}

TEST(ImageHeader, ChecksEveryField) {
    auto header = [](uint32_t width, uint32_t height, uint8_t depth, uint8_t type, uint8_t interlace) {
        std::string data = BigEndian32(width) + BigEndian32(height);
        data += static_cast<char>(depth);
        data += static_cast<char>(type);
        data += std::string(2, '\0');
        data += static_cast<char>(interlace);
        return data;
    };
    ImageHeader read;
    auto check = [&](const std::string& data) {
        return ParseImageHeader(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()), &read);
    };
    EXPECT_EQ(check(header(3, 2, 8, 6, 0)), HeaderCheck::Ok);
    EXPECT_EQ(read.RowBytes(), 12u);
    EXPECT_EQ(check(header(3, 2, 1, 0, 1)), HeaderCheck::Ok);
    EXPECT_EQ(read.RowBytes(), 1u);
    EXPECT_EQ(check(header(3, 2, 8, 6, 0).substr(0, 12)), HeaderCheck::WrongLength);
    EXPECT_EQ(check(header(0, 2, 8, 6, 0)), HeaderCheck::BadSize);
    EXPECT_EQ(check(header(0x80000000u, 2, 8, 6, 0)), HeaderCheck::BadSize);
    EXPECT_EQ(check(header(3, 2, 4, 2, 0)), HeaderCheck::BadDepth);
    EXPECT_EQ(check(header(3, 2, 8, 1, 0)), HeaderCheck::BadDepth);
    EXPECT_EQ(check(header(3, 2, 16, 3, 0)), HeaderCheck::BadDepth);
    EXPECT_EQ(check(header(3, 2, 8, 6, 2)), HeaderCheck::BadMethod);
}

}  // namespace
