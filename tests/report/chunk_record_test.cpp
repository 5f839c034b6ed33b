// chunk_record_test.cpp: the facts of each chunk record and their JSON Lines form.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "report/chunk_scan.h"
#include "report/compressed_text.h"
#include "report/json_lines.h"
#include "report/utf8_encoding.h"
#include "tests/report/recording_sink.h"
#include "tests/report/test_png.h"

using namespace testpng;

static const std::string Nul(1, '\0');

namespace {

std::vector<RecordedChunk> Records(const std::string& bytes) {
    std::vector<uint8_t> work(WorkBufferSize);
    RecordingSink sink;
    SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &sink, work.data());
    return sink.chunks;
}

struct Facts {
    const char* what;
    std::string chunk;  // placed after the IHDR of a PNG, its type code found as the first text code
    ChunkType type;
    LineForm form;
    bool compressed;
    CrcCheck crc;
    InflateOutcome inflate;
    bool utf8Valid;
};

std::string WithBadCrc(std::string chunk) {
    chunk.back() ^= 0x55;
    return chunk;
}

// A zlib stream whose last byte, part of its Adler-32 check value, is changed.
std::string WithBadCheck(std::string stream) {
    stream.back() ^= 0x01;
    return stream;
}

std::string BombStream() {
    return Deflate(std::string(MaxInflatedText + 1000, 'b'));
}

}  // namespace

