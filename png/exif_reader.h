// exif_reader.h: what an eXIf chunk tells: the orientation, a GPS block, a user comment.
#pragma once
#include <cstddef>
#include <cstdint>

// Format notes: eXIf data is a TIFF structure: "II" (little-endian) or "MM" (big-endian), the number
// 42, the offset of IFD0. An IFD is a 2-byte entry count, 12-byte entries (tag 2, type 2, count 4,
// value or offset 4: the value itself when it fits in 4 bytes), then the next IFD's offset. Offsets
// count from the TIFF header. IFD0 tag 0x0112 is the orientation (SHORT, 1 = upright), 0x8825 points at
// the GPS IFD, 0x8769 at the Exif IFD, whose tag 0x9286 is the user comment (often a prompt).
enum class ExifState { Ok, NotTiff, Damaged };

struct ExifFacts {
    ExifState state = ExifState::Ok;
    bool bigEndian = false;
    unsigned orientation = 0;       // 0: none given
    bool gps = false;               // a GPS IFD with at least one entry
    uint32_t gpsEntries = 0;
    bool userComment = false;
    uint32_t userCommentBytes = 0;  // the comment's count, its 8-byte character code included
};

// Reads the facts above from size bytes; every offset is checked against them. Damaged: IFD0 or a
// pointed-to IFD lies outside the data (the facts read before stay).
ExifFacts ReadExif(const uint8_t* data, size_t size);
