// compressed_text_test.cpp: zTXt and iTXt report lines, inflation limits and field bounds.
#include <gtest/gtest.h>
#include <cstring>
#include "report/chunk_scan.h"
#include "report/compressed_text.h"
#include "tests/report/recording_sink.h"
#include "tests/report/test_png.h"

using namespace testpng;
using Lines = std::vector<std::wstring>;

static const std::string Nul(1, '\0');

class CompressedText : public testing::Test {
protected:
    CompressedText() : work(WorkBufferSize, 0xCC) {}
    // Every scan also checks that the work buffer's last 8 bytes were never written.
    Lines Scan(const std::string& bytes, bool withWorkBuffer = true) {
        RecordingSink sink;
        SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &sink,
                         withWorkBuffer ? work.data() : nullptr);
        for (int i = WorkBufferInflateRoom; i < WorkBufferSize; i++) EXPECT_EQ(work[i], 0xCC) << i;
        return sink.lines;
    }
    static std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
    std::vector<uint8_t> work;
};

// ---- zTXt ----

TEST_F(CompressedText, ZtxtKeywordBlankInflatedText) {
    EXPECT_EQ(Scan(Png({Chunk("zTXt", ZtxtData("Comment", "Hi"))})), Lines{L"zTXt: Comment Hi"});
}

TEST_F(CompressedText, ZtxtNoKeyword) {
    EXPECT_EQ(Scan(Png({Chunk("zTXt", Nul + Nul + Deflate("x"))})), Lines{L"zTXt: no keyword"});
}

TEST_F(CompressedText, ZtxtNoKeywordGoesOnAtTheData) {
    // The search resumes at d, so a chunk that starts in the data right after the 0x00 is found.
    std::string bytes = "abcd" + BigEndian32(30) + "zTXt" + Nul + Chunk("tEXt", TextData("K", "v"));
    EXPECT_EQ(Scan(bytes), (Lines{L"zTXt: no keyword", L"tEXt : K v"}));
}

TEST_F(CompressedText, ZtxtUnknownMethodGoesOnAtTheMethodByte) {
    EXPECT_EQ(Scan(Png({Chunk("zTXt", ZtxtData("Comment", "Hi", 1))})), Lines{L"zTXt: unkn method:"});
    // The method byte (01) is the first byte of a length field: a chunk starting there is found.
    std::string bytes = "abcd" + BigEndian32(40) + "zTXt" + "Key" + Nul + BigEndian32(0x01000000) + "tEXt" + "K" + Nul + "v";
    EXPECT_EQ(Scan(bytes), (Lines{L"zTXt: unkn method:", L"tEXt : K v"}));
}

TEST_F(CompressedText, ZtxtGarbageGivesKeywordAndBlank) {
    EXPECT_EQ(Scan(Png({Chunk("zTXt", "Comment" + Nul + Nul + "garbage bytes")})), Lines{L"zTXt: Comment "});
    EXPECT_EQ(Scan(Png({Chunk("zTXt", "Comment" + Nul + Nul)})), Lines{L"zTXt: Comment "});
}

TEST_F(CompressedText, ZtxtDamagedStreamShowsWhatCameBeforeTheDamage) {
    // Stored blocks (level 0) copy input to output as it arrives: cut the stream inside the block.
    std::string stream = Deflate("ABCDEFGHIJ", 0);  // 2 header + 5 block header + 10 + 4 Adler-32
    EXPECT_EQ(Scan(Png({Chunk("zTXt", "K" + Nul + Nul + stream.substr(0, 12))})), Lines{L"zTXt: K ABCDE"});
    std::string badTrailer = stream;
    badTrailer[badTrailer.size() - 1] ^= 1;
    EXPECT_EQ(Scan(Png({Chunk("zTXt", "K" + Nul + Nul + badTrailer)})), Lines{L"zTXt: K ABCDEFGHIJ"});
}

TEST_F(CompressedText, ZtxtTextIsAnsiNeverUtf8) {
    EXPECT_EQ(Scan(Png({Chunk("zTXt", ZtxtData("Caf\xE9", "\xE9t\xE9 \xC3\xA9"))})),
              Lines{L"zTXt: Caf\u00E9 \u00E9t\u00E9 \u00C3\u00A9"});
}

