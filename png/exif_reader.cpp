// exif_reader.cpp: the few eXIf entries the check looks at, every offset bounds-checked.
#include "png/exif_reader.h"

namespace {

const uint16_t OrientationTag = 0x0112;
const uint16_t GpsIfdTag = 0x8825;
const uint16_t ExifIfdTag = 0x8769;
const uint16_t UserCommentTag = 0x9286;
const uint16_t ShortType = 3;

class Tiff {
public:
    Tiff(const uint8_t* data, size_t size, bool bigEndian) : data_(data), size_(size), bigEndian_(bigEndian) {}
    bool Has(uint64_t at, uint64_t count) const { return at <= size_ && count <= size_ - at; }
    uint16_t Number16(size_t at) const {
        return bigEndian_ ? static_cast<uint16_t>(data_[at] << 8 | data_[at + 1])
                          : static_cast<uint16_t>(data_[at + 1] << 8 | data_[at]);
    }
    uint32_t Number32(size_t at) const {
        return bigEndian_ ? static_cast<uint32_t>(Number16(at)) << 16 | Number16(at + 2)
                          : static_cast<uint32_t>(Number16(at + 2)) << 16 | Number16(at);
    }
    // The entry count of the IFD at `at`, when the IFD lies inside the data whole.
    bool EntryCount(uint32_t at, uint32_t* count) const {
        if (!Has(at, 2)) return false;
        *count = Number16(at);
        return Has(static_cast<uint64_t>(at) + 2, static_cast<uint64_t>(*count) * 12);
    }

private:
    const uint8_t* data_;
    size_t size_;
    bool bigEndian_;
};

}  // namespace

ExifFacts ReadExif(const uint8_t* data, size_t size) {
    ExifFacts facts;
    if (size < 8 || !((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))) {
        facts.state = ExifState::NotTiff;
        return facts;
    }
    facts.bigEndian = data[0] == 'M';
    Tiff tiff(data, size, facts.bigEndian);
    if (tiff.Number16(2) != 42) {
        facts.state = ExifState::NotTiff;
        return facts;
    }
    uint32_t count;
    const uint32_t ifd0 = tiff.Number32(4);
    if (!tiff.EntryCount(ifd0, &count)) {
        facts.state = ExifState::Damaged;
        return facts;
    }
    uint32_t gpsAt = 0, exifAt = 0;
    for (uint32_t i = 0; i < count; i++) {
        size_t entry = ifd0 + 2 + static_cast<size_t>(i) * 12;
        uint16_t tag = tiff.Number16(entry), type = tiff.Number16(entry + 2);
        if (tag == OrientationTag && type == ShortType) facts.orientation = tiff.Number16(entry + 8);
        if (tag == GpsIfdTag) gpsAt = tiff.Number32(entry + 8);
        if (tag == ExifIfdTag) exifAt = tiff.Number32(entry + 8);
    }
    uint32_t entries;
    if (gpsAt) {
        if (tiff.EntryCount(gpsAt, &entries)) {
            facts.gpsEntries = entries;
            facts.gps = entries > 0;
        } else {
            facts.state = ExifState::Damaged;
        }
    }
    if (exifAt) {
        if (!tiff.EntryCount(exifAt, &entries)) {
            facts.state = ExifState::Damaged;
            return facts;
        }
        for (uint32_t i = 0; i < entries; i++) {
            size_t entry = exifAt + 2 + static_cast<size_t>(i) * 12;
            if (tiff.Number16(entry) != UserCommentTag) continue;
            uint32_t bytes = tiff.Number32(entry + 4);
            // Up to 4 bytes sit in the entry; more lie at its offset, which must hold them.
            if (bytes > 4 && !tiff.Has(tiff.Number32(entry + 8), bytes)) {
                facts.state = ExifState::Damaged;
                continue;
            }
            facts.userComment = true;
            facts.userCommentBytes = bytes;
        }
    }
    return facts;
}
