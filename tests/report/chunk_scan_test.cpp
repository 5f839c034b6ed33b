// chunk_scan_test.cpp: the search over a loaded block and the tEXt report lines.
#include <gtest/gtest.h>
#include <random>
#include "report/chunk_scan.h"
#include "report/compressed_text.h"
#include "report/json_lines.h"
#include "tests/fuzz/guarded_views.h"
#include "tests/report/recording_sink.h"
#include "tests/report/test_png.h"

using namespace testpng;
using Lines = std::vector<std::wstring>;

static Lines ScanBytes(const std::string& bytes) {
    RecordingSink sink;
    SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &sink, nullptr);
    return sink.lines;
}

static const std::string Nul(1, '\0');

TEST(TextChunkLines, KeywordBlankText) {
    EXPECT_EQ(ScanBytes(Png({Chunk("tEXt", TextData("Title", "Hello"))})), Lines{L"tEXt : Title Hello"});
}

TEST(TextChunkLines, DataWithoutNulGivesEmptyKeywordAndText) {
    EXPECT_EQ(ScanBytes(Png({Chunk("tEXt", "TitleHello")})), Lines{L"tEXt :  "});
}

TEST(TextChunkLines, LeadingNulGivesEmptyKeyword) {
    EXPECT_EQ(ScanBytes(Png({Chunk("tEXt", Nul + "Hello")})), Lines{L"tEXt :  Hello"});
}

TEST(TextChunkLines, TextEndsAtNextNulInsideTheData) {
    EXPECT_EQ(ScanBytes(Png({Chunk("tEXt", "Key" + Nul + "one" + Nul + "two")})), Lines{L"tEXt : Key one"});
}

TEST(TextChunkLines, TwoChunksInFileOrderAndBadCrcIgnored) {
    std::string bad = Chunk("tEXt", TextData("Second", "2"));
    bad[bad.size() - 1] ^= 0x55;
    EXPECT_EQ(ScanBytes(Png({Chunk("tEXt", TextData("First", "1")), bad})),
              (Lines{L"tEXt : First 1", L"tEXt : Second 2"}));
}

TEST(TextChunkLines, BytesAreAnsiNeverUtf8) {
    // Code page 1252: E9 is e acute, 80 the euro sign; the UTF-8 pair C3 A9 stays two characters.
    EXPECT_EQ(ScanBytes(Png({Chunk("tEXt", TextData("Caf\xE9", "\x80 \xC3\xA9"))})),
              Lines{L"tEXt : Caf\u00E9 \u20AC \u00C3\u00A9"});
}

TEST(TextChunkLines, ZeroLengthWritesWrongSizeAndGoesOnAfterTheCrc) {
    // The CRC of the empty chunk is made to spell a type code: the search must skip it (d + 4).
    std::string empty = BigEndian32(0) + "tEXt" + "zTXt";
    std::string bytes = Png({empty, Chunk("tEXt", TextData("After", "ok"))});
    EXPECT_EQ(ScanBytes(bytes), (Lines{L"tEXt : wrong size", L"tEXt : After ok"}));
}

TEST(TextChunkLines, ZeroLengthAtTheVeryEnd) {
    EXPECT_EQ(ScanBytes(BigEndian32(0) + "tEXt"), Lines{L"tEXt : wrong size"});
}

TEST(TextChunkLines, DataPastTheEndIsReportedUpToTheEnd) {
    // Declared 200 bytes, 9 present: keyword and text split at the first NUL, text to the end.
    std::string bytes = "abcd" + BigEndian32(200) + "tEXt" + "Key" + Nul + "tail!";
    EXPECT_EQ(ScanBytes(bytes), Lines{L"tEXt : Key tail!"});
}

TEST(TextChunkLines, DataPastTheEndWithoutNulGivesEmptyFields) {
    EXPECT_EQ(ScanBytes(BigEndian32(1000) + "tEXt" + "abc"), Lines{L"tEXt :  "});
    EXPECT_EQ(ScanBytes(BigEndian32(1000) + "tEXt"), Lines{L"tEXt :  "});
}

TEST(TextChunkLines, TopBitLengthsAreCutAtTheEnd) {
    for (uint32_t length : {0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF8u}) {
        std::string bytes = BigEndian32(length) + "tEXt" + "K" + Nul + "v";
        EXPECT_EQ(ScanBytes(bytes), Lines{L"tEXt : K v"}) << length;
    }
}

TEST(TextChunkLines, DataPastTheEndGoesOnAtTheDataStart) {
    // A chunk that claims more than the block holds: its data is searched too.
    std::string inner = Chunk("tEXt", TextData("Inner", "x"));
    std::string bytes = "abcd" + BigEndian32(5000) + "tEXt" + "Outer" + Nul + "y" + inner;
    EXPECT_EQ(ScanBytes(bytes), (Lines{L"tEXt : Outer y", L"tEXt : Inner x"}));
}

