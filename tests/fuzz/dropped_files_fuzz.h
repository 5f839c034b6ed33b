// dropped_files_fuzz.h: fuzz target over the name list of dropped files (DROPFILES blocks of any shape).
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include "tests/fuzz/fuzz_support.h"
#include "toolkit/drop_target.h"

namespace fuzz {

class DroppedFilesFuzzer {
public:
    static const size_t MaxBlock = 8192;

    DroppedFilesFuzzer() : guarded_(MaxBlock) {}

    // A DROPFILES header, then names (wide or ANSI), the list's end sometimes missing, offsets and
    // the width flag sometimes lying; now and then the block is mutated bytewise or cut short.
    std::string Generate(Random& random) {
        DROPFILES header = {};
        header.pFiles = sizeof(DROPFILES);
        header.pt.x = static_cast<LONG>(random.Next());
        header.pt.y = static_cast<LONG>(random.Next());
        header.fNC = static_cast<BOOL>(random.Below(2));
        header.fWide = random.OneIn(8) ? static_cast<BOOL>(random.Below(256)) : static_cast<BOOL>(random.Below(2));
        const bool wide = header.fWide != 0;
        std::string list;
        const int names = static_cast<int>(random.Below(random.OneIn(10) ? 60 : 5));
        for (int i = 0; i < names; i++) {
            static const wchar_t alphabet[] = {L'C', L':', L'\\', L'a', L'b', L' ', L'.', L'p', L'n', L'g', L'\x00E9', L'\x4E2D', L'\n'};
            const size_t length = random.OneIn(12) ? 0 : 1 + random.Below(random.OneIn(20) ? 300 : 24);
            for (size_t k = 0; k < length; k++) {
                wchar_t c = alphabet[random.Below(sizeof alphabet / sizeof alphabet[0])];
                if (wide) list.append(reinterpret_cast<const char*>(&c), 2);
                else list += c == L'\x4E2D' ? '\xE9' : static_cast<char>(c);  // ANSI names: bytes of code page 1252
            }
            list.append(wide ? 2 : 1, '\0');
        }
        if (!random.OneIn(6)) list.append(wide ? 2 : 1, '\0');  // the empty name that ends the list
        switch (random.Below(8)) {
        case 0: header.pFiles = random.Below(static_cast<uint32_t>(sizeof(DROPFILES) + list.size() + 8)); break;
        case 1: header.pFiles = InterestingValue(random); break;
        case 2: header.pFiles = sizeof(DROPFILES) + 1; list.insert(0, 1, 'x'); break;  // odd offset of wide names
        default: break;
        }
        std::string block(reinterpret_cast<const char*>(&header), sizeof header);
        block += list;
        if (random.OneIn(4)) Mutate(block, random, words_, {}, MaxBlock);
        if (random.OneIn(8)) block.resize(random.Below(static_cast<uint32_t>(block.size() + 1)));
        if (block.size() > MaxBlock) block.resize(MaxBlock);
        return block;
    }

    // The block as the data of a drop record, its last byte against the guard page.
    bool Check(const std::string& block, Tally& tally, std::string* what) {
        uint8_t* data = guarded_.Place(block.data(), block.size());
        if (!data) return Fail(what, "block larger than the guarded buffer");
        DropRecord record = {FileListDropFormat, 0, DROPEFFECT_COPY, 0, 0, data, static_cast<uint32_t>(block.size())};
        const std::wstring names = DroppedFilesOfRecord(&record);
        if (names != Expected(data, block.size())) return Fail(what, "names differ from a plain reading of the list");
        if (!names.empty()) tally.outputs += 1 + std::count(names.begin(), names.end(), L'\n');
        // The same bytes under another format, or without data, give nothing.
        record.format = 1;
        if (!DroppedFilesOfRecord(&record).empty()) return Fail(what, "names read from a block of another format");
        return true;
    }

private:
    static bool Fail(std::string* what, const char* text) {
        *what = text;
        return false;
    }

    // A well-formed list: the offset inside the block and past the header, every name and the empty
    // name that ends the list inside the block; names joined by LF, ANSI names in the ANSI code page.
    static std::wstring Expected(const uint8_t* block, size_t size) {
        DROPFILES header;
        if (size < sizeof header) return std::wstring();
        memcpy(&header, block, sizeof header);
        if (header.pFiles < sizeof header || header.pFiles >= size) return std::wstring();
        const size_t unit = header.fWide ? 2 : 1;
        std::vector<std::wstring> names;
        size_t at = header.pFiles;
        for (;;) {
            size_t end = at;
            auto zeroAt = [&](size_t offset) { return block[offset] == 0 && (unit == 1 || block[offset + 1] == 0); };
            while (end + unit <= size && !zeroAt(end)) end += unit;
            if (end + unit > size) return std::wstring();  // no terminating NUL inside the block
            if (end == at) break;                           // the empty name: the list ends
            if (unit == 2) {
                std::wstring name((end - at) / 2, L'\0');
                memcpy(&name[0], block + at, end - at);
                names.push_back(name);
            } else {
                const int length = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(block + at),
                                                       static_cast<int>(end - at), nullptr, 0);
                std::wstring name(static_cast<size_t>(length), L'\0');
                MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(block + at), static_cast<int>(end - at),
                                    &name[0], length);
                names.push_back(name);
            }
            at = end + unit;
        }
        std::wstring joined;
        for (size_t i = 0; i < names.size(); i++) joined += (i ? L"\n" : L"") + names[i];
        return joined;
    }

    Dictionary words_ = {std::string(2, '\0'), std::string(4, '\0'), std::string("\x14\0\0\0", 4), std::string("\x01\0\0\0", 4)};
    GuardedBuffer guarded_;
};

}  // namespace fuzz