TEST(ChunkRecords, FactsOfEachKindOfChunk) {
    const std::string stream = Deflate("ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz", 0);
    const Facts table[] = {
        {"tEXt", Chunk("tEXt", TextData("Title", "Hello")), ChunkType::Text, LineForm::Plain, false, CrcCheck::Ok,
         InflateOutcome::NotInflated, true},
        {"tEXt, CRC changed", WithBadCrc(Chunk("tEXt", TextData("Title", "Hello"))), ChunkType::Text, LineForm::Plain,
         false, CrcCheck::Bad, InflateOutcome::NotInflated, true},
        {"tEXt of length 0", Chunk("tEXt", ""), ChunkType::Text, LineForm::WrongSize, false, CrcCheck::Ok,
         InflateOutcome::NotInflated, true},
        {"zTXt", Chunk("zTXt", ZtxtData("Comment", "Hi")), ChunkType::CompressedText, LineForm::Plain, true, CrcCheck::Ok,
         InflateOutcome::Complete, true},
        {"zTXt, stream cut short", Chunk("zTXt", "K" + Nul + Nul + stream.substr(0, 20)), ChunkType::CompressedText,
         LineForm::Plain, true, CrcCheck::Ok, InflateOutcome::Truncated, true},
        {"zTXt, garbage", Chunk("zTXt", "K" + Nul + Nul + "garbage bytes"), ChunkType::CompressedText, LineForm::Plain,
         true, CrcCheck::Ok, InflateOutcome::Damaged, true},
        {"zTXt, check value changed", Chunk("zTXt", "K" + Nul + Nul + WithBadCheck(stream)), ChunkType::CompressedText,
         LineForm::Plain, true, CrcCheck::Ok, InflateOutcome::Damaged, true},
        {"zTXt past the work buffer, check value changed",
         Chunk("zTXt", "K" + Nul + Nul + WithBadCheck(Deflate(std::string(100000, 'c')))), ChunkType::CompressedText,
         LineForm::Plain, true, CrcCheck::Ok, InflateOutcome::Damaged, true},
        {"zTXt, check value cut short", Chunk("zTXt", "K" + Nul + Nul + stream.substr(0, stream.size() - 1)),
         ChunkType::CompressedText, LineForm::Plain, true, CrcCheck::Ok, InflateOutcome::Truncated, true},
        {"zTXt, bomb", Chunk("zTXt", "Bomb" + Nul + Nul + BombStream()), ChunkType::CompressedText, LineForm::Plain,
         true, CrcCheck::Ok, InflateOutcome::Limit, true},
        {"zTXt, method 1", Chunk("zTXt", ZtxtData("Comment", "Hi", 1)), ChunkType::CompressedText,
         LineForm::UnknownMethod, true, CrcCheck::Ok, InflateOutcome::NotInflated, true},
        {"zTXt, no keyword", Chunk("zTXt", Nul + Nul + Deflate("x")), ChunkType::CompressedText, LineForm::NoKeyword,
         true, CrcCheck::Ok, InflateOutcome::NotInflated, true},
        {"iTXt", Chunk("iTXt", ItxtData("Title", 0, 0, "en", "Titel", "Hallo")), ChunkType::InternationalText,
         LineForm::Plain, false, CrcCheck::Ok, InflateOutcome::NotInflated, true},
        {"iTXt, invalid UTF-8 text", Chunk("iTXt", ItxtData("Title", 0, 0, "", "", "a\xFF" "b")),
         ChunkType::InternationalText, LineForm::Plain, false, CrcCheck::Ok, InflateOutcome::NotInflated, false},
        {"iTXt, UTF-8 cut at the end", Chunk("iTXt", ItxtData("Title", 0, 0, "", "", "ab\xC3")),
         ChunkType::InternationalText, LineForm::Plain, false, CrcCheck::Ok, InflateOutcome::NotInflated, false},
        {"iTXt, invalid translated keyword", Chunk("iTXt", ItxtData("Title", 0, 0, "", "\xC0\xAF", "ok")),
         ChunkType::InternationalText, LineForm::Plain, false, CrcCheck::Ok, InflateOutcome::NotInflated, false},
        {"iTXt, compressed", Chunk("iTXt", ItxtData("Prompt", 1, 0, "", "", Deflate("a cat"))),
         ChunkType::InternationalText, LineForm::Plain, true, CrcCheck::Ok, InflateOutcome::Complete, true},
        {"iTXt, compressed, check value changed", Chunk("iTXt", ItxtData("Prompt", 1, 0, "", "", WithBadCheck(Deflate("a cat")))),
         ChunkType::InternationalText, LineForm::Plain, true, CrcCheck::Ok, InflateOutcome::Damaged, true},
        {"iTXt, flag 1, unknown method", Chunk("iTXt", ItxtData("Prompt", 1, 7, "", "", "stored")),
         ChunkType::InternationalText, LineForm::Plain, true, CrcCheck::Ok, InflateOutcome::NotInflated, true},
        {"iTXt, no keyword", Chunk("iTXt", ItxtData("", 0, 0, "en", "T", "x")), ChunkType::InternationalText,
         LineForm::NoKeyword, false, CrcCheck::Ok, InflateOutcome::NotInflated, true},
        {"iTXt, past the end", BigEndian32(5000) + "iTXt" + ItxtData("Title", 0, 0, "", "", "cut"),
         ChunkType::InternationalText, LineForm::Plain, false, CrcCheck::Outside, InflateOutcome::NotInflated, true},
    };
    for (const Facts& row : table) {
        // The chunk last, so that a chunk running past the end finds no other code in its way.
        std::string head = Png({});
        std::string bytes = head.substr(0, 33) + row.chunk;
        std::vector<RecordedChunk> records = Records(bytes);
        ASSERT_FALSE(records.empty()) << row.what;
        const RecordedChunk& first = records[0];
        EXPECT_EQ(first.record.offset, 33u + 4u) << row.what;
        EXPECT_EQ(first.record.type, row.type) << row.what;
        EXPECT_EQ(first.record.form, row.form) << row.what;
        EXPECT_EQ(first.record.compressed, row.compressed) << row.what;
        EXPECT_EQ(first.crc, row.crc) << row.what;
        EXPECT_EQ(first.record.inflate, row.inflate) << row.what;
        EXPECT_EQ(first.utf8Valid, row.utf8Valid) << row.what;
    }
}