TEST(Search, WholeTextChunkIsSkippedUpToItsCrc) {
    // A type code inside tEXt data is passed over: the search goes on at d + L + 4.
    std::string inner = Chunk("tEXt", TextData("Hidden", "h"));
    EXPECT_EQ(ScanBytes(Png({Chunk("tEXt", TextData("Outer", inner))})).size(), 1u);
}

TEST(Search, CodesInsideOtherDataAreFound) {
    // No PNG structure: a tEXt code inside IDAT data of a non-PNG file is a chunk too.
    std::string bytes = "junk" + Chunk("IDAT", "xx" + Chunk("tEXt", TextData("In", "idat")) + "yy");
    EXPECT_EQ(ScanBytes(bytes), Lines{L"tEXt : In idat"});
}

TEST(Search, OffsetsBelowFourAreNeverTested) {
    EXPECT_TRUE(ScanBytes("tEXt" + BigEndian32(1) + "A").empty());
    EXPECT_TRUE(ScanBytes("abctEXt" + Nul + "A").empty());  // at 3: no length in front
    EXPECT_EQ(ScanBytes(BigEndian32(3) + "tEXt" + "A" + Nul + "B"), Lines{L"tEXt : A B"});
}

TEST(Search, OtherTypeCodesAndNearMissesAreIgnored) {
    std::string bytes = "abcd" + Chunk("TEXt", TextData("a", "b")) + Chunk("tEXT", TextData("a", "b")) +
                        Chunk("zTxt", TextData("a", "b")) + Chunk("itXt", TextData("a", "b")) +
                        Chunk("iEXt", TextData("a", "b")) + Chunk("zEXt", TextData("a", "b"));
    EXPECT_TRUE(ScanBytes(bytes).empty());
}

TEST(Search, TypeCodeInTheLastFourBytes) {
    EXPECT_EQ(ScanBytes(BigEndian32(9) + "tEXt"), Lines{L"tEXt :  "});
    EXPECT_TRUE(ScanBytes(BigEndian32(9) + "tEX").empty());
}

TEST(Search, TinyAndEmptyBlocks) {
    for (size_t n = 0; n < 9; n++) EXPECT_TRUE(ScanBytes(std::string(n, 'X')).empty());
    RecordingSink sink;
    SearchTextChunks(nullptr, 100, &sink, nullptr);
    EXPECT_TRUE(sink.lines.empty());
}

// The fast candidate search must agree with testing every offset one by one.
static size_t NaiveFind(const std::string& b, size_t from) {
    for (size_t p = from; p + 4 <= b.size(); p++) {
        std::string four = b.substr(p, 4);
        if (four == "tEXt" || four == "zTXt" || four == "iTXt") return p;
    }
    return b.size();
}

TEST(Search, FastCandidateSearchAgreesWithEveryOffsetTest) {
    std::mt19937 random(20240611);
    const char* pieces[] = {"tEXt", "zTXt", "iTXt", "Xt", "XtXt", "tEX", "zTX", "iTX", "Xtt", "TXt", "EXt", "XXt"};
    for (int round = 0; round < 400; round++) {
        size_t size = random() % 300;
        std::string b(size, '\0');
        // Few distinct letters so that near misses are frequent.
        for (char& c : b) c = "XtEiTz\0a"[random() % 8];
        int plants = static_cast<int>(random() % 6);
        for (int i = 0; i < plants && size > 0; i++) {
            std::string piece = pieces[random() % 12];
            size_t at = random() % size;
            b.replace(at, std::min(piece.size(), size - at), piece.substr(0, size - at));
        }
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(b.data());
        for (size_t from = 0; from <= size + 1; from++) {
            ASSERT_EQ(FindTextChunkType(bytes, size, from), NaiveFind(b, from)) << "round " << round << " from " << from;
        }
    }
}

TEST(Search, FastCandidateSearchAtEveryAlignmentNearTheEnd) {
    for (size_t size = 4; size < 160; size++) {
        for (size_t at = 0; at + 4 <= size; at++) {
            std::string b(size, 'X');
            b.replace(at, 4, "iTXt");
            ASSERT_EQ(FindTextChunkType(reinterpret_cast<const uint8_t*>(b.data()), size, 0), at) << size;
        }
    }
}

TEST(ReportTextAssembly, LinesJoinedByCrLfWithoutTrailingBreak) {
    ReportText report;
    report.Append(L"first");  // an empty report gets no leading break
    EXPECT_EQ(report.Text(), L"first");
    report.Append(L"second");
    EXPECT_EQ(report.Text(), L"first\r\nsecond");
    report.Start(L"x", true);
    EXPECT_EQ(report.Text(), L"file:x");
    report.Start(L"y", false);
    EXPECT_EQ(report.Text(), L"file:x\r\nfile:y");
}

