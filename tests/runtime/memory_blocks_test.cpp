// memory_blocks_test.cpp: blocks from the memory heap and the values read out of them.
#include <gtest/gtest.h>
#include <cstdint>
#include <string>
#include <vector>
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

// The literal reading: the whole range through the system converter in one call, the text read as a
// NUL-terminated string. What every decoded text must equal.
static std::wstring SystemDecoded(const std::string& bytes, UINT codePage) {
    if (bytes.empty()) return std::wstring();
    const int length = static_cast<int>(bytes.size());
    int units = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::vector<wchar_t> result(static_cast<size_t>(units) + 1, L'\x5A5A');
    MultiByteToWideChar(codePage, 0, bytes.data(), length, result.data(), units + 1);
    result[static_cast<size_t>(units)] = L'\0';
    return std::wstring(result.data());
}

// A small deterministic generator, so a failure can be replayed.
static uint32_t NextRandom(uint32_t& state) {
    state = state * 1103515245u + 12345u;
    return state >> 16;
}

// Up to maxLength - 1 bytes, each made by byteOf.
static std::string RandomBytes(uint32_t& state, uint32_t maxLength, char (*byteOf)(uint32_t& state)) {
    std::string bytes(NextRandom(state) % maxLength, ' ');
    for (char& byte : bytes) byte = byteOf(state);
    return bytes;
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
    for (int round = 0; round < 500; round++) {
        ExpectSameAsSystem(RandomBytes(state, 300, [](uint32_t& s) {
            uint32_t pick = NextRandom(s) % 100;
            return static_cast<char>(pick < 85 ? 1 + NextRandom(s) % 127 : pick < 99 ? 0x80 + NextRandom(s) % 128 : 0);
        }));
    }
}

TEST(MemReadText, ASequenceCutShortByANulIsDecodedAsTheWholeRangeDecodesIt) {
    // An invalid byte, then an incomplete sequence right before the NUL: the end of a range and a NUL
    // cut such a sequence differently, so converting only the bytes before the NUL loses a U+FFFD.
    const std::string cut("\x85\xF3\xA0\xF2\0tail", 9);
    EXPECT_EQ(std::wstring(L"\uFFFD\uFFFD\uFFFD"), MemReadText(cut.data(), 9, TextUtf8));
    ExpectSameAsSystem(cut);
    EXPECT_EQ(std::wstring(L"\uFFFD\uFFFD"), MemReadText(cut.data(), 4, TextUtf8)) << "the end of the range";
    EXPECT_EQ(SystemDecoded(cut.substr(0, 4), CP_UTF8), MemReadText(cut.data(), -1, TextUtf8));
    // Appended after text already there, as a report line is built.
    std::wstring line = L"iTXt : ";
    AppendDecodedRange(line, cut.data(), cut.size(), TextUtf8);
    EXPECT_EQ(std::wstring(L"iTXt : \uFFFD\uFFFD\uFFFD"), line);
}

TEST(MemReadText, RandomBytesWithNulsAgreeWithTheLiteralReadingInBothEncodings) {
    // Any byte value, NULs frequent, high bytes and broken sequences everywhere; lengths that stop
    // before, at and after a NUL.
    uint32_t state = 20261209;
    for (int round = 0; round < 20000; round++) {
        ExpectSameAsSystem(RandomBytes(state, 24, [](uint32_t& s) {
            uint32_t pick = NextRandom(s) % 8;
            uint32_t value = NextRandom(s);
            return static_cast<char>(pick == 0 ? 0 : pick < 3 ? 0x80 + value % 64 : pick < 5 ? 0xC0 + value % 64 : value);
        }));
        if (::testing::Test::HasFailure()) break;
    }
}
