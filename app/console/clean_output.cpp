// clean_output.cpp: the words of --clean.
#include "app/console/clean_output.h"
#include "app/console/check_output.h"
#include "report/json_lines.h"

namespace {

std::wstring Number(uint64_t value) { return std::to_wstring(value); }

const wchar_t* WhyWord(ChunkFate fate) {
    switch (fate) {
    case ChunkFate::Kept: return L"image";
    case ChunkFate::KeptUnknown: return L"unknown";
    case ChunkFate::KeptText: return L"kept_text";
    case ChunkFate::KeptOrientation: return L"orientation";
    case ChunkFate::RemovedText: return L"text";
    case ChunkFate::RemovedTime: return L"time";
    case ChunkFate::RemovedSignature: return L"signature";
    case ChunkFate::RemovedExif: return L"exif";
    case ChunkFate::RemovedAsAsked: return L"dropped";
    case ChunkFate::Reencoded:
    case ChunkFate::Recoloured: return L"stealth";
    }
    return L"";
}

// Why, in words, for -v.
std::wstring WhyText(const CleanedChunk& chunk) {
    switch (chunk.fate) {
    case ChunkFate::Kept: return L"the picture needs it";
    case ChunkFate::KeptUnknown: return L"unknown chunk, kept byte for byte: it may matter to the picture";
    case ChunkFate::KeptText: return L"asked for (-k, --keep)";
    case ChunkFate::KeptOrientation:
        return L"orientation " + Number(chunk.orientation) + L": removing it would turn the image";
    case ChunkFate::RemovedText: return L"text";
    case ChunkFate::RemovedTime: return L"time of the last change";
    case ChunkFate::RemovedSignature: return L"a signature over bytes the copy changes would read as tampered";
    case ChunkFate::RemovedExif: return L"upright image";
    case ChunkFate::RemovedAsAsked: return L"asked for (--drop)";
    case ChunkFate::Reencoded: return L"image data made again without the text hidden in the pixels";
    case ChunkFate::Recoloured: return L"colours set again without the text hidden in the pixels";
    }
    return std::wstring();
}

std::wstring ChunkName(const CleanedChunk& chunk) {
    std::wstring name = TypeName(chunk.type);
    if (IsTextChunk(chunk.type)) name += L" " + Latin1(chunk.keyword);
    return name;
}

const wchar_t* StealthWord(const CleanResult& result) {
    const StealthFinding& stealth = result.stealth;
    if (result.clearing.end == ClearEnd::Cleared) return L"cleared";
    switch (stealth.state) {
    case StealthState::Absent: return L"absent";
    case StealthState::Found:
    case StealthState::FoundDamaged: return L"found";
    case StealthState::NotChecked: return stealth.reason == StealthNotChecked::ImageType ? L"absent" : L"not_checked";
    }
    return L"";
}

const wchar_t* ModeWord(StealthMode mode) { return mode == StealthMode::Alpha ? L"alpha" : L"rgb"; }

// The bytes of the IDAT chunks in the copy, their headers and CRCs included.
uint64_t ImageDataSize(const CleanResult& result) {
    uint64_t size = 0;
    if (result.clearing.recoloured) {  // the original's, kept
        for (const CleanedChunk& chunk : result.chunks) {
            if (chunk.type == PngType("IDAT")) size += 12 + static_cast<uint64_t>(chunk.length);
        }
        return size;
    }
    size = result.copy.size() - PngSignatureSize;
    for (const CleanedChunk& chunk : result.chunks) {
        if (IsKept(chunk.fate)) size -= 12 + static_cast<uint64_t>(chunk.length);
    }
    return size;
}

void JsonField(std::wstring& out, const wchar_t* name, const std::wstring& value) {
    out += L",\"";
    out += name;
    out += L"\":";
    AppendJsonString(out, value);
}

void JsonChunk(std::wstring& out, const CleanedChunk& chunk, bool first) {
    out += first ? L"{" : L",{";
    out += L"\"type\":";
    AppendJsonString(out, TypeName(chunk.type));
    if (IsTextChunk(chunk.type)) JsonField(out, L"keyword", Latin1(chunk.keyword));
    out += L",\"offset\":" + Number(chunk.at) + L",\"size\":" + Number(chunk.length);
    JsonField(out, L"why", WhyWord(chunk.fate));
    out += L"}";
}

void AppendJson(std::wstring& out, const std::wstring& file, const std::wstring& copy, const CleanResult& result) {
    out += L"{\"file\":";
    AppendJsonString(out, file);
    JsonField(out, L"copy", copy);
    for (bool kept : {false, true}) {
        out += kept ? L",\"kept\":[" : L",\"removed\":[";
        bool first = true;
        for (const CleanedChunk& chunk : result.chunks) {
            if (IsKept(chunk.fate) != kept) continue;
            JsonChunk(out, chunk, first);
            first = false;
        }
        out += L"]";
    }
    out += L",\"trailer_removed\":" + Number(result.trailerSize);
    JsonField(out, L"stealth", StealthWord(result));
    if (result.clearing.end == ClearEnd::Cleared) {
        out += L",\"cleared\":{\"modes\":[";
        for (size_t i = 0; i < result.clearing.modes.size(); i++)
            out += std::wstring(i ? L"," : L"") + L"\"" + ModeWord(result.clearing.modes[i]) + L"\"";
        out += L"],\"bits\":" + Number(result.clearing.bits) + L",\"image_data_size\":" + Number(ImageDataSize(result)) + L"}";
    }
    out += L"}\n";
}

void AppendVerbose(std::wstring& err, const std::wstring& file, const std::wstring& copy, const CleanResult& result) {
    err += file + L": copied to " + copy + L"\n";
    std::wstring image;  // the image's chunks, in order, a run of one type as "IDAT x12"
    uint32_t runType = 0;
    size_t run = 0;
    auto endRun = [&] {
        if (run == 0) return;
        image += (image.empty() ? L"" : L", ") + TypeName(runType) + (run > 1 ? L" x" + Number(run) : L"");
        run = 0;
    };
    size_t replaced = 0;
    uint64_t replacedBytes = 0;
    std::wstring recoloured;  // "PLTE and tRNS"
    for (const CleanedChunk& chunk : result.chunks) {
        if (chunk.fate == ChunkFate::Reencoded) {
            replaced++;
            replacedBytes += chunk.length;
            continue;
        }
        if (chunk.fate == ChunkFate::Recoloured) {
            recoloured += (recoloured.empty() ? L"" : L" and ") + TypeName(chunk.type);
            continue;
        }
        if (chunk.fate == ChunkFate::Kept) {
            if (run && chunk.type != runType) endRun();
            runType = chunk.type;
            run++;
            continue;
        }
        err += std::wstring(L"  ") + (IsKept(chunk.fate) ? L"kept " : L"removed ") + ChunkName(chunk) + L" (" +
               Number(chunk.length) + L" bytes): " + WhyText(chunk) + L"\n";
    }
    endRun();
    if (result.trailerSize) err += L"  removed " + Number(result.trailerSize) + L" bytes after IEND\n";
    std::wstring modes;
    for (StealthMode mode : result.clearing.modes) modes += (modes.empty() ? L"" : L" and ") + std::wstring(ModeWord(mode));
    if (replaced) {
        err += L"  cleared text hidden in the pixels (" + modes + L", " + Number(result.clearing.bits) +
               L" bits set as the writer found them): IDAT x" + Number(replaced) + L" (" + Number(replacedBytes) +
               L" bytes) filtered and deflated again into " + Number(ImageDataSize(result)) + L" bytes\n";
    }
    if (!recoloured.empty()) {
        err += L"  cleared text hidden in the pixels (" + modes + L", " + Number(result.clearing.bits) +
               L" bits set as the writer found them): in the colours of " + recoloured + L", " +
               Number(result.clearing.entries) + L" entries changed by one level at most; the image data kept byte for byte\n";
    }
    err += L"  kept byte for byte, in order: " + image + L"\n";
}

std::wstring NotClearedNotice(const StealthClearing& clearing) {
    std::wstring why;
    switch (clearing.end) {
    case ClearEnd::StillFound: why = L"a signature is still read after it was cleared"; break;
    default: why = L"the image data cannot be read whole"; break;
    }
    return L"Text hidden in the pixels cannot be cleared (" + why + L"): no copy made";
}

}  // namespace