TEST(RunawayReports, OverlappingTruncatedChunksAreCutWithAVisibleLine) {
    // Every "tEXt" here declares a length past the end, so each one's text runs on to the final NUL:
    // 100 KB of file would otherwise ask for 1.25 G characters of report.
    std::string block;
    for (int i = 0; i < 25000; i++) block += "tEXt";
    block += Nul;
    Lines lines = ScanBytes(block);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(ReportCutLine(), lines.back());
    size_t characters = 0;
    for (size_t i = 0; i + 1 < lines.size(); i++) characters += lines[i].size();
    EXPECT_GT(characters, MaxReportCharacters);
    EXPECT_LE(characters, MaxReportCharacters + block.size()) << "stops at the first chunk past the limit";
    EXPECT_EQ(0u, lines[0].find(L"tEXt : tEXttEXt")) << "the lines before the cut are as the rules give them";
}

TEST(RunawayReports, ASinkWithoutACutGetsEveryChunkWhole) {
    // A text just past the limit, then a small chunk: the window's report stops before the second,
    // a sink that writes each line out (the console's) gets both, in their plain form.
    const std::string bytes = Png({Chunk("tEXt", TextData("Big", std::string(MaxReportCharacters + 100, 'x'))),
                                   Chunk("tEXt", TextData("workflow", "{}"))});
    RecordingSink cut;
    SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &cut, nullptr);
    ASSERT_EQ(2u, cut.chunks.size());
    EXPECT_EQ(LineForm::ReportCut, cut.chunks[1].record.form);
    class UncutSink : public RecordingSink {
    public:
        size_t ReportCharacterLimit() const override { return NoReportCut; }
    } whole;
    EXPECT_EQ(SearchEnd::Finished,
              SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &whole, nullptr));
    ASSERT_EQ(2u, whole.chunks.size());
    EXPECT_EQ(LineForm::Plain, whole.chunks[1].record.form);
    EXPECT_EQ(L"tEXt : workflow {}", whole.lines[1]);
    EXPECT_EQ(MaxReportCharacters + 100, whole.chunks[0].record.text.size());
}

TEST(RunawayReports, ReportsBelowTheLimitAreWhole) {
    // One 8 Mi-character text: far more than real files hold, still reported whole.
    const std::string text(8u << 20, 'x');
    Lines lines = ScanBytes(Png({Chunk("tEXt", TextData("Big", text))}));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(L"tEXt : Big " + std::wstring(text.size(), L'x'), lines[0]);
}

// The same file searched whole and in views that slide along it: the same records, at the same
// offsets, with the same CRC checks, wherever a view ends (inside a length, a type code, a keyword, a
// text, compressed data, a CRC) and however far a chunk's fields reach past it.
TEST(SearchInViews, GivesWhatTheWholeFileGivesWhereverAViewEnds) {
    std::string prompt;
    for (int i = 0; prompt.size() < 300; i++) prompt += "word " + std::to_string(i) + " ";
    const std::string chunks =
        Chunk("tEXt", TextData("Title", "Hello")) + Chunk("zTXt", ZtxtData("Comment", prompt)) +
        Chunk("iTXt", ItxtData("workflow", 1, 0, "en", "Fluss", Deflate(prompt))) +
        Chunk("iTXt", ItxtData("Stored", 0, 0, "", "", "stored text")) + Chunk("tEXt", "") +
        Chunk("zTXt", ZtxtData("Method", "x", 1)) + Chunk("zTXt", Nul + "no keyword") +
        std::string(prompt.size(), 'k') + ChunkDeclaring(200, "tEXt", "Cut" + Nul + "at the end of the file");
    std::vector<uint8_t> work(WorkBufferSize);
    int searches = 0, views = 0;
    for (size_t pad = 0; pad < 40; pad++) {
        const std::string file = Png({std::string(pad, 'p') + chunks});
        auto jsonOf = [&](RecordingSink& sink) {
            std::string json;
            for (const RecordedChunk& chunk : sink.chunks) {
                AppendChunkJson(json, L"f", chunk.record);
                json += std::to_string(static_cast<int>(chunk.crc));
            }
            return json;
        };
        RecordingSink whole;
        SearchTextChunks(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &whole, work.data());
        ASSERT_EQ(whole.lines.size(), 8u);
        for (size_t viewSize : {16u, 23u, 64u}) {
            fuzz::GuardedViews source(file, viewSize, pad % 5);
            RecordingSink viewed;
            EXPECT_EQ(SearchEnd::Finished, SearchTextChunks(source.First(), &source, &viewed, work.data()));
            EXPECT_EQ(whole.lines, viewed.lines) << "pad " << pad << ", views of " << viewSize;
            EXPECT_EQ(jsonOf(whole), jsonOf(viewed)) << "pad " << pad << ", views of " << viewSize;
            searches++;
            views += source.shown;
        }
    }
    EXPECT_GT(views, searches * 20) << "the views were not small";
}
