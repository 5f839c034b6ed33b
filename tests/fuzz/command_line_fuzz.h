// command_line_fuzz.h: fuzz target over the command-line tokeniser, checked against a plain re-reading.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "runtime/parameters.h"
#include "tests/fuzz/fuzz_support.h"

namespace fuzz {

class CommandLineFuzzer {
public:
    static const size_t MaxUnits = 600;

    CommandLineFuzzer() : guarded_((MaxUnits + 1) * sizeof(wchar_t)) {
        seeds_ = {L"", L"p", L"p a b", L"p   a    b   ", L"\"C:\\Program Files\\x.exe\" \"a b.png\"", L"p \"a b",
                  L"p \"a\"b", L"p a\"b c\"", L"p \"\"", L"p a\tb", L"p \"", L"\"\"\"\"", L"  \"x\"  \"\" y "};
    }

    // A line over an alphabet weighted towards the characters the rules are about; no NUL inside.
    std::wstring Generate(Random& random) {
        static const wchar_t alphabet[] = {L' ', L' ', L' ', L'"', L'"', L'\t', L'a', L'b', L'Z', L'\\', L':', L'.',
                                           L'\x00E9', L'\x4E2D', L'\r', L'\n', L'\x00A0', L'\x3000'};
        if (random.OneIn(3)) {
            std::wstring line = seeds_[random.Below(static_cast<uint32_t>(seeds_.size()))];
            for (int e = 0, edits = 1 + static_cast<int>(random.Below(6)); e < edits; e++) {
                const size_t at = random.Below(static_cast<uint32_t>(line.size() + 1));
                const wchar_t c = alphabet[random.Below(sizeof alphabet / sizeof alphabet[0])];
                switch (random.Below(3)) {
                case 0: line.insert(at, 1, c); break;
                case 1: if (at < line.size()) line[at] = c; break;
                default: line.erase(at, 1 + random.Below(4)); break;
                }
            }
            if (line.size() > MaxUnits) line.resize(MaxUnits);
            return line;
        }
        std::wstring line(random.Below(random.OneIn(20) ? MaxUnits : 40), L' ');
        for (wchar_t& c : line) c = alphabet[random.Below(sizeof alphabet / sizeof alphabet[0])];
        return line;
    }

    // The line with its terminating NUL as the last unit before the guard page.
    bool Check(const std::wstring& text, Tally& tally, std::string* what) {
        const wchar_t* line = reinterpret_cast<const wchar_t*>(guarded_.Place(text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
        if (!line) return Fail(what, "line larger than the guarded buffer");
        std::vector<Token> tokens = Tokens(text);
        const int32_t expectedCount = static_cast<int32_t>(tokens.size()) - 1;

        int32_t count = -7;
        if (ScanCommandLine(line, nullptr, nullptr, &count) != nullptr) return Fail(what, "count mode returned a token");
        if (count != expectedCount) return Fail(what, "wrong parameter count");
        for (int32_t index = 0; index < count; index++) {
            const Token& token = tokens[static_cast<size_t>(index) + 1];
            int32_t cursor = index, length = -1;
            const wchar_t* start = ScanCommandLine(line, &cursor, &length, nullptr);
            if (start != line + token.start || length != token.length) return Fail(what, "wrong parameter");
            if (cursor != index + 1) return Fail(what, "cursor not moved past the parameter");
            tally.outputs++;
        }
        for (int32_t beyond : {count < 0 ? 0 : count, count + 3}) {
            int32_t cursor = beyond, length = -1;
            const wchar_t* start = ScanCommandLine(line, &cursor, &length, nullptr);
            if (!start || length != 0 || cursor != beyond) return Fail(what, "a missing parameter is not the empty text");
        }
        return true;
    }

private:
    struct Token {
        size_t start;
        int32_t length;
    };

    static bool Fail(std::string* what, const char* text) {
        *what = text;
        return false;
    }

    // The rules read plainly: only U+0020 separates; a quote opens a token that runs to the next
    // quote or the end, and the character after a closing quote starts the next token at once; an
    // unquoted token runs to the next space, which is consumed with it. The first token is the
    // program name.
    static std::vector<Token> Tokens(const std::wstring& line) {
        std::vector<Token> tokens;
        size_t i = 0;
        const size_t end = line.size();
        while (i < end) {
            while (i < end && line[i] == L' ') i++;
            if (i == end) break;
            if (line[i] == L'"') {
                const size_t start = ++i;
                while (i < end && line[i] != L'"') i++;
                tokens.push_back({start, static_cast<int32_t>(i - start)});
                if (i < end) i++;
            } else {
                const size_t start = i;
                while (i < end && line[i] != L' ') i++;
                tokens.push_back({start, static_cast<int32_t>(i - start)});
                if (i < end) i++;
            }
        }
        return tokens;
    }

    std::vector<std::wstring> seeds_;
    GuardedBuffer guarded_;
};

}  // namespace fuzz
