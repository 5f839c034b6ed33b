// fuzz_support.h: what every fuzz target shares: a seeded generator, byte mutations, guard-page placement.
#pragma once
#include <windows.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Header-only so that the short runs in the test programs of each layer and the long-run program in
// bench/ use the very same targets.
namespace fuzz {

// xorshift64*: small, fast and the same sequence on every platform for a given seed.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // 0 .. bound - 1; 0 when bound is 0.
    uint32_t Below(uint32_t bound) { return bound ? static_cast<uint32_t>(Next() % bound) : 0; }
    bool OneIn(uint32_t n) { return Below(n) == 0; }

private:
    uint64_t state_;
};

// Pages with a PAGE_NOACCESS page on each side. An input is copied flush against the guard after it
// (or the one before it), so that a read past its end (or before its start) faults at once.
class GuardedBuffer {
public:
    static const size_t PageSize = 4096;
    explicit GuardedBuffer(size_t capacity) {
        pages_ = (capacity + PageSize - 1) / PageSize + 1;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, (pages_ + 2) * PageSize, MEM_COMMIT | MEM_RESERVE,
                                                   PAGE_READWRITE));
        if (!base_) return;
        DWORD old = 0;
        VirtualProtect(base_, PageSize, PAGE_NOACCESS, &old);
        VirtualProtect(base_ + (pages_ + 1) * PageSize, PageSize, PAGE_NOACCESS, &old);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    ~GuardedBuffer() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    size_t Capacity() const { return base_ ? pages_ * PageSize : 0; }
    // The copy of size bytes, or null when it does not fit. guardAfter: the last byte touches the
    // guard page after it; otherwise the first byte follows the guard page before it.
    uint8_t* Place(const void* bytes, size_t size, bool guardAfter = true) {
        if (!base_ || size > Capacity()) return nullptr;
        uint8_t* at = guardAfter ? base_ + (pages_ + 1) * PageSize - size : base_ + PageSize;
        if (size) memcpy(at, bytes, size);
        return at;
    }

private:
    uint8_t* base_ = nullptr;
    size_t pages_ = 0;
};

// Values that tend to sit on boundaries of lengths and offsets.
inline uint32_t InterestingValue(Random& random) {
    static const uint32_t values[] = {0u,          1u,          2u,          3u,          4u,          7u,
                                      8u,          12u,         16u,         20u,         0x7Fu,       0x80u,
                                      0xFFu,       0x100u,      0x7FFFu,     0x8000u,     0xFFFFu,     0x10000u,
                                      0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu, 0xFFFFFFF9u, 32760u};
    return values[random.Below(sizeof values / sizeof values[0])];
}

// Dictionary words of a format: planted whole by the mutator.
using Dictionary = std::vector<std::string>;

