// secret_finder.h: texts that look as if they hold a secret: an API key, a token, a password.
#pragma once
#include <cstddef>
#include <cstdint>

// Two signs, both cheap enough for texts of megabytes:
// - a JSON member whose key, lower-cased and without '_', '-', '.' and blanks, holds "apikey",
//   "secret", "password" or "accesskey", or ends in "token", and whose value is a string with a
//   character other than a blank (ComfyUI's API-format prompt keeps node inputs this way:
//   "api_key": "...");
// - a run that starts with one of the well-known key prefixes, not preceded by a letter or digit,
//   and goes on with at least as many key characters as the prefix's keys have (SecretPrefixes):
//   widget values of a workflow are kept in arrays, without a key to tell them.
// The list is kept short on purpose: each entry is a shape no generation parameter has.
enum class SecretSign { JsonKey, KeyPrefix };

struct SecretHit {
    SecretSign sign = SecretSign::JsonKey;
    uint64_t offset = 0;  // of the key's opening quote, or of the prefix
    char name[48] = {};   // the JSON key (cut at 47 bytes), or the prefix
    char hint[12] = {};    // the first bytes of the value, for the user to know the key again: never all of it
};

struct SecretPrefix {
    const char* prefix;
    unsigned minimumBody;  // key characters that must follow the prefix
    bool upperAndDigitsOnly;  // the body is A-Z and 0-9 only (else letters, digits, '_' and '-')
};
extern const SecretPrefix SecretPrefixes[];
extern const size_t SecretPrefixCount;

// Writes up to maxHits hits into hits, in text order, and returns how many there are (counted up to
// maxHits). Never throws, allocates nothing.
size_t FindSecrets(const uint8_t* text, size_t size, SecretHit* hits, size_t maxHits);
