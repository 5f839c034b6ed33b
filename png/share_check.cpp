// share_check.cpp: the walk that gathers what a file gives away.
#include "png/share_check.h"
#include <cstring>
#include <new>

namespace {

// Chunks of the PNG standard and its registered extensions that hold nothing but how to show the image.
const uint32_t pictureChunks[] = {
    PngType("IHDR"), PngType("PLTE"), PngType("IDAT"), PngType("IEND"), PngType("tRNS"), PngType("cHRM"),
    PngType("gAMA"), PngType("iCCP"), PngType("sBIT"), PngType("sRGB"), PngType("cICP"), PngType("mDCV"),
    PngType("cLLI"), PngType("bKGD"), PngType("hIST"), PngType("pHYs"), PngType("sPLT"), PngType("sCAL"),
    PngType("oFFs"), PngType("pCAL"), PngType("acTL"), PngType("fcTL"), PngType("fdAT"),
};

const char* const generationKeywords[] = {
    "parameters", "prompt", "workflow", "invokeai_metadata", "invokeai_graph", "sd-metadata", "Dream",
    "generation_data",
};

bool IsPictureChunk(uint32_t type) {
    for (uint32_t known : pictureChunks) {
        if (type == known) return true;
    }
    return false;
}

class Checker {
public:
    explicit Checker(ByteSource* source) : source_(source), walker_(source, WalkCrcs::AllButImageData) {}

    void Run(CheckResult* result) {
        result_ = result;
        WalkedChunk chunk;
        bool headerRead = false;
        while (walker_.Next(&chunk)) {
            if (chunk.type == PngType("IHDR") && chunk.at == PngSignatureSize) {
                const uint8_t* data;
                if (!Show(chunk.DataAt(), chunk.length, &data)) return;
                headerRead = ParseImageHeader(data, chunk.length, &header_) == HeaderCheck::Ok;
            } else if (chunk.type == PngType("IDAT")) {
                if (!seenImageData_) firstImageData_ = chunk;
                seenImageData_ = true;
            } else if (!seenImageData_ && !TakePaletteChunk(source_, chunk, &palette_)) {
                result->end = CheckEnd::ReadFailed;
                return;
            } else if (!Examine(chunk)) {
                return;
            }
        }
        result->walkEnd = walker_.End();
        if (!seenImageData_ && walker_.End() == WalkEnd::PastEnd && walker_.CutChunk().type == PngType("IDAT")) {
            firstImageData_ = walker_.CutChunk();
            seenImageData_ = true;
        }
        result->stoppedAt = walker_.StoppedAt();
        if (result->walkEnd == WalkEnd::ReadFailed) {
            result->end = CheckEnd::ReadFailed;
            return;
        }
        if (result->walkEnd == WalkEnd::NotPng || result->walkEnd == WalkEnd::HeaderNotFirst) {
            result->end = CheckEnd::Structure;
            return;
        }
        if (result->walkEnd == WalkEnd::Iend && walker_.TrailerSize() > 0 && !Trailer()) return;
        // Pixels are checked even when the walk stopped early: the hidden text lies in the top rows.
        if (headerRead) {
            Stealth();
        } else {
            Add(FindingKind::NotChecked, nullptr).place = Place::Stealth;
            result->findings.back().stealth.state = StealthState::NotChecked;
            result->findings.back().stealth.reason = StealthNotChecked::BadHeader;
        }
        if (result->walkEnd != WalkEnd::Iend) result->end = CheckEnd::Structure;
    }

private:
    bool Show(uint64_t at, uint64_t count, const uint8_t** bytes) {
        static const uint8_t none = 0;
        if (count == 0) {
            *bytes = &none;
            return true;
        }
        if (source_->Show(at, static_cast<size_t>(count), bytes)) return true;
        result_->end = CheckEnd::ReadFailed;
        return false;
    }

    Finding& Add(FindingKind kind, const WalkedChunk* chunk) {
        result_->findings.emplace_back();
        Finding& finding = result_->findings.back();
        finding.kind = kind;
        if (chunk) {
            finding.offset = chunk->at + 4;
            finding.size = chunk->length;
            finding.type = chunk->type;
            finding.crc = chunk->crc;
        }
        return finding;
    }

    void NotChecked(Place place, const WalkedChunk* chunk) { Add(FindingKind::NotChecked, chunk).place = place; }

    void Secrets(const uint8_t* text, uint64_t size, Place place, const WalkedChunk* chunk, const std::string& keyword) {
        SecretHit hits[MaxSecretsPerText];
        size_t count = FindSecrets(text, static_cast<size_t>(size), hits, MaxSecretsPerText);
        for (size_t i = 0; i < count; i++) {
            Finding& finding = Add(FindingKind::Secret, chunk);
            finding.place = place;
            finding.secret = hits[i];
            finding.keyword = keyword;
        }
    }

