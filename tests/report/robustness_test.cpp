// robustness_test.cpp: thousands of truncated, mutated and random blocks against a guard page.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <random>
#include "report/chunk_scan.h"
#include "report/compressed_text.h"
#include "tests/report/recording_sink.h"
#include "tests/report/test_png.h"

using namespace testpng;

static const size_t PageSize = 4096;

// Pages with a PAGE_NOACCESS page on each side. A block is copied flush against the guard after
// it, or against the guard before it, so that any read outside the block faults and ends the test
// process. One arena serves a whole test.
class GuardedArena {
public:
    explicit GuardedArena(size_t capacity) {
        dataPages_ = (capacity + PageSize - 1) / PageSize + 1;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, (dataPages_ + 2) * PageSize, MEM_COMMIT | MEM_RESERVE,
                                                   PAGE_READWRITE));
        if (!base_) return;
        DWORD old;
        VirtualProtect(base_, PageSize, PAGE_NOACCESS, &old);
        VirtualProtect(base_ + (dataPages_ + 1) * PageSize, PageSize, PAGE_NOACCESS, &old);
    }
    GuardedArena(const GuardedArena&) = delete;
    GuardedArena& operator=(const GuardedArena&) = delete;
    ~GuardedArena() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    // Null when the bytes do not fit.
    const uint8_t* Place(const std::string& bytes, bool guardAfter) {
        if (!base_ || bytes.size() > dataPages_ * PageSize) return nullptr;
        uint8_t* block = guardAfter ? base_ + (dataPages_ + 1) * PageSize - bytes.size() : base_ + PageSize;
        if (!bytes.empty()) memcpy(block, bytes.data(), bytes.size());
        return block;
    }

private:
    uint8_t* base_ = nullptr;
    size_t dataPages_ = 0;
};

static bool IsKnownLine(const std::wstring& line) {
    for (const wchar_t* prefix : {L"tEXt : ", L"zTXt: ", L"iTXt : "}) {
        if (line.compare(0, wcslen(prefix), prefix) == 0) return true;
    }
    return false;
}

class Robustness : public testing::Test {
protected:
    Robustness() : work(WorkBufferSize, 0xA5), arena(64 * 1024) {}
    void ScanGuarded(const std::string& bytes, const char* what) {
        for (bool guardAfter : {true, false}) {
            const uint8_t* block = arena.Place(bytes, guardAfter);
            ASSERT_NE(block, nullptr);
            RecordingSink sink;
            SearchTextChunks(block, bytes.size(), &sink, work.data());
            for (const std::wstring& line : sink.lines) ASSERT_TRUE(IsKnownLine(line)) << what;
            // Every match writes one line; a block of n bytes has at most n - 7 matches.
            ASSERT_LE(sink.lines.size(), bytes.size());
            lineCount += sink.lines.size();
        }
        for (int i = WorkBufferInflateRoom; i < WorkBufferSize; i++) ASSERT_EQ(work[i], 0xA5) << what;
        scans++;
    }
    std::vector<uint8_t> work;
    GuardedArena arena;
    size_t scans = 0;
    size_t lineCount = 0;
};

static std::string RichPng() {
    std::string big(5000, 'w');
    for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<char>('a' + i % 23);
    return Png({Chunk("tEXt", TextData("Title", "Hello")), Chunk("tEXt", "no-nul"), BigEndian32(0) + "tEXt" + BigEndian32(7),
                Chunk("zTXt", ZtxtData("Comment", "Hi there")), Chunk("zTXt", ZtxtData("Big", big)),
                Chunk("zTXt", ZtxtData("Method", "x", 1)),
                Chunk("iTXt", ItxtData("Title", 0, 0, "en-US", "Titel", "Hallo \xC3\xA9")),
                Chunk("iTXt", ItxtData("Prompt", 1, 0, "", "", Deflate(big))),
                Chunk("iTXt", ItxtData("Empty", 0, 0, "", "", ""))}, 8, 8);
}

TEST_F(Robustness, EveryTruncationOfARichPng) {
    std::string png = RichPng();
    for (size_t size = 0; size <= png.size(); size++) ScanGuarded(png.substr(0, size), "truncation");
    EXPECT_GT(lineCount, 0u);
}