TEST_F(CompressedText, ZtxtKeywordSearchRunsPastTheDeclaredLength) {
    // Declared length 3 covers "Com" only; the keyword runs on to its 0x00, and the compressed
    // length (3 - 7 - 2) is negative: nothing is inflated.
    std::string data = ZtxtData("Comment", "Hi");
    EXPECT_EQ(Scan("abcd" + BigEndian32(3) + "zTXt" + data), Lines{L"zTXt: Comment "});
}

TEST_F(CompressedText, ZtxtCompressedLengthIsCutAtTheBlockEnd) {
    std::string data = ZtxtData("Comment", "Hi");
    EXPECT_EQ(Scan("abcd" + BigEndian32(0xFFFFFFF0u) + "zTXt" + data), Lines{L"zTXt: Comment Hi"});
}

TEST_F(CompressedText, ZtxtFieldsMeetingTheBlockEnd) {
    // Keyword without 0x00 up to the end, and a keyword whose 0x00 is the last byte: no method byte.
    EXPECT_EQ(Scan("abcd" + BigEndian32(50) + "zTXt" + "Keyword"), Lines{L"zTXt: unkn method:"});
    EXPECT_EQ(Scan("abcd" + BigEndian32(50) + "zTXt" + "Keyword" + Nul), Lines{L"zTXt: unkn method:"});
    EXPECT_EQ(Scan("abcd" + BigEndian32(50) + "zTXt"), Lines{L"zTXt: no keyword"});
    EXPECT_EQ(Scan("abcd" + BigEndian32(50) + "zTXt" + "K" + Nul + Nul), Lines{L"zTXt: K "});
}

TEST_F(CompressedText, CodesInsideCompressedDataAreFound) {
    std::string inner = Chunk("tEXt", TextData("Inside", "zdata"));
    EXPECT_EQ(Scan(Png({Chunk("zTXt", "K" + Nul + Nul + inner)})), (Lines{L"zTXt: K ", L"tEXt : Inside zdata"}));
}

TEST_F(CompressedText, ZtxtWithoutWorkBufferShowsEmptyText) {
    EXPECT_EQ(Scan(Png({Chunk("zTXt", ZtxtData("Comment", "Hi"))}), false), Lines{L"zTXt: Comment "});
}

// ---- inflation beyond the work buffer ----

static std::string Pattern(size_t size) {
    std::string text(size, 'a');
    for (size_t i = 0; i < size; i++) text[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    return text;
}

TEST_F(CompressedText, TextThatFitsOrOverflowsIsShownWhole) {
    for (size_t size : {32759u, 32760u, 32761u, 40000u, 70000u, 1000000u}) {
        std::string text = Pattern(size);
        Lines lines = Scan(Png({Chunk("zTXt", ZtxtData("Big", text))}));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], L"zTXt: Big " + Widen(text)) << size;
    }
}

TEST_F(CompressedText, DamageBeyondTheWorkBufferShowsEverythingBeforeIt) {
    std::string text = Pattern(40000);
    std::string stream = Deflate(text, 0);  // one stored block: 2 + 5 header bytes, then the text
    Lines lines = Scan(Png({Chunk("zTXt", "K" + Nul + Nul + stream.substr(0, 7 + 35000))}));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"zTXt: K " + Widen(text.substr(0, 35000)));
}

TEST_F(CompressedText, InflationStopsAtSixteenMebibytes) {
    std::string bomb = Deflate(std::string(20 * 1024 * 1024, 'z'));
    Lines lines = Scan(Png({Chunk("zTXt", "Bomb" + Nul + Nul + bomb)}));
    ASSERT_EQ(lines.size(), 1u);
    const std::wstring prefix = L"zTXt: Bomb ";
    ASSERT_EQ(lines[0].size(), prefix.size() + static_cast<size_t>(MaxInflatedText));
    EXPECT_EQ(lines[0].find_first_not_of(L'z', prefix.size()), std::wstring::npos);
}

// ---- iTXt ----

TEST_F(CompressedText, ItxtTwoLetterTag) {
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "en", "Titel", "Hallo"))})),
              Lines{L"iTXt : (en)Title(Titel) Hallo"});
}

