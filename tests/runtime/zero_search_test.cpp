// zero_search_test.cpp: the zero-byte search and the look for a byte past ASCII against plain loops, at
// every alignment and length, with the range ending on a page that cannot be read.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <cstring>
#include "runtime/zero_search.h"
#include "tests/runtime/guarded_page.h"

static size_t Plain(const uint8_t* bytes, size_t count) {
    size_t i = 0;
    while (i < count && bytes[i]) i++;
    return i;
}

TEST_F(GuardedPage, FindsTheFirstZeroAtEveryPlaceAndNeverReadsPastTheRange) {
    for (size_t count = 0; count <= 80; count++) {
        uint8_t* range = Range(count);
        memset(range, 'a', count);
        EXPECT_EQ(BytesBeforeZero(range, count), count) << "no zero, count " << count;
        for (size_t zero = 0; zero < count; zero++) {
            range[zero] = 0;
            if (zero + 5 < count) range[zero + 5] = 0;  // a later zero does not count
            EXPECT_EQ(BytesBeforeZero(range, count), zero) << "count " << count;
            memset(range, 'a', count);
        }
    }
}

TEST_F(GuardedPage, AgreesWithAPlainLoopOnMixedBytesAtEveryAlignment) {
    uint32_t state = 12345;
    for (int round = 0; round < 2000; round++) {
        size_t count = round % 300;
        uint8_t* range = Range(count);
        for (size_t i = 0; i < count; i++) {
            state = state * 1103515245u + 12345u;
            // Zeros rare enough that many ranges have none, or one far in; high bytes included.
            range[i] = (state >> 16) % 97 == 0 ? 0 : static_cast<uint8_t>(0x80 | (state >> 24));
        }
        ASSERT_EQ(BytesBeforeZero(range, count), Plain(range, count)) << "round " << round;
        // The same bytes started one to fifteen bytes later.
        for (size_t shift = 1; shift < 16 && shift <= count; shift++) {
            ASSERT_EQ(BytesBeforeZero(range + shift, count - shift), Plain(range + shift, count - shift));
        }
    }
}

TEST_F(GuardedPage, FindsAByteAboveAsciiAtEveryPlaceAndNeverReadsPastTheRange) {
    for (size_t count = 0; count <= 200; count++) {
        uint8_t* range = Range(count);
        memset(range, 0x7F, count);
        EXPECT_FALSE(HasByteAboveAscii(range, count)) << "all ASCII, count " << count;
        for (size_t high = 0; high < count; high++) {
            range[high] = static_cast<uint8_t>(0x80 + high % 128);
            EXPECT_TRUE(HasByteAboveAscii(range, count)) << "count " << count << ", at " << high;
            EXPECT_FALSE(HasByteAboveAscii(range, high)) << "before it, count " << count << ", at " << high;
            range[high] = 0x7F;
        }
    }
}