std::wstring CleanNotice(const CleanResult& result) {
    switch (result.end) {
    case CleanEnd::Cleaned: return std::wstring();
    case CleanEnd::TooLarge: return L"Too large to clean (" + Number(MaxCleanBytes >> 20) + L" MiB at most): no copy made";
    case CleanEnd::ReadFailed: return L"Cannot read file";
    case CleanEnd::NoMemory: return L"Cannot allocate memory";
    case CleanEnd::NotCleared: return NotClearedNotice(result.clearing);
    case CleanEnd::NotWellFormed: break;
    }
    std::wstring why;
    if (result.badCrc) {
        why = L"the CRC of " + TypeName(result.badCrcChunk.type) + L" at byte " + Number(result.badCrcChunk.at) + L" is wrong";
    } else {
        switch (result.walkEnd) {
        case WalkEnd::NotPng: why = L"no PNG signature"; break;
        case WalkEnd::HeaderNotFirst: why = L"the first chunk is not IHDR"; break;
        case WalkEnd::BadLength: why = L"a chunk length above 2^31 - 1 at byte " + Number(result.stoppedAt); break;
        case WalkEnd::PastEnd: why = L"a chunk at byte " + Number(result.stoppedAt) + L" reaches past the end of the file"; break;
        default: why = L"no IEND chunk"; break;
        }
    }
    return L"Not a well-formed PNG (" + why + L"): no copy made";
}

std::vector<std::wstring> CopyNotices(const CleanResult& result) {
    std::vector<std::wstring> notices;
    for (const CleanedChunk& chunk : result.chunks) {
        if (chunk.fate == ChunkFate::KeptOrientation)
            notices.push_back(L"eXIf kept in the copy: its orientation is " + Number(chunk.orientation) +
                              L" and removing it would turn the image (--drop eXIf removes it)");
    }
    const std::wstring stealth = StealthWord(result);
    if (stealth == L"found") notices.push_back(L"Text hidden in the pixels stays in the copy (--clear-stealth removes it)");
    if (stealth == L"not_checked") notices.push_back(L"The pixels could not be checked for hidden text: the copy may hold some");
    return notices;
}

void AppendCleanAccount(std::wstring& out, std::wstring& err, const std::wstring& file, const std::wstring& copy,
                        const CleanResult& result, bool json, bool verbose) {
    if (json) AppendJson(out, file, copy, result);
    if (verbose) AppendVerbose(err, file, copy, result);
    for (const CleanedChunk& chunk : result.chunks) {
        if (chunk.fate == ChunkFate::RemovedSignature)
            err += file + L": caBX removed: a signature over bytes the copy changes would read as tampered\n";
    }
}