    bool Examine(const WalkedChunk& chunk) {
        const bool text = IsTextChunkType(chunk.type);
        const bool known = text || chunk.type == PngType("eXIf") || chunk.type == PngType("tIME") || chunk.type == PngType("caBX");
        if (!known) {
            if (!IsPictureChunk(chunk.type)) Add(FindingKind::UnknownChunk, &chunk);
            return true;
        }
        if (chunk.type == PngType("caBX")) {
            Add(FindingKind::ContentCredentials, &chunk);
            return true;
        }
        if (chunk.length > MaxCheckedBytes) {
            Add(text ? FindingKind::Text : chunk.type == PngType("eXIf") ? FindingKind::Exif : FindingKind::Time, &chunk);
            NotChecked(Place::TextChunk, &chunk);
            return true;
        }
        const uint8_t* data;
        if (!Show(chunk.DataAt(), chunk.length, &data)) return false;
        if (chunk.type == PngType("eXIf")) {
            Add(FindingKind::Exif, &chunk).exif = ReadExif(data, chunk.length);
        } else if (chunk.type == PngType("tIME")) {
            Finding& time = Add(FindingKind::Time, &chunk);
            if (chunk.length == 7) {
                time.year = ReadPngNumber16(data);
                time.month = data[2];
                time.day = data[3];
                time.hour = data[4];
                time.minute = data[5];
                time.second = data[6];
            }
        } else {
            Text(chunk, ReadTextChunk(chunk.type, data, chunk.length));
        }
        return true;
    }

    void Text(const WalkedChunk& chunk, TextChunkData read) {
        if (read.form == TextForm::NoMemory) throw std::bad_alloc();
        Finding& finding = Add(FindingKind::Text, &chunk);
        finding.keyword = read.keyword;
        finding.form = read.form;
        finding.compressed = read.compressed;
        finding.inflate = read.inflate;
        finding.textSize = read.text.size();
        finding.generationData = IsGenerationKeyword(read.keyword, read.text);
        if (chunk.type == PngType("iTXt") && read.keyword == XmpKeyword) {
            Finding& xmp = Add(FindingKind::Xmp, &chunk);
            xmp.keyword = read.keyword;
            xmp.xmp = FindDigitalSourceType(reinterpret_cast<const uint8_t*>(read.text.data()), read.text.size());
        }
        Secrets(reinterpret_cast<const uint8_t*>(read.text.data()), read.text.size(), Place::TextChunk, &chunk, read.keyword);
    }

    bool Trailer() {
        Finding& trailer = Add(FindingKind::Trailer, nullptr);
        trailer.offset = walker_.StoppedAt();
        trailer.size = walker_.TrailerSize();
        if (trailer.size > MaxCheckedBytes) {
            NotChecked(Place::Trailer, nullptr);
            return true;
        }
        const uint8_t* bytes;
        uint64_t at = trailer.offset, size = trailer.size;
        if (!Show(at, size, &bytes)) return false;
        Secrets(bytes, size, Place::Trailer, nullptr, std::string());
        return true;
    }

    void Stealth() {
        StealthFinding stealth = ReadStealth(source_, header_, seenImageData_ ? &firstImageData_ : nullptr, &palette_);
        if (stealth.state == StealthState::Absent) return;
        if (stealth.rows == RowsState::ReadFailed) {
            result_->end = CheckEnd::ReadFailed;
            return;
        }
        if (stealth.rows == RowsState::NoMemory) throw std::bad_alloc();
        Finding& finding = Add(stealth.state == StealthState::NotChecked ? FindingKind::NotChecked : FindingKind::Stealth, nullptr);
        finding.place = Place::Stealth;
        finding.size = stealth.storedBytes;
        const bool found = finding.kind == FindingKind::Stealth;
        finding.stealth = std::move(stealth);
        // Secrets reads the text whole before it adds a finding (which may move this one).
        const std::string& text = finding.stealth.text;
        if (found) Secrets(reinterpret_cast<const uint8_t*>(text.data()), text.size(), Place::Stealth, nullptr, std::string());
    }

    ByteSource* source_;
    ChunkWalker walker_;
    CheckResult* result_ = nullptr;
    ImageHeader header_;
    WalkedChunk firstImageData_;
    bool seenImageData_ = false;
    ImagePalette palette_;
};

}  // namespace

bool IsGenerationKeyword(const std::string& keyword, const std::string& text) {
    for (const char* known : generationKeywords) {
        if (keyword == known) return true;
    }
    if (keyword != "Comment") return false;
    size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string::npos && text[first] == '{';
}

CheckResult CheckForSharing(ByteSource* source) {
    CheckResult result;
    try {
        Checker(source).Run(&result);
    } catch (const std::bad_alloc&) {
        result = CheckResult();
        result.end = CheckEnd::NoMemory;
    }
    if (source->Failed()) result.end = CheckEnd::ReadFailed;
    if (result.end == CheckEnd::ReadFailed || result.end == CheckEnd::NoMemory) std::vector<Finding>().swap(result.findings);
    return result;
}
