// chunk_scan_fuzz.h: fuzz target over the search of a loaded block (mutated real and generated PNGs).
#pragma once
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>
#include "report/chunk_scan.h"
#include "report/compressed_text.h"
#include "report/json_lines.h"
#include "report/report_sink.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/guarded_views.h"
#include "tests/report/test_png.h"

namespace fuzz {

class ChunkScanFuzzer {
public:
    static const size_t MaxInput = 256 * 1024;

    // seeds: real files (the PNG test suite); generated PNGs with every text chunk kind are added.
    explicit ChunkScanFuzzer(std::vector<std::string> seeds) : seeds_(std::move(seeds)), guarded_(MaxInput) {
        using namespace testpng;
        const std::string nul(1, '\0');
        std::string prompt;
        for (int i = 0; prompt.size() < 40000; i++) prompt += "a prompt word " + std::to_string(i) + ", ";
        seeds_.push_back(Png({Chunk("tEXt", TextData("Title", "Hello")), Chunk("zTXt", ZtxtData("Comment", "Hi there")),
                              Chunk("iTXt", ItxtData("Title", 0, 0, "en-US", "Titel", "Hallo \xC3\xA9"))}));
        seeds_.push_back(Png({Chunk("zTXt", ZtxtData("parameters", prompt)),
                              Chunk("iTXt", ItxtData("workflow", 1, 0, "", "", Deflate(prompt))),
                              Chunk("iTXt", ItxtData("Stored", 1, 0, "en", "K", Deflate("short", 0)))}, 24, 24));
        seeds_.push_back(Png({Chunk("tEXt", ""), ChunkDeclaring(0xFFFFFFF0u, "tEXt", "Huge" + nul + "length"),
                              Chunk("zTXt", ZtxtData("Method", "x", 1)), Chunk("zTXt", nul + "no keyword"),
                              Chunk("iTXt", ItxtData("Empty", 0, 0, "", "", ""))}, 4, 4));
        words_ = {"tEXt", "zTXt", "iTXt", "IDAT", "IEND", nul, nul + nul, std::string("\x78\x9C", 2),
                  std::string("\x78\x01", 2), BigEndian32(0), BigEndian32(0x7FFFFFFF) + "tEXt",
                  BigEndian32(0xFFFFFFFF) + "zTXt", Deflate("Xt inside compressed text tEXt zTXt iTXt")};
        work_.assign(WorkBufferSize, 0);
    }

    size_t SeedCount() const { return seeds_.size(); }

    // One input: a mutated seed, now and then a seed whole or random bytes with codes planted.
    std::string Generate(Random& random) {
        std::string bytes;
        if (random.OneIn(16)) {
            bytes.resize(random.Below(2000));
            for (char& c : bytes) c = static_cast<char>(random.Next());
            for (int i = 0, plants = static_cast<int>(random.Below(8)); i < plants && bytes.size() >= 4; i++) {
                const char* codes[] = {"tEXt", "zTXt", "iTXt"};
                memcpy(&bytes[random.Below(static_cast<uint32_t>(bytes.size() - 3))], codes[random.Below(3)], 4);
            }
        } else {
            bytes = seeds_[random.Below(static_cast<uint32_t>(seeds_.size()))];
            if (!random.OneIn(32)) Mutate(bytes, random, words_, seeds_, MaxInput);
        }
        return bytes;
    }

    // Scans bytes placed against the guard page after them and against the one before them.
    // A fault ends the process; a broken rule is returned in what.
    bool Check(const std::string& bytes, Tally& tally, std::string* what) {
        const size_t n = bytes.size();
        std::vector<std::wstring> first;
        std::string firstJson;
        for (bool guardAfter : {true, false}) {
            const uint8_t* block = guarded_.Place(bytes.data(), n, guardAfter);
            if (!block) return Fail(what, "input larger than the guarded buffer");
            for (size_t i = WorkBufferInflateRoom; i < work_.size(); i++) work_[i] = 0xA5;
            LineSink sink;
            SearchTextChunks(block, n, &sink, work_.data());
            for (size_t i = WorkBufferInflateRoom; i < work_.size(); i++) {
                if (work_[i] != 0xA5) return Fail(what, "inflation wrote into the last 8 bytes of the work buffer");
            }
            for (const std::wstring& line : sink.lines) {
                if (!KnownLine(line)) return Fail(what, "a report line of unknown form");
            }
            if (sink.lengthsDiffer) return Fail(what, "a line's length differs from the length counted for it");
            // Every line comes from one type code found at its own offset.
            if (sink.lines.size() > n) return Fail(what, "more report lines than bytes");
            if (guardAfter) first = sink.lines, firstJson = sink.json;
            else if (sink.lines != first || sink.json != firstJson) return Fail(what, "the report depends on where the block lies");
            tally.outputs += sink.lines.size();
            if (!MatchesAgree(block, n, what)) return false;
        }
        // In small views that slide along it, the file gives the same records at the same offsets.
        GuardedViews views(bytes, 16 + n % 61, n % 7);
        LineSink viewed;
        SearchTextChunks(views.First(), &views, &viewed, work_.data());
        if (viewed.lines != first || viewed.json != firstJson) return Fail(what, "the report differs when searched in views");
        return true;
    }

private:
    class LineSink : public ReportSink {
    public:
        void StartReport(const std::wstring&, bool) override {}
        // The JSON object too: its CRC and UTF-8 checks read the block on their own.
        bool AppendReportLine(const TextChunkRecord& record) override {
            lines.push_back(ReportLine(record));
            // The runaway-report cut counts lines by their length without making them.
            if (ReportLineLength(record) != lines.back().size()) lengthsDiffer = true;
            AppendChunkJson(json, L"fuzz.png", record);
            return true;
        }
        std::string json;
        bool lengthsDiffer = false;
        void Notice(const wchar_t*, const wchar_t*, const std::wstring&) override {}
        void Flush() override {}
        std::vector<std::wstring> lines;
    };

    static bool Fail(std::string* what, const char* text) {
        *what = text;
        return false;
    }

    static bool KnownLine(const std::wstring& line) {
        for (const wchar_t* prefix : {L"tEXt : ", L"zTXt: ", L"iTXt : "}) {
            if (line.compare(0, wcslen(prefix), prefix) == 0) return true;
        }
        return false;
    }

    // The fast candidate search against a plain test of every offset, from every match on.
    static bool MatchesAgree(const uint8_t* block, size_t n, std::string* what) {
        size_t from = 0;
        for (;;) {
            size_t expected = n;
            for (size_t p = from; p + 4 <= n; p++) {
                const uint8_t* at = block + p;
                if (at[2] == 'X' && at[3] == 't' &&
                    ((at[0] == 't' && at[1] == 'E') || (at[0] == 'z' && at[1] == 'T') || (at[0] == 'i' && at[1] == 'T'))) {
                    expected = p;
                    break;
                }
            }
            if (FindTextChunkType(block, n, from) != expected) return Fail(what, "FindTextChunkType missed or invented a type code");
            if (expected == n) return true;
            from = expected + 1;
        }
    }

    std::vector<std::string> seeds_;
    Dictionary words_;
    GuardedBuffer guarded_;
    std::vector<uint8_t> work_;
};

}  // namespace fuzz
