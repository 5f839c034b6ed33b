// checksums_test.cpp: the folded CRC-32 and the vector Adler-32 against zlib's, at every length and
// alignment around their steps, over the largest byte values, continued across pieces, and never
// reading past their range.
#include <gtest/gtest.h>
#include <zlib.h>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>
#include "runtime/adler32.h"
#include "runtime/crc32.h"
#include "tests/runtime/guarded_page.h"

namespace {

struct Checksum {
    const char* name;
    uint32_t (*ours)(uint32_t, const void*, size_t);
    uLong (*zlib)(uLong, const Bytef*, uInt);
    uint32_t start;
    uint32_t continued;  // a value to go on from
};

// Adler-32 goes on from a value whose halves are just below its modulus.
const Checksum Checksums[] = {{"CRC-32", Crc32, crc32, 0, 0xDEADBEEFu}, {"Adler-32", Adler32, adler32, 1, 0xFFF0FFF0u}};

uint32_t Zlib(const Checksum& sum, uint32_t value, const uint8_t* bytes, size_t count) {
    return static_cast<uint32_t>(sum.zlib(value, bytes, static_cast<uInt>(count)));
}

void FillMixed(uint8_t* bytes, size_t count, uint32_t seed) {
    for (size_t i = 0; i < count; i++) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(seed >> 16);
    }
}

}  // namespace

TEST(Crc32, IsTheStandardCheckValueAndZeroForNothing) {
    const uint8_t digits[] = "123456789";
    EXPECT_EQ(Crc32(0, digits, 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(0, digits, 0), 0u);
    EXPECT_EQ(Crc32(0x12345678u, digits, 0), 0x12345678u);
}

TEST_F(GuardedPage, ChecksumsAgreeWithZlibAtEveryLengthAndAlignmentAndReadOnlyTheirRange) {
    for (const Checksum& sum : Checksums) {
        // Lengths across the 16-, 32- and 64-byte steps and their remainders; ranges end at the unreadable page.
        for (size_t count = 0; count <= 700; count++) {
            uint8_t* range = Range(count);
            FillMixed(range, count, static_cast<uint32_t>(count));
            ASSERT_EQ(sum.ours(sum.start, range, count), Zlib(sum, sum.start, range, count)) << sum.name << ", count " << count;
            ASSERT_EQ(sum.ours(sum.continued, range, count), Zlib(sum, sum.continued, range, count))
                << sum.name << ", continued, count " << count;
            if (count >= 15) {
                ASSERT_EQ(sum.ours(sum.start, range + 15, count - 15), Zlib(sum, sum.start, range + 15, count - 15))
                    << sum.name << ", count " << count;
            }
        }
        memset(Range(Page), 0xFF, Page);
        EXPECT_EQ(sum.ours(sum.start, Range(Page), Page), Zlib(sum, sum.start, Range(Page), Page)) << sum.name << ", all bits set";
    }
}

TEST(Checksums, LargeRangesOfTheLargestBytesAndPiecesOfAnySizeGiveZlibsValue) {
    for (const Checksum& sum : Checksums) {
        // All bytes 0xFF make Adler-32's sums the largest they can be, within a block and over many.
        std::vector<uint8_t> bytes(5u << 20, 0xFF);
        for (size_t count : {4095u, 4096u, 4097u, 5552u, 5553u, 100000u, 5u << 20}) {
            EXPECT_EQ(sum.ours(sum.continued, bytes.data(), count), Zlib(sum, sum.continued, bytes.data(), count))
                << sum.name << ", " << count;
        }
        FillMixed(bytes.data(), bytes.size(), 7);
        const uint32_t whole = Zlib(sum, sum.start, bytes.data(), bytes.size());
        EXPECT_EQ(sum.ours(sum.start, bytes.data(), bytes.size()), whole) << sum.name;
        for (size_t piece : {1u, 31u, 32u, 63u, 64u, 1000u, 4097u, 65537u, 1u << 20}) {
            uint32_t value = sum.start;
            for (size_t at = 0; at < bytes.size(); at += piece) {
                value = sum.ours(value, bytes.data() + at, std::min(piece, bytes.size() - at));
            }
            EXPECT_EQ(value, whole) << sum.name << ", pieces of " << piece;
        }
    }
}