TEST(ChunkRecords, FieldsAreTheTextsTheLineShows) {
    std::vector<RecordedChunk> records = Records(Png({Chunk("iTXt", ItxtData("Title", 0, 0, "en-GB", "Titel", "Hallo \xC3\xA9"))}));
    ASSERT_EQ(records.size(), 1u);
    const TextChunkRecord& r = records[0].record;
    EXPECT_EQ(r.keyword, L"Title");
    EXPECT_EQ(r.language, L"en-GB");
    EXPECT_EQ(r.translatedKeyword, L"Titel");
    EXPECT_EQ(r.text, L"Hallo \u00E9");
    EXPECT_EQ(ReportLine(r), L"iTXt : (en-GB)Title(Titel) Hallo \u00E9");
    EXPECT_EQ(ReportLineLength(r), ReportLine(r).size());
}

TEST(ChunkRecords, TheCutIsARecordOfTheChunkNotReported) {
    std::string block;
    for (int i = 0; i < 25000; i++) block += "tEXt";
    block += Nul;
    RecordingSink sink;
    SearchTextChunks(reinterpret_cast<const uint8_t*>(block.data()), block.size(), &sink, nullptr);
    ASSERT_GE(sink.chunks.size(), 2u);
    const TextChunkRecord& cut = sink.chunks.back().record;
    EXPECT_EQ(cut.form, LineForm::ReportCut);
    EXPECT_EQ(cut.offset, sink.chunks[sink.chunks.size() - 2].record.offset + 4);
    EXPECT_EQ(sink.lines.back(), ReportCutLine());
    EXPECT_EQ(ReportLineLength(cut), ReportCutLine().size());
}

// Texts of ASCII alone that a sink takes as bytes (ReportSink::TakesAsciiText) make the same lines,
// JSON and texts as decoded ones, in UTF-16 and UTF-8; the others are decoded as always.
TEST(ChunkRecords, AsciiTextsLeftAsBytesFormatAsDecodedOnes) {
    std::string ascii;
    for (int byte = 1; byte < 128; byte++) ascii += static_cast<char>(byte);
    const std::string large(100000, 'w');  // inflates past the work buffer
    const std::string bytes = Png({Chunk("tEXt", TextData("Ascii", ascii)),
                                   Chunk("tEXt", TextData("Latin", "caf\xE9")),
                                   Chunk("tEXt", TextData("Cut", "before" + Nul + "after")),
                                   Chunk("tEXt", TextData("Empty", "")),
                                   Chunk("zTXt", ZtxtData("Z", ascii + large)),
                                   Chunk("zTXt", ZtxtData("Z8", "\xC3\xA9t\xC3\xA9")),
                                   Chunk("iTXt", ItxtData("I", 0, 0, "en", "\xC3\x89", "say \"hi\"\\" + Nul + "\xFF")),
                                   Chunk("iTXt", ItxtData("C", 1, 0, "", "", Deflate(large + ascii))),
                                   Chunk("iTXt", ItxtData("U", 0, 0, "", "", "\xE2\x80\xA8")),
                                   Chunk("tEXt", ""),
                                   BigEndian32(50) + "tEXt" + TextData("Past", "the end")});
    struct Formatted {
        std::wstring line, json, text;
        std::string line8, json8, text8;
        size_t length = 0;
        bool leftAsBytes = false;
    };
    class FormattingSink : public RecordingSink {
    public:
        explicit FormattingSink(bool takesAscii) : takesAscii_(takesAscii) {}
        bool TakesAsciiText() const override { return takesAscii_; }
        bool AppendReportLine(const TextChunkRecord& record) override {
            Formatted f;
            AppendReportLineText(f.line, record);
            AppendReportLineText(f.line8, record);
            AppendChunkJson(f.json, L"f", record);
            AppendChunkJson(f.json8, L"f", record);
            AppendRecordText(f.text, record);
            AppendRecordText(f.text8, record);
            f.length = ReportLineLength(record);
            f.leftAsBytes = record.asciiText.bytes != nullptr;
            formatted.push_back(f);
            return true;
        }
        std::vector<Formatted> formatted;

    private:
        bool takesAscii_;
    };
    FormattingSink decoding(false), taking(true);
    std::vector<uint8_t> work(WorkBufferSize);
    for (FormattingSink* sink : {&decoding, &taking}) {
        SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), sink, work.data());
    }
    ASSERT_EQ(decoding.formatted.size(), 11u);
    ASSERT_EQ(taking.formatted.size(), decoding.formatted.size());
    const bool leftAsBytes[] = {true, false, true, false, true, false, true, true, false, false, true};
    for (size_t i = 0; i < decoding.formatted.size(); i++) {
        const Formatted& d = decoding.formatted[i];
        const Formatted& t = taking.formatted[i];
        EXPECT_FALSE(d.leftAsBytes) << i;
        EXPECT_EQ(t.leftAsBytes, leftAsBytes[i]) << i;
        EXPECT_EQ(t.line, d.line) << i;
        EXPECT_EQ(t.json, d.json) << i;
        EXPECT_EQ(t.text, d.text) << i;
        EXPECT_EQ(t.length, d.line.size()) << i;
        std::string encoded;
        AppendUtf8(encoded, d.line);
        EXPECT_EQ(t.line8, encoded) << i;
        EXPECT_EQ(d.line8, encoded) << i;
        encoded.clear();
        AppendUtf8(encoded, d.json);
        EXPECT_EQ(t.json8, encoded) << i;
        encoded.clear();
        AppendUtf8(encoded, d.text);
        EXPECT_EQ(t.text8, encoded) << i;
    }
}

