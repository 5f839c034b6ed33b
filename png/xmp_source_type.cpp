// xmp_source_type.cpp: finding the digital source type in an XMP packet without parsing its XML.
#include "png/xmp_source_type.h"
#include <cstring>
#include <new>

namespace {

const char name[] = "digitalsourcetype";  // the property, and the last folder of the vocabulary's address
const size_t nameLength = sizeof name - 1;
const size_t MaxValue = 1024;
const size_t MaxTerm = 64;

char Lower(uint8_t c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); }

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool NameAt(const uint8_t* text, size_t size, size_t at) {
    if (size - at < nameLength) return false;
    for (size_t i = 0; i < nameLength; i++) {
        if (Lower(text[at + i]) != name[i]) return false;
    }
    return true;
}

// The value that starts at `from` and ends before `end` (or at MaxValue bytes): its last part after '/'.
bool TermOf(const uint8_t* text, size_t size, size_t from, uint8_t end, XmpSourceType* found) {
    size_t to = from;
    while (to < size && to - from < MaxValue && text[to] != end) to++;
    if (to >= size || text[to] != end) return false;
    size_t start = to;
    while (start > from && text[start - 1] != '/') start--;
    while (start < to && IsSpace(text[start])) start++;
    size_t stop = to;
    while (stop > start && IsSpace(text[stop - 1])) stop--;
    if (stop == start) return false;
    found->found = true;
    found->term.assign(reinterpret_cast<const char*>(text + start), stop - start < MaxTerm ? stop - start : MaxTerm);
    return true;
}

}  // namespace

XmpSourceType FindDigitalSourceType(const uint8_t* text, size_t size) {
    XmpSourceType found;
    try {
        for (size_t at = 0; at + nameLength <= size; at++) {
            if (Lower(text[at]) != 'd' || !NameAt(text, size, at)) continue;
            size_t next = at + nameLength;
            if (next < size && text[next] == '/') {
                // The vocabulary's address: the term follows.
                size_t end = next + 1;
                while (end < size && end - next <= MaxTerm &&
                       ((text[end] >= 'a' && text[end] <= 'z') || (text[end] >= 'A' && text[end] <= 'Z')))
                    end++;
                if (end == next + 1) continue;
                found.found = true;
                found.term.assign(reinterpret_cast<const char*>(text + next + 1), end - next - 1);
                break;
            }
            while (next < size && IsSpace(text[next])) next++;
            if (next < size && text[next] == '=') {
                next++;
                while (next < size && IsSpace(text[next])) next++;
                if (next < size && (text[next] == '"' || text[next] == '\'') && TermOf(text, size, next + 1, text[next], &found)) break;
            } else if (next < size && text[next] == '>' && TermOf(text, size, next + 1, '<', &found)) {
                break;
            }
        }
        if (found.found) {
            std::string lower;
            for (char c : found.term) lower += Lower(static_cast<uint8_t>(c));
            found.madeByAi = lower.find("trainedalgorithmicmedia") != std::string::npos;
        }
    } catch (const std::bad_alloc&) {
        found = XmpSourceType();
    }
    return found;
}
