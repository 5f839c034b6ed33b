// chunk_filter.cpp: the -k and --grep conditions on one record.
#include "app/console/chunk_filter.h"
#include "runtime/wildcard.h"

ChunkFilter::ChunkFilter(const CliOptions& options) : keywords_(options.keywords), ignoreCase_(options.ignoreCase) {
    for (const std::wstring& grep : options.greps) greps_.emplace_back(grep);
}

bool ChunkFilter::Selects(const TextChunkRecord& record) const {
    if (!keywords_.empty()) {
        bool matches = false;
        for (const std::wstring& pattern : keywords_) {
            if (MatchesPattern(pattern.c_str(), record.keyword.c_str(), ignoreCase_)) {
                matches = true;
                break;
            }
        }
        if (!matches) return false;
    }
    if (greps_.empty()) return true;
    for (const CaseFoldedSearch& grep : greps_) {
        if (grep.FoundIn(record.keyword) || grep.FoundIn(record.text)) return true;
    }
    return false;
}
