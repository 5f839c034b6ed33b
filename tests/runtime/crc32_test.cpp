// crc32_test.cpp: the folded CRC against zlib's table walk, at every length and alignment around the
// folding steps, continued across pieces, and never reading past its range.
#include <gtest/gtest.h>
#include <zlib.h>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>
#include "runtime/crc32.h"
#include "tests/runtime/guarded_page.h"

static uint32_t Zlib(uint32_t crc, const uint8_t* bytes, size_t count) {
    return static_cast<uint32_t>(crc32(crc, bytes, static_cast<uInt>(count)));
}

static void FillMixed(uint8_t* bytes, size_t count, uint32_t seed) {
    for (size_t i = 0; i < count; i++) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(seed >> 16);
    }
}

TEST(Crc32, IsTheStandardCheckValueAndZeroForNothing) {
    const uint8_t digits[] = "123456789";
    EXPECT_EQ(Crc32(0, digits, 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(0, digits, 0), 0u);
    EXPECT_EQ(Crc32(0x12345678u, digits, 0), 0x12345678u);
}

TEST_F(GuardedPage, Crc32AgreesWithZlibAtEveryLengthAndAlignmentAndReadsOnlyItsRange) {
    // Lengths across the 16- and 64-byte steps and their remainders; ranges end at the unreadable page.
    for (size_t count = 0; count <= 700; count++) {
        uint8_t* range = Range(count);
        FillMixed(range, count, static_cast<uint32_t>(count));
        ASSERT_EQ(Crc32(0, range, count), Zlib(0, range, count)) << "count " << count;
        ASSERT_EQ(Crc32(0xDEADBEEFu, range, count), Zlib(0xDEADBEEFu, range, count)) << "continued, count " << count;
        if (count >= 15) {
            ASSERT_EQ(Crc32(0, range + 15, count - 15), Zlib(0, range + 15, count - 15)) << "count " << count;
        }
    }
    memset(Range(Page), 0xFF, Page);
    EXPECT_EQ(Crc32(0, Range(Page), Page), Zlib(0, Range(Page), Page)) << "all bits set";
}

TEST(Crc32, ALargeRangeSummedInPiecesOfAnySizeIsTheWholeRangesCrc) {
    std::vector<uint8_t> bytes(5u << 20);
    FillMixed(bytes.data(), bytes.size(), 7);
    const uint32_t whole = Zlib(0, bytes.data(), bytes.size());
    EXPECT_EQ(Crc32(0, bytes.data(), bytes.size()), whole);
    for (size_t piece : {1u, 63u, 64u, 1000u, 65537u, 1u << 20}) {
        uint32_t crc = 0;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            crc = Crc32(crc, bytes.data() + at, std::min(piece, bytes.size() - at));
        }
        EXPECT_EQ(crc, whole) << "pieces of " << piece;
    }
}