TEST_F(Robustness, MutatedPngs) {
    std::string png = RichPng();
    std::mt19937 random(0x5CA11);
    const char* codes[] = {"tEXt", "zTXt", "iTXt"};
    const uint32_t lengths[] = {0u, 1u, 2u, 7u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF9u};
    for (int round = 0; round < 3000; round++) {
        std::string bytes = png;
        int mutations = 1 + static_cast<int>(random() % 8);
        for (int m = 0; m < mutations && !bytes.empty(); m++) {
            size_t at = random() % bytes.size();
            switch (random() % 6) {
            case 0: bytes[at] = static_cast<char>(random()); break;
            case 1: bytes[at] = '\0'; break;
            case 2: {  // a length field in front of a new type code
                std::string chunk = BigEndian32(random() % 2 ? lengths[random() % 8] : static_cast<uint32_t>(random() % 64)) +
                                    codes[random() % 3];
                bytes.replace(at, std::min(chunk.size(), bytes.size() - at), chunk.substr(0, bytes.size() - at));
                break;
            }
            case 3: bytes.resize(at); break;
            case 4: bytes.erase(at, random() % 16); break;
            default: {  // wipe a run of bytes so that fields lose their terminating zeros
                size_t run = std::min<size_t>(random() % 40, bytes.size() - at);
                memset(&bytes[at], 'Q', run);
                break;
            }
            }
        }
        ScanGuarded(bytes, "mutation");
    }
    EXPECT_EQ(scans, 3000u);
}

TEST_F(Robustness, RandomBlocksWithPlantedCodes) {
    std::mt19937 random(0xB10C);
    const char* codes[] = {"tEXt", "zTXt", "iTXt"};
    for (int round = 0; round < 3000; round++) {
        std::string bytes(random() % 600, '\0');
        bool noZeros = round % 3 == 0;  // fields that run to the end of the block
        for (char& c : bytes) c = static_cast<char>(noZeros ? 1 + random() % 255 : random());
        int plants = static_cast<int>(random() % 6);
        for (int i = 0; i < plants && bytes.size() >= 4; i++) {
            size_t at = random() % (bytes.size() - 3);
            memcpy(&bytes[at], codes[random() % 3], 4);
        }
        // Sometimes a real zlib stream where a zTXt or compressed iTXt would start it.
        if (round % 5 == 0 && bytes.size() > 40) {
            std::string stream = Deflate(std::string(random() % 3000, 'k'));
            size_t at = random() % (bytes.size() - 20);
            bytes.replace(at, std::min(stream.size(), bytes.size() - at), stream.substr(0, bytes.size() - at));
        }
        ScanGuarded(bytes, "random");
    }
    EXPECT_EQ(scans, 3000u);
}

TEST_F(Robustness, EveryTinyBlockOfCodeLetters) {
    // All blocks of up to 9 bytes over a small alphabet around the codes' letters, ends on both sides.
    const char alphabet[] = {'\0', 't', 'E', 'X', 'i', 'T'};
    for (size_t size = 0; size <= 9; size++) {
        size_t combinations = 1;
        for (size_t i = 0; i < size; i++) combinations *= 6;
        for (size_t k = 0; k < combinations; k += (size > 7 ? 37 : 1)) {
            std::string bytes(size, '\0');
            size_t rest = k;
            for (size_t i = 0; i < size; i++, rest /= 6) bytes[i] = alphabet[rest % 6];
            ScanGuarded(bytes, "tiny");
        }
    }
}

TEST_F(Robustness, BlockOfCodesWithoutZerosEndsInLinearTime) {
    // Every code takes the code before it as a length past the end, and no 0x00 ends any field:
    // one "tEXt :  " line per code. Searching to the end once per code would take hours here.
    std::string bytes;
    for (int i = 0; i < (1 << 20); i++) bytes += "tEXt";
    RecordingSink sink;
    SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &sink, work.data());
    ASSERT_EQ(sink.lines.size(), (1u << 20) - 1);
    EXPECT_EQ(sink.lines.front(), L"tEXt :  ");
    EXPECT_EQ(sink.lines.back(), L"tEXt :  ");
}