// One to eight random edits of bytes: flips, interesting bytes and 32-bit values (both byte orders),
// dictionary words, inserted, deleted, duplicated and spliced runs, truncation. Keeps the result at
// most maxSize bytes.
inline void Mutate(std::string& bytes, Random& random, const Dictionary& words, const std::vector<std::string>& others,
                   size_t maxSize) {
    const int edits = 1 + static_cast<int>(random.Below(8));
    for (int e = 0; e < edits; e++) {
        const size_t size = bytes.size();
        const size_t at = random.Below(static_cast<uint32_t>(size + 1));
        switch (random.Below(11)) {
        case 0:
            if (size) bytes[random.Below(static_cast<uint32_t>(size))] ^= static_cast<char>(1u << random.Below(8));
            break;
        case 1:
            if (size) bytes[random.Below(static_cast<uint32_t>(size))] = static_cast<char>(random.Next());
            break;
        case 2:
            if (size) bytes[random.Below(static_cast<uint32_t>(size))] = "\x00\xFF\x7F\x80\x01 \"\n"[random.Below(8)];
            break;
        case 3: {  // a 32-bit value, big-endian (PNG lengths) or little-endian (Windows structures)
            uint32_t value = InterestingValue(random);
            if (random.OneIn(4)) value = static_cast<uint32_t>(random.Below(64));
            char four[4];
            for (int i = 0; i < 4; i++) four[i] = static_cast<char>(value >> (random.OneIn(2) ? 24 - 8 * i : 8 * i));
            bytes.replace(at, std::min<size_t>(4, size - at), four, 4);
            break;
        }
        case 4:
            if (!words.empty()) {
                const std::string& word = words[random.Below(static_cast<uint32_t>(words.size()))];
                if (random.OneIn(2)) bytes.insert(at, word);
                else bytes.replace(at, std::min(word.size(), size - at), word);
            }
            break;
        case 5: {  // insert random bytes
            std::string run(1 + random.Below(16), '\0');
            for (char& c : run) c = static_cast<char>(random.Next());
            bytes.insert(at, run);
            break;
        }
        case 6:
            bytes.erase(at, 1 + random.Below(random.OneIn(8) ? 4096 : 32));
            break;
        case 7:
            if (size) {  // duplicate a run
                const size_t from = random.Below(static_cast<uint32_t>(size));
                const std::string run = bytes.substr(from, 1 + random.Below(64));
                bytes.insert(at, run);
            }
            break;
        case 8:
            if (!others.empty()) {  // splice a run of another input
                const std::string& other = others[random.Below(static_cast<uint32_t>(others.size()))];
                if (!other.empty()) {
                    const size_t from = random.Below(static_cast<uint32_t>(other.size()));
                    bytes.replace(at, std::min<size_t>(random.Below(256), size - at), other.substr(from, 1 + random.Below(256)));
                }
            }
            break;
        case 9:
            bytes.resize(at);
            break;
        default:  // overwrite a run with one byte: fields lose their terminating zeros, or gain some
            if (size) {
                const size_t run = std::min<size_t>(1 + random.Below(48), size - std::min(at, size));
                memset(&bytes[std::min(at, size)], random.OneIn(2) ? 0 : 'Q', run);
            }
            break;
        }
    }
    if (bytes.size() > maxSize) bytes.resize(maxSize);
}

// A failure found by a target: what went wrong and the input that did it.
struct Finding {
    std::string what;
    std::string input;
};

// Tallies of one target's run.
struct Tally {
    uint64_t iterations = 0;
    uint64_t inputBytes = 0;
    uint64_t outputs = 0;  // report lines, tokens or names seen: a sign the inputs reach deep paths
    std::vector<Finding> findings;
};

inline std::string Hex(const std::string& bytes, size_t limit = 256) {
    std::string text;
    char two[4];
    for (size_t i = 0; i < bytes.size() && i < limit; i++) {
        snprintf(two, sizeof two, "%02X", static_cast<unsigned char>(bytes[i]));
        text += two;
    }
    if (bytes.size() > limit) text += "...";
    return text;
}

inline std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (64 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
        bytes.resize(read);
    }
    CloseHandle(file);
    return bytes;
}

// Every file of folder matching pattern (e.g. L"*.png"), in the order the folder lists them, sorted.
inline std::vector<std::string> ReadFolder(const std::wstring& folder, const wchar_t* pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    // A fixed order keeps runs with the same seed the same.
    for (size_t i = 1; i < names.size(); i++) {
        for (size_t j = i; j > 0 && names[j] < names[j - 1]; j--) names[j].swap(names[j - 1]);
    }
    std::vector<std::string> files;
    for (const std::wstring& name : names) {
        std::string bytes = ReadWholeFile(folder + L"\\" + name);
        if (!bytes.empty()) files.push_back(bytes);
    }
    return files;
}

inline double Seconds() {
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs a target (Generate(Random&) -> input; Check(input, Tally&, std::string* what) -> bool) from
// seed until iterations inputs were checked or seconds have passed (0: no time limit). Stops at
// the first finding. The same seed and count give the same inputs.
template <class Target>
Tally RunTarget(Target& target, uint64_t seed, uint64_t iterations, double seconds) {
    Tally tally;
    Random random(seed);
    const double start = Seconds();
    while (tally.iterations < iterations) {
        if (seconds > 0 && (tally.iterations & 63) == 0 && Seconds() - start >= seconds) break;
        const auto input = target.Generate(random);
        tally.iterations++;
        tally.inputBytes += input.size() * sizeof(input[0]);
        std::string what;
        if (!target.Check(input, tally, &what)) {
            std::string bytes(reinterpret_cast<const char*>(input.data()), input.size() * sizeof(input[0]));
            tally.findings.push_back({what, bytes});
            break;
        }
    }
    return tally;
}

}  // namespace fuzz
