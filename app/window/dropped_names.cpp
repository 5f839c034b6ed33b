// dropped_names.cpp: a drop's text split at its line feeds.
#include "app/window/dropped_names.h"

std::vector<std::wstring> SplitDroppedNames(const std::wstring& joined) {
    // The drop target ends no name with a line feed, but an empty one is skipped all the same.
    std::vector<std::wstring> names;
    size_t start = 0;
    for (;;) {
        size_t end = joined.find(L'\n', start);
        size_t stop = end == std::wstring::npos ? joined.size() : end;
        if (stop > start) names.push_back(joined.substr(start, stop - start));
        if (end == std::wstring::npos) return names;
        start = end + 1;
    }
}
