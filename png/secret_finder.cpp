// secret_finder.cpp: JSON members named like secrets, and well-known key prefixes.
#include "png/secret_finder.h"
#include <cstring>
#include <initializer_list>

const SecretPrefix SecretPrefixes[] = {
    {"sk-", 20, false},    // "sk-proj-...", "sk-ant-..." and older forms
    {"ghp_", 30, false},   // personal access tokens of a code host
    {"glpat-", 20, false}, // personal access tokens of another
    {"hf_", 30, false},    // model hub tokens
    {"r8_", 30, false},    // model hosting tokens
    {"AKIA", 16, true},    // cloud access key IDs (exactly 16 more)
    {"AIza", 35, false},   // cloud API keys
    {"xoxb-", 20, false},  // chat bot tokens
    {"xoxp-", 20, false},  // chat user tokens
};
const size_t SecretPrefixCount = sizeof SecretPrefixes / sizeof SecretPrefixes[0];

namespace {

const size_t MaxKey = 64;
const size_t MaxValue = 4096;

bool IsAlnum(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool KeyBodyCharacter(uint8_t c, bool upperAndDigitsOnly) {
    if (upperAndDigitsOnly) return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
    return IsAlnum(c) || c == '_' || c == '-';
}

void CopyCut(char* to, size_t room, const uint8_t* from, size_t count) {
    if (count >= room) count = room - 1;
    memcpy(to, from, count);
    to[count] = 0;
}

// Whether a JSON key names a secret (see the header).
bool SecretName(const uint8_t* key, size_t length) {
    char folded[MaxKey + 1];
    size_t n = 0;
    for (size_t i = 0; i < length; i++) {
        uint8_t c = key[i];
        if (c == '_' || c == '-' || c == '.' || IsBlank(c)) continue;
        folded[n++] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    folded[n] = 0;
    for (const char* part : {"apikey", "secret", "password", "accesskey"}) {
        if (strstr(folded, part)) return true;
    }
    return n >= 5 && memcmp(folded + n - 5, "token", 5) == 0;
}

// A JSON member at the quote at `at`: "key" blanks ':' blanks "value" with a non-blank character.
// *end: the value's closing quote, so that a key with a prefix inside it is not counted twice.
bool JsonMemberAt(const uint8_t* text, size_t size, size_t at, SecretHit* hit, size_t* end) {
    size_t keyStart = at + 1, keyEnd = keyStart;
    while (keyEnd < size && keyEnd - keyStart <= MaxKey && text[keyEnd] != '"' && text[keyEnd] != '\\') keyEnd++;
    if (keyEnd >= size || text[keyEnd] != '"' || keyEnd == keyStart || keyEnd - keyStart > MaxKey) return false;
    if (!SecretName(text + keyStart, keyEnd - keyStart)) return false;
    size_t p = keyEnd + 1;
    while (p < size && IsBlank(text[p])) p++;
    if (p >= size || text[p] != ':') return false;
    p++;
    while (p < size && IsBlank(text[p])) p++;
    if (p >= size || text[p] != '"') return false;
    size_t valueStart = p + 1, valueEnd = valueStart;
    bool filled = false;
    while (valueEnd < size && valueEnd - valueStart <= MaxValue && text[valueEnd] != '"') {
        if (text[valueEnd] == '\\') valueEnd++;  // an escaped character, quote included
        else if (!IsBlank(text[valueEnd])) filled = true;
        valueEnd++;
    }
    if (valueEnd >= size || text[valueEnd] != '"' || !filled) return false;
    hit->sign = SecretSign::JsonKey;
    hit->offset = at;
    CopyCut(hit->name, sizeof hit->name, text + keyStart, keyEnd - keyStart);
    CopyCut(hit->hint, sizeof hit->hint, text + valueStart, valueEnd - valueStart < 4 ? valueEnd - valueStart : 4);
    *end = valueEnd;
    return true;
}

// A key with one of the prefixes at `at`.
bool PrefixAt(const uint8_t* text, size_t size, size_t at, SecretHit* hit) {
    if (at > 0 && IsAlnum(text[at - 1])) return false;
    for (size_t i = 0; i < SecretPrefixCount; i++) {
        const SecretPrefix& known = SecretPrefixes[i];
        size_t length = strlen(known.prefix);
        if (size - at < length + known.minimumBody || memcmp(text + at, known.prefix, length) != 0) continue;
        size_t body = 0;
        while (at + length + body < size && KeyBodyCharacter(text[at + length + body], known.upperAndDigitsOnly)) body++;
        if (body < known.minimumBody) continue;
        hit->sign = SecretSign::KeyPrefix;
        hit->offset = at;
        CopyCut(hit->name, sizeof hit->name, text + at, length);
        CopyCut(hit->hint, sizeof hit->hint, text + at, length + 2);
        return true;
    }
    return false;
}

// The bytes that can start a prefix, so that most positions are passed with one table look-up.
struct PrefixStarts {
    bool starts[256] = {};
    PrefixStarts() {
        for (size_t i = 0; i < SecretPrefixCount; i++) starts[static_cast<uint8_t>(SecretPrefixes[i].prefix[0])] = true;
    }
};

}  // namespace

size_t FindSecrets(const uint8_t* text, size_t size, SecretHit* hits, size_t maxHits) {
    static const PrefixStarts prefixStarts;
    size_t count = 0;
    for (size_t at = 0; at < size && count < maxHits; at++) {
        uint8_t c = text[at];
        if (c == '"') {
            size_t end;
            if (JsonMemberAt(text, size, at, &hits[count], &end)) {
                count++;
                at = end;
            }
        } else if (prefixStarts.starts[c] && PrefixAt(text, size, at, &hits[count])) {
            count++;
            at += strlen(hits[count - 1].name);
        }
    }
    return count;
}
