// chunk_filter.h: which chunks pngtext-cli reports: -k keywords and --grep texts, decided per record.
#pragma once
#include <string>
#include <vector>
#include "app/console/options.h"
#include "runtime/text_search.h"
#include "report/text_chunk_record.h"

class ChunkFilter {
public:
    explicit ChunkFilter(const CliOptions& options);
    // True when the record's keyword matches one of the -k patterns (* and ?; exactly as stored, or
    // ignoring case with -i) and its keyword or text holds one of the --grep texts (case ignored);
    // a condition without any pattern or text holds for every record.
    bool Selects(const TextChunkRecord& record) const;
    bool SelectsAll() const { return keywords_.empty() && greps_.empty(); }
    // Whether Selects reads the record's text (--grep), which must then be decoded.
    bool ReadsTexts() const { return !greps_.empty(); }

private:
    std::vector<std::wstring> keywords_;
    bool ignoreCase_;
    std::vector<CaseFoldedSearch> greps_;
};