TEST_F(CompressedText, ItxtWholeLanguageTag) {
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "en-US", "Titel", "Hallo"))})),
              Lines{L"iTXt : (en-US)Title(Titel) Hallo"});
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "x", "Titel", "Hallo"))})),
              Lines{L"iTXt : (x)Title(Titel) Hallo"});
}

TEST_F(CompressedText, ItxtWithoutTagOrTranslatedKeyword) {
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "", "Titel", "Hallo"))})),
              Lines{L"iTXt : Title(Titel) Hallo"});
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "", "", "Hallo"))})), Lines{L"iTXt : Title(?\?) Hallo"});
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "de", "", ""))})), Lines{L"iTXt : (de)Title(?\?) "});
}

TEST_F(CompressedText, ItxtNoKeyword) {
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("", 0, 0, "en", "T", "x"))})), Lines{L"iTXt : no keyword"});
}

TEST_F(CompressedText, ItxtUtf8BeyondLatin1) {
    std::string greek = "\xCE\xA4\xCE\xAF\xCF\x84\xCE\xBB\xCE\xBF\xCF\x82";  // Titlos in Greek
    std::string japanese = "\xE3\x83\x95\xE3\x83\xAA\xE3\x83\xBC";      // furii in katakana
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "el", greek, japanese))})),
              Lines{L"iTXt : (el)Title(\u03A4\u03AF\u03C4\u03BB\u03BF\u03C2) \u30D5\u30EA\u30FC"});
    // A text whose last bytes before its 0x00 are an invalid and an incomplete sequence: the 0x00 takes
    // part in the conversion, so the incomplete F3 A0 F2 gives its own U+FFFD, stored or inflated.
    std::string cut = std::string("\x85\xF3\xA0\xF2", 4) + Nul + "x";
    const Lines three{L"iTXt : K(?\?) \uFFFD\uFFFD\uFFFD"};
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("K", 0, 0, "", "", cut))})), three);
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("K", 1, 0, "", "", Deflate(cut)))})), three);
}

TEST_F(CompressedText, ItxtCompressedTextIsInflatedAsUtf8) {
    std::string text = "Gr\xC3\xBC\xC3\x9F" "e";  // Gruesse with u-umlaut and sharp s
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 1, 0, "de", "Titel", Deflate(text)))})),
              Lines{L"iTXt : (de)Title(Titel) Gr\u00FC\u00DFe"});
    std::string big = Pattern(50000);
    Lines lines = Scan(Png({Chunk("iTXt", ItxtData("Prompt", 1, 0, "", "", Deflate(big)))}));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"iTXt : Prompt(?\?) " + Widen(big));
}

TEST_F(CompressedText, ItxtOtherFlagsAndMethodsShowTheStoredText) {
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 1, 1, "", "", "stored"))})), Lines{L"iTXt : Title(?\?) stored"});
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 2, 0, "", "", "stored"))})), Lines{L"iTXt : Title(?\?) stored"});
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "", "", "x\xC3\xA9"))})), Lines{L"iTXt : Title(?\?) x\u00E9"});
}

TEST_F(CompressedText, ItxtCompressedWithoutWorkBufferShowsEmptyText) {
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 1, 0, "", "", Deflate("abc")))}), false),
              Lines{L"iTXt : Title(?\?) "});
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "", "", "abc"))}), false),
              Lines{L"iTXt : Title(?\?) abc"});
}

TEST_F(CompressedText, ItxtGoesOnAtTheFirstTextByte) {
    std::string inner = Chunk("tEXt", TextData("Inner", "i"));
    EXPECT_EQ(Scan(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "", "", inner))})),
              (Lines{L"iTXt : Title(?\?) ", L"tEXt : Inner i"}));
}

TEST_F(CompressedText, ItxtTextIsTheRestOfTheDeclaredData) {
    // Declared length ends two bytes into the text; a length that the fields already exceed gives no text.
    std::string data = ItxtData("K", 0, 0, "", "", "abcdef");
    EXPECT_EQ(Scan("abcd" + BigEndian32(static_cast<uint32_t>(data.size() - 4)) + "iTXt" + data),
              Lines{L"iTXt : K(?\?) ab"});
    EXPECT_EQ(Scan("abcd" + BigEndian32(2) + "iTXt" + data), Lines{L"iTXt : K(?\?) "});
}

