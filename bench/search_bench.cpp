// search_bench.cpp: --grep's search against the rest of the work on one 200 MB text: decoding the
// stored bytes (what every report of the text pays), the case-folded search for a word that is
// absent (the whole text is read), and the one UTF-8 encoding that --text pays (in pieces, as written). Prints best times
// of five rounds and the search's share.
#include <cstdio>
#include <string>
#include <vector>
#include "runtime/text_search.h"
#include "bench/bench_support.h"
#include "report/utf8_encoding.h"
#include "runtime/memory_blocks.h"

int main() {
    PrintBuildTimed();
    // Words of prompts, Latin-1 bytes as a tEXt chunk stores them, a few accented letters among them.
    const char* words[] = {"masterpiece", "best quality", "portrait", "caf\xE9", "cinematic lighting",
                           "8k", "detailed", "na\xEFve", "steps: 30", "sampler: euler a", "seed: 12345"};
    std::string bytes;
    bytes.reserve(200u << 20);
    for (size_t i = 0; bytes.size() < (200u << 20); i++) {
        bytes += words[(i * 7 + i / 3) % (sizeof words / sizeof words[0])];
        bytes += ", ";
    }
    std::vector<double> decode, ascii, accented, encode;
    std::wstring text;
    size_t found = 0;
    for (int round = 0; round < 5; round++) {
        double start = Seconds();
        text.clear();
        AppendDecodedBytes(text, bytes.data(), bytes.size(), TextAnsi);
        decode.push_back(Seconds() - start);
        start = Seconds();
        found += CaseFoldedSearch(L"watercolor").FoundIn(text);
        ascii.push_back(Seconds() - start);
        start = Seconds();
        found += CaseFoldedSearch(L"\u00C9T\u00C9").FoundIn(text);
        accented.push_back(Seconds() - start);
        // As the program writes a text: a piece at a time into one reused buffer.
        start = Seconds();
        std::string utf8;
        for (size_t at = 0; at < text.size();) {
            size_t end = Utf16PieceEnd(text.data(), text.size(), at, 1u << 18);
            utf8.clear();
            AppendUtf8(utf8, text.data() + at, end - at);
            at = end;
        }
        encode.push_back(Seconds() - start);
    }
    auto best = [](const std::vector<double>& times) {
        double b = times[0];
        for (double t : times) b = t < b ? t : b;
        return b * 1e3;
    };
    printf("text of %.1f MB (%zu characters), best of 5, ms%s\n", bytes.size() / 1e6, text.size(),
           found ? " (a word meant to be absent was found)" : "");
    printf("  decode (ANSI code page)      %8.1f\n", best(decode));
    printf("  search \"watercolor\" (absent) %8.1f   %.2f of decoding\n", best(ascii), best(ascii) / best(decode));
    printf("  search U+00C9 T U+00C9 (absent) %6.1f   %.2f of decoding\n", best(accented),
           best(accented) / best(decode));
    printf("  encode as UTF-8 (--text)     %8.1f\n", best(encode));
    return 0;
}