// ---- JSON Lines ----

TEST(JsonLines, EveryControlCharacterQuoteAndBackslashIsEscaped) {
    std::wstring text;
    for (wchar_t c = 0; c < 0x20; c++) text += c;
    text += L"\"\\/\x7F\u00E9\u20AC\U0001F600\u2028\u2029";
    std::string out;
    AppendJsonString(out, text);
    EXPECT_EQ(out,
              "\"\\u0000\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000B\\f\\r\\u000E\\u000F"
              "\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018\\u0019\\u001A\\u001B\\u001C\\u001D"
              "\\u001E\\u001F\\\"\\\\/\x7F\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\\u2028\\u2029\"");
}

TEST(JsonLines, TheUtf8FormIsTheUtf16FormEncodedForLongMixedTexts) {
    // Each kind of unit at every place, past the UTF-8 form's block of 16 KB many times over.
    const wchar_t kinds[] = {L'a', L'"', L'\\', L'\n', 0x01, 0x1F, 0x7F, 0xE9, 0x7FF, 0x800, 0x20AC, 0x2028, 0x2029,
                             0xFFFD, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF, L'{', L' '};
    std::wstring text;
    uint32_t seed = 12345;
    for (int i = 0; i < 100000; i++) {
        seed = seed * 1103515245 + 12345;
        const wchar_t unit = kinds[(seed >> 16) % (sizeof kinds / sizeof kinds[0])];
        text += unit;
        if (unit == 0xD83D && (seed & 0x100)) text += wchar_t(0xDE00);  // a whole pair now and then
    }
    std::string utf8;
    std::wstring utf16;
    AppendJsonString(utf8, text);
    AppendJsonString(utf16, text);
    std::string encoded;
    AppendUtf8(encoded, utf16);
    EXPECT_TRUE(utf8 == encoded) << utf8.size() << " bytes against " << encoded.size();
}

