// memory_blocks_test.cpp: blocks from the memory heap and the values read out of them.
#include <gtest/gtest.h>
#include "runtime/memory_blocks.h"

TEST(MemAlloc, RefusesSizesBelowOneAndZeroFills) {
    EXPECT_EQ(nullptr, MemAlloc(0));
    EXPECT_EQ(nullptr, MemAlloc(-5));
    unsigned char* one = static_cast<unsigned char*>(MemAlloc(1));
    ASSERT_NE(nullptr, one);
    EXPECT_EQ(0, one[0]);
    EXPECT_TRUE(MemFree(one));
    EXPECT_FALSE(MemFree(nullptr));
}

TEST(MemRead, BytesAndLittleEndianWords) {
    const unsigned char bytes[] = {0x7A, 0x54, 0x58, 0x74, 0xFF};
    EXPECT_EQ(0x7458547A, MemReadInt32(bytes));
    EXPECT_EQ(255, MemReadByte(bytes + 4));
}

TEST(MemReadText, LengthsAndEmbeddedNuls) {
    const char ab[] = {'a', 'b', 0, 'c', 'd'};
    EXPECT_EQ(L"", MemReadText(ab, -2, TextAnsi));
    EXPECT_EQ(L"ab", MemReadText(ab, 5, TextAnsi));
    EXPECT_EQ(L"ab", MemReadText(ab, -1, TextAnsi));
    EXPECT_EQ(L"", MemReadText(ab, 0, TextAnsi));
    EXPECT_EQ(L"", MemReadText(nullptr, 3, TextAnsi));
    const wchar_t units[] = {L'a', 0, L'b'};
    EXPECT_EQ(L"a", MemReadText(units, 3, TextUtf16));
}

TEST(MemReadText, AnsiIsCodePage1252AndUtf8IsDecoded) {
    const char latin[] = {'\xE9', '\x80'};          // é and the euro sign in 1252
    EXPECT_EQ(std::wstring(L"\u00E9\u20AC"), MemReadText(latin, 2, TextAnsi));
    const char utf8[] = {'\xCE', '\xB1', 'x'};      // Greek alpha, then x
    EXPECT_EQ(std::wstring(L"\u03B1x"), MemReadText(utf8, 3, TextUtf8));
    EXPECT_EQ(std::wstring(L"\u00CE\u00B1x"), MemReadText(utf8, 3, TextAnsi));
}
