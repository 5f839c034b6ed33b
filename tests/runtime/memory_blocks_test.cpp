// memory_blocks_test.cpp: blocks from the memory heap and the values read out of them.
#include <gtest/gtest.h>
#include <cstdint>
#include <string>
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

// The system converter on the bytes before the first NUL: what every decoded text must equal.
static std::wstring SystemDecoded(const std::string& bytes, UINT codePage) {
    size_t usable = bytes.find('\0');
    if (usable == std::string::npos) usable = bytes.size();
    if (usable == 0) return std::wstring();
    int units = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(usable), nullptr, 0);
    std::wstring text(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(usable), &text[0], units);
    return text;
}

static void ExpectSameAsSystem(const std::string& bytes) {
    EXPECT_EQ(SystemDecoded(bytes, CP_ACP), MemReadText(bytes.data(), static_cast<int32_t>(bytes.size()), TextAnsi))
        << "ANSI, " << bytes.size() << " bytes";
    EXPECT_EQ(SystemDecoded(bytes, CP_UTF8), MemReadText(bytes.data(), static_cast<int32_t>(bytes.size()), TextUtf8))
        << "UTF-8, " << bytes.size() << " bytes";
}

static std::string AsciiBytes(size_t count) {
    std::string bytes(count, ' ');
    for (size_t i = 0; i < count; i++) bytes[i] = static_cast<char>(1 + i % 127);
    return bytes;
}

TEST(MemReadText, PlainAsciiOfEveryLengthAroundTheStepsIsDecodedLikeTheSystem) {
    for (size_t count : {1u, 2u, 3u, 15u, 16u, 17u, 31u, 32u, 33u, 255u, 256u, 257u, 4096u, 4099u, 65536u + 5u}) {
        std::string bytes = AsciiBytes(count);
        ExpectSameAsSystem(bytes);
        // Every value 1..127 is its own unit.
        std::wstring text = MemReadText(bytes.data(), static_cast<int32_t>(count), TextAnsi);
        ASSERT_EQ(count, text.size());
        for (size_t i = 0; i < count; i++) ASSERT_EQ(static_cast<wchar_t>(bytes[i]), text[i]) << i;
    }
}

TEST(MemReadText, AHighByteAtAnyPlaceAfterAsciiIsDecodedLikeTheSystem) {
    // The first non-ASCII byte at every offset of the first steps, as a single byte, as a UTF-8
    // sequence, as a broken sequence and as a double-byte lead.
    for (const char* tail : {"\xE9", "\xE2\x82\xAC", "\xC3", "\xC3" "A", "\xF0\x9F\x98\x80z", "\x81\x40", "\xFF\xFE"}) {
        for (size_t at = 0; at <= 40; at++) {
            ExpectSameAsSystem(AsciiBytes(at) + tail);
            ExpectSameAsSystem(AsciiBytes(at) + tail + AsciiBytes(19));
        }
    }
    std::string everyByte;
    for (int value = 1; value < 256; value++) everyByte += static_cast<char>(value);
    ExpectSameAsSystem(everyByte);
    ExpectSameAsSystem(AsciiBytes(100) + everyByte);
}

TEST(MemReadText, ANulInsideEndsTheTextWhereverItFalls) {
    for (size_t at = 0; at <= 40; at++) {
        std::string bytes = AsciiBytes(at) + '\0' + AsciiBytes(30);
        ExpectSameAsSystem(bytes);
        EXPECT_EQ(at, MemReadText(bytes.data(), static_cast<int32_t>(bytes.size()), TextUtf8).size());
        EXPECT_EQ(at, MemReadText(bytes.data(), -1, TextAnsi).size());
        ExpectSameAsSystem(AsciiBytes(at) + "\xC3\xA9" + '\0' + "\xE9tail");
    }
    // A length that stops short of the NUL, inside the first step.
    std::string bytes = AsciiBytes(20);
    EXPECT_EQ(std::wstring(bytes.begin(), bytes.begin() + 5), MemReadText(bytes.data(), 5, TextAnsi));
}

TEST(MemReadText, LongRangesAndMixedTextAgreeWithTheSystem) {
    std::string megabyte = AsciiBytes(1 << 20);
    ExpectSameAsSystem(megabyte);
    ExpectSameAsSystem(megabyte + "\xE2\x82\xAC");
    ExpectSameAsSystem("\xE2\x82\xAC" + megabyte);
    // Deterministic mixtures: mostly ASCII, some high bytes, now and then a NUL.
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    };
    for (int round = 0; round < 500; round++) {
        std::string bytes(next() % 300, ' ');
        for (char& byte : bytes) {
            uint32_t pick = next() % 100;
            byte = static_cast<char>(pick < 85 ? 1 + next() % 127 : pick < 99 ? 0x80 + next() % 128 : 0);
        }
        ExpectSameAsSystem(bytes);
    }
}