TEST_F(CompressedText, ItxtFieldsMeetingTheBlockEnd) {
    std::string head = "abcd" + BigEndian32(100) + "iTXt";
    EXPECT_EQ(Scan(head + "Key"), Lines{L"iTXt : Key(?\?) "});
    EXPECT_EQ(Scan(head + "Key" + Nul + std::string(1, '\1')), Lines{L"iTXt : Key(?\?) "});
    EXPECT_EQ(Scan(head + "Key" + Nul + Nul + Nul + "en-G"), Lines{L"iTXt : (en-G)Key(?\?) "});
    EXPECT_EQ(Scan(head + "Key" + Nul + Nul + Nul + "en" + Nul + "Tra"), Lines{L"iTXt : (en)Key(Tra) "});
    EXPECT_EQ(Scan(head + "Key" + Nul + Nul + Nul + "en" + Nul + "Tra" + Nul + "te"), Lines{L"iTXt : (en)Key(Tra) te"});
    EXPECT_EQ(Scan(head), Lines{L"iTXt : no keyword"});
}

// ---- where the search goes on: a type code placed exactly at the resume offset is found ----

TEST_F(CompressedText, ResumeOffsetsAreExact) {
    const std::string head = "abcd" + BigEndian32(0x1000) + "zTXt";
    const std::string tail = "tEXt" + std::string("K") + Nul + "v";  // found only if the search starts at its 't'
    // zTXt without keyword: resumes at d; the code at d + 1 takes "TXt" + 00 as its length.
    EXPECT_EQ(Scan(head + Nul + tail), (Lines{L"zTXt: no keyword", L"tEXt : K v"}));
    // Codes inside the keyword fields are passed over: the search does not resume too early either.
    // Unknown method: resumes at the method byte, here the 't' of the code.
    EXPECT_EQ(Scan(head + "KeiTXt" + Nul + tail), (Lines{L"zTXt: unkn method:", L"tEXt : K v"}));
    // zTXt: resumes at the first compressed byte.
    EXPECT_EQ(Scan(head + "ABiTXt" + Nul + Nul + tail), (Lines{L"zTXt: ABiTXt ", L"tEXt : K v"}));
    // iTXt: resumes at the first text byte.
    EXPECT_EQ(Scan("abcd" + BigEndian32(0x1000) + "iTXt" + ItxtData("Title", 0, 0, "", "iTXtABC", tail)),
              (Lines{L"iTXt : Title(iTXtABC) tEXtK", L"tEXt : K v"}));
    // tEXt past the end: resumes at d, where the next code starts.
    EXPECT_EQ(Scan(BigEndian32(1000) + "tEXt" + tail), (Lines{L"tEXt : tEXtK v", L"tEXt : K v"}));
}

TEST_F(CompressedText, ReturnedOffsetsNeverPassTheBlockEnd) {
    RecordingSink sink;
    InflateSpace space(work.data());
    TextChunkRecord record;
    // The parsers fill the record; here the test hands it to the sink as the search would.
    auto parsed = [&](size_t resume) {
        sink.AppendReportLine(record);
        return resume;
    };
    std::string data = "Key";
    ScanBlock b = ScanBlock::Whole(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    EXPECT_EQ(parsed(ReportZtxtChunk(b, 0, 100, &space, &record)), data.size());
    EXPECT_EQ(parsed(ReportItxtChunk(b, 0, 100, &space, &record)), data.size());
    EXPECT_EQ(parsed(ReportZtxtChunk(b, data.size(), 100, &space, &record)), data.size());
    EXPECT_EQ(parsed(ReportItxtChunk(b, data.size(), 100, &space, &record)), data.size());
    std::string full = "Key" + Nul + Nul;
    ScanBlock f = ScanBlock::Whole(reinterpret_cast<const uint8_t*>(full.data()), full.size());
    EXPECT_EQ(parsed(ReportZtxtChunk(f, 0, 100, &space, &record)), full.size());
    EXPECT_EQ(parsed(ReportItxtChunk(f, 0, 100, &space, &record)), full.size());
    EXPECT_EQ(sink.lines, (Lines{L"zTXt: unkn method:", L"iTXt : Key(?\?) ", L"zTXt: no keyword", L"iTXt : no keyword",
                                 L"zTXt: Key ", L"iTXt : Key(?\?) "}));
}