TEST(JsonLines, LoneSurrogatesBecomeReplacementCharacters) {
    std::string out;
    AppendJsonString(out, std::wstring(L"a") + wchar_t(0xD800) + L"b" + wchar_t(0xDC00) + wchar_t(0xD83D));
    EXPECT_EQ(out, "\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(JsonLines, ObjectsOfEachKind) {
    std::string bytes = Png({Chunk("tEXt", TextData("Title", "Hello\nworld")), Chunk("zTXt", ZtxtData("Comment", "Hi")),
                             Chunk("iTXt", ItxtData("Title", 0, 0, "en", "Titel", "Hallo \xFF")), Chunk("tEXt", "")});
    std::vector<uint8_t> work(WorkBufferSize);
    std::string out;
    std::vector<size_t> offsets;
    class JsonSink : public RecordingSink {
    public:
        bool AppendReportLine(const TextChunkRecord& record) override {
            AppendChunkJson(*out, L"C:\\a \"b\".png", record);
            offsets->push_back(record.offset);
            return true;
        }
        std::string* out;
        std::vector<size_t>* offsets;
    } sink;
    sink.out = &out;
    sink.offsets = &offsets;
    SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &sink, work.data());
    ASSERT_EQ(offsets.size(), 4u);
    EXPECT_EQ(offsets[0], bytes.find("tEXt"));
    const std::string file = "{\"file\":\"C:\\\\a \\\"b\\\".png\",\"offset\":";
    EXPECT_EQ(out,
              file + std::to_string(offsets[0]) +
                  ",\"type\":\"tEXt\",\"keyword\":\"Title\",\"compressed\":false,\"text\":\"Hello\\nworld\",\"crc\":\"ok\"}\n" +
              file + std::to_string(offsets[1]) +
                  ",\"type\":\"zTXt\",\"keyword\":\"Comment\",\"compressed\":true,\"text\":\"Hi\",\"crc\":\"ok\","
                  "\"inflate\":\"complete\"}\n" +
              file + std::to_string(offsets[2]) +
                  ",\"type\":\"iTXt\",\"keyword\":\"Title\",\"language\":\"en\",\"translated_keyword\":\"Titel\","
                  "\"compressed\":false,\"text\":\"Hallo \xEF\xBF\xBD\",\"crc\":\"ok\",\"utf8\":\"invalid\"}\n" +
              file + std::to_string(offsets[3]) +
                  ",\"type\":\"tEXt\",\"keyword\":\"\",\"compressed\":false,\"text\":\"\",\"crc\":\"ok\","
                  "\"form\":\"wrong size\"}\n");
}

TEST(JsonLines, ATextCutAtANulIsMarkedAndTheTextIsWhatTheLineShows) {
    struct Case {
        const char* what;
        std::string chunk;
        bool cut;
        const char* text;
    } cases[] = {
        {"tEXt", Chunk("tEXt", TextData("K", "before" + Nul + "after")), true, "before"},
        {"tEXt without", Chunk("tEXt", TextData("K", "whole")), false, "whole"},
        {"tEXt, NUL last", Chunk("tEXt", TextData("K", "x" + Nul)), true, "x"},
        {"tEXt past the end", BigEndian32(5000) + "tEXt" + TextData("K", "before" + Nul + "after"), true, "before"},
        {"zTXt", Chunk("zTXt", ZtxtData("K", "before" + Nul + "after")), true, "before"},
        {"zTXt without", Chunk("zTXt", ZtxtData("K", "whole")), false, "whole"},
        {"iTXt", Chunk("iTXt", ItxtData("K", 0, 0, "", "", "before" + Nul + "after")), true, "before"},
        {"iTXt compressed", Chunk("iTXt", ItxtData("K", 1, 0, "", "", Deflate("before" + Nul + "after"))), true, "before"},
        {"iTXt without", Chunk("iTXt", ItxtData("K", 0, 0, "", "", "whole")), false, "whole"},
    };
    for (const Case& c : cases) {
        // The chunk last, so that a chunk running past the end finds no other code in its way.
        std::vector<RecordedChunk> records = Records(Png({}).substr(0, 33) + c.chunk);
        ASSERT_FALSE(records.empty()) << c.what;
        const TextChunkRecord& r = records[0].record;
        EXPECT_EQ(c.cut, r.textCutAtNul) << c.what;
        EXPECT_EQ(std::wstring(c.text, c.text + strlen(c.text)), r.text) << c.what;
        std::string json;
        AppendChunkJson(json, L"a.png", r);
        const std::string mark = std::string(",\"text\":\"") + c.text + "\",\"text_cut_at_nul\":true,";
        EXPECT_EQ(c.cut, json.find(mark) != std::string::npos) << c.what << ": " << json;
        EXPECT_EQ(c.cut, json.find("text_cut_at_nul") != std::string::npos) << c.what;
    }
}

