// text_search.cpp: the case-fold table and the search for a folded text.
#include "runtime/text_search.h"
#include <windows.h>
#include <emmintrin.h>
#include "runtime/processor_features.h"

static std::vector<uint16_t> MakeCaseFoldTable() {
    std::vector<uint16_t> table(65536);
    for (size_t c = 0; c < table.size(); c++) table[c] = static_cast<uint16_t>(c);
    // Surrogates have no case and are mapped alone; the rest goes through the system in two pieces.
    std::vector<wchar_t> from(table.begin(), table.end()), upper(table.size());
    for (size_t start : {size_t(1), size_t(0xE000)}) {
        size_t count = start == 1 ? 0xD800 - 1 : 0x10000 - 0xE000;
        int made = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &from[start], static_cast<int>(count), &upper[start],
                                static_cast<int>(count));
        if (made != static_cast<int>(count)) continue;  // not one unit for one: keep these as they are
        for (size_t c = start; c < start + count; c++) {
            wchar_t unit = static_cast<wchar_t>(c);
            if (upper[c] != unit && CompareStringOrdinal(&unit, 1, &upper[c], 1, TRUE) == CSTR_EQUAL)
                table[c] = static_cast<uint16_t>(upper[c]);
        }
    }
    return table;
}

const uint16_t* CaseFoldTable() {
    static const std::vector<uint16_t> table = MakeCaseFoldTable();
    return table.data();
}

CaseFoldedSearch::CaseFoldedSearch(const std::wstring& needle) : fold_(CaseFoldTable()) {
    for (wchar_t unit : needle) needle_.push_back(fold_[static_cast<uint16_t>(unit)]);
    if (needle_.empty()) return;
    for (uint32_t c = 0; c < 65536; c++) {
        if (fold_[c] == needle_[0]) starts_.push_back(static_cast<uint16_t>(c));
    }
}

bool CaseFoldedSearch::RestMatches(const wchar_t* at) const {
    for (size_t j = 1; j < needle_.size(); j++) {
        if (fold_[static_cast<uint16_t>(at[j])] != needle_[j]) return false;
    }
    return true;
}

// Offsets i < last whose unit is one of up to four starts, eight units a round.
__attribute__((target("sse2"))) static size_t NextStartSse2(const wchar_t* text, size_t from, size_t last,
                                                             const uint16_t* starts, size_t startCount) {
    __m128i s[4];
    for (size_t k = 0; k < 4; k++) s[k] = _mm_set1_epi16(static_cast<short>(starts[k < startCount ? k : 0]));
    size_t i = from;
    for (; last - i >= 8; i += 8) {
        __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(eight, s[0]), _mm_cmpeq_epi16(eight, s[1])),
                                   _mm_or_si128(_mm_cmpeq_epi16(eight, s[2]), _mm_cmpeq_epi16(eight, s[3])));
        int mask = _mm_movemask_epi8(hit);
        if (mask) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    }
    for (; i < last; i++) {
        for (size_t k = 0; k < startCount; k++) {
            if (static_cast<uint16_t>(text[i]) == starts[k]) return i;
        }
    }
    return last;
}

bool CaseFoldedSearch::FoundIn(const wchar_t* text, size_t count) const {
    const size_t m = needle_.size();
    if (m == 0) return true;
    if (m > count) return false;
    const size_t last = count - m + 1;  // a match starts before last
    if (HaveSse2() && starts_.size() <= 4) {
        for (size_t i = NextStartSse2(text, 0, last, starts_.data(), starts_.size()); i < last;
             i = NextStartSse2(text, i + 1, last, starts_.data(), starts_.size())) {
            if (RestMatches(text + i)) return true;
        }
        return false;
    }
    for (size_t i = 0; i < last; i++) {
        if (fold_[static_cast<uint16_t>(text[i])] == needle_[0] && RestMatches(text + i)) return true;
    }
    return false;
}
