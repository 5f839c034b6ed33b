// share_check.h: everything a PNG file gives away besides its pixels' picture, found in one walk.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "png/byte_source.h"
#include "png/chunk_walk.h"
#include "png/exif_reader.h"
#include "png/image_header.h"
#include "png/secret_finder.h"
#include "png/stealth_reader.h"
#include "png/text_chunk_data.h"
#include "png/xmp_source_type.h"

enum class FindingKind {
    Text,                // a tEXt, zTXt or iTXt chunk
    Secret,              // something in a text (or trailer, or hidden text) that looks like a secret
    Xmp,                 // the XMP packet (an iTXt chunk, also reported as Text)
    Exif,                // an eXIf chunk
    ContentCredentials,  // a caBX chunk
    Time,                // a tIME chunk
    UnknownChunk,        // a chunk of a type the check does not know
    Trailer,             // bytes after IEND
    Stealth,             // text hidden in the pixels
    NotChecked,          // a part of the file the check could not read: never passed off as clean
};

// Where a secret was found, or what was not checked.
enum class Place { TextChunk, Trailer, Stealth };

// One finding; the fields that do not belong to its kind keep their defaults.
struct Finding {
    FindingKind kind = FindingKind::Text;
    uint64_t offset = 0;  // of the chunk's type code, of the trailer, or 0
    uint64_t size = 0;    // the chunk's data, the trailer's bytes, the hidden text as stored
    uint32_t type = 0;    // the chunk's type code
    CrcState crc = CrcState::Unchecked;
    // Text (and Secret's, Xmp's chunk): the keyword as stored (Latin-1 bytes)
    std::string keyword;
    TextForm form = TextForm::Ok;
    bool compressed = false;
    InflateOutcome inflate = InflateOutcome::Complete;
    uint64_t textSize = 0;       // the text's bytes, inflated
    bool generationData = false; // a keyword generators use for their prompts and settings
    Place place = Place::TextChunk;  // Secret, NotChecked (Stealth: stealth.reason says why)
    SecretHit secret;
    XmpSourceType xmp;
    ExifFacts exif;
    uint16_t year = 0;           // Time
    uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
    StealthFinding stealth;      // Stealth, and NotChecked of the stealth data
};

enum class CheckEnd {
    Complete,    // every chunk walked to IEND, the trailer and the pixels' hidden text checked
    Structure,   // the walk ended before IEND (walkEnd says why, at stoppedAt): the rest is not checked
    ReadFailed,  // the bytes stopped being the file's: the findings are not given
    NoMemory,    // no memory for the findings: they are not given
};

struct CheckResult {
    CheckEnd end = CheckEnd::Complete;
    WalkEnd walkEnd = WalkEnd::Iend;
    uint64_t stoppedAt = 0;
    std::vector<Finding> findings;
};

// Keywords that generators store their prompts and settings under (a Comment only when it is JSON).
bool IsGenerationKeyword(const std::string& keyword, const std::string& text);

// Walks the file (CRCs of every chunk but the image data, whose reading would cost more than the rest),
// reads every text, eXIf, tIME and caBX chunk, the bytes after IEND and the top rows of the image for
// hidden text. A text chunk, the trailer or hidden text of more than MaxCheckedBytes is reported but
// not searched for secrets (a NotChecked finding says so). Never throws.
CheckResult CheckForSharing(ByteSource* source);

// Data of a chunk or a trailer read whole at most; larger ones are reported by size alone.
const uint64_t MaxCheckedBytes = 64u << 20;
// Secrets reported per text at most.
const size_t MaxSecretsPerText = 8;