// The UTF-8 form is made straight from the fields: byte for byte the UTF-16 form, encoded.
TEST(JsonLines, TheUtf8FormIsTheUtf16FormEncodedForOddInput) {
    std::string latin1;
    for (int byte = 1; byte < 256; byte++) latin1 += static_cast<char>(byte);
    const std::string bytes = Png({Chunk("tEXt", TextData("K\xE9y\x81", latin1)),
                                   Chunk("tEXt", TextData("Cut", "a\x1B[31m" + Nul + "after")),
                                   Chunk("zTXt", ZtxtData("Z", latin1 + latin1)),
                                   Chunk("iTXt", ItxtData("I", 0, 0, "en", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80 \xE2\x80\xA8"
                                                          "\xED\xA0\x80 \xED\xB0\x80 \xC3 \x7F\x01\"\\")),
                                   Chunk("iTXt", ItxtData("C", 1, 0, "", "", Deflate("\xE2\x80\xA9\xF4\x8F\xBF\xBF\x1F"))),
                                   Chunk("tEXt", "")});
    std::wstring file = L"C:\\\"odd\"";
    file += wchar_t(0xD800);  // a high surrogate without its partner
    file += L"\U0001F600";
    file += wchar_t(0xDC00);  // a low one alone
    file += std::wstring(1, L'\0') + L"\u2028\x7F";
    file += wchar_t(0xDBFF);  // a high one last
    // Compared while the record's fields are valid, in the search.
    class ComparingSink : public RecordingSink {
    public:
        bool AppendReportLine(const TextChunkRecord& record) override {
            std::wstring wide;
            AppendChunkJson(wide, *file, record);
            std::string encoded;
            AppendUtf8(encoded, wide);
            std::string direct = "kept";  // appended to, never replaced
            AppendChunkJson(direct, *file, record);
            EXPECT_EQ("kept" + encoded, direct) << "chunk " << compared;
            compared++;
            return true;
        }
        const std::wstring* file;
        int compared = 0;
    } sink;
    sink.file = &file;
    std::vector<uint8_t> work(WorkBufferSize);
    SearchTextChunks(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &sink, work.data());
    EXPECT_EQ(6, sink.compared);
    for (const std::wstring& text : {std::wstring(1, wchar_t(0xD83D)) + L"x", std::wstring(1, wchar_t(0xDE00)),
                                     std::wstring(2, wchar_t(0xD83D)) + wchar_t(0xDE00), std::wstring(3, L'\0'),
                                     std::wstring(L"\xE9\u00FF\uFFFD\uFFFF")}) {
        std::wstring wide;
        AppendJsonString(wide, text);
        std::string encoded, direct;
        AppendUtf8(encoded, wide);
        AppendJsonString(direct, text);
        EXPECT_EQ(encoded, direct);
        wide.clear();
        encoded.clear();
        direct.clear();
        AppendNoticeJson(wide, text, text.c_str());
        AppendUtf8(encoded, wide);
        AppendNoticeJson(direct, text, text.c_str());
        EXPECT_EQ(encoded, direct);
    }
}

TEST(JsonLines, NoticeObject) {
    std::string out;
    AppendNoticeJson(out, L"D:\\gone.png", L"Cannot allocate memory");
    EXPECT_EQ(out, "{\"file\":\"D:\\\\gone.png\",\"notice\":\"Cannot allocate memory\"}\n");
}
