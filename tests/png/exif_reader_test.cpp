// exif_reader_test.cpp: orientation, GPS and user comment from eXIf blocks of both byte orders.
#include <gtest/gtest.h>
#include <string>
#include "png/exif_reader.h"
#include "tests/png/pixel_png.h"

namespace {

ExifFacts Read(const std::string& data) { return ReadExif(reinterpret_cast<const uint8_t*>(data.data()), data.size()); }

TEST(ExifReader, ReadsOrientationGpsAndCommentInBothByteOrders) {
    for (bool bigEndian : {false, true}) {
        ExifFacts facts = Read(pixelpng::ExifData(bigEndian, 6, true, "Steps: 20"));
        EXPECT_EQ(facts.state, ExifState::Ok) << bigEndian;
        EXPECT_EQ(facts.bigEndian, bigEndian);
        EXPECT_EQ(facts.orientation, 6u);
        EXPECT_TRUE(facts.gps);
        EXPECT_EQ(facts.gpsEntries, 1u);
        EXPECT_TRUE(facts.userComment);
        EXPECT_EQ(facts.userCommentBytes, 8u + 9u);
    }
}

TEST(ExifReader, TellsABlockWithoutThem) {
    ExifFacts facts = Read(pixelpng::ExifData(true, 1, false));
    EXPECT_EQ(facts.state, ExifState::Ok);
    EXPECT_EQ(facts.orientation, 1u);
    EXPECT_FALSE(facts.gps);
    EXPECT_FALSE(facts.userComment);
    EXPECT_EQ(Read(pixelpng::ExifData(false, 0, false)).orientation, 0u);
}

TEST(ExifReader, RefusesWhatIsNotTiff) {
    EXPECT_EQ(Read("").state, ExifState::NotTiff);
    EXPECT_EQ(Read("II*").state, ExifState::NotTiff);
    EXPECT_EQ(Read(std::string("II\x2b\0\x08\0\0\0", 8)).state, ExifState::NotTiff);
    EXPECT_EQ(Read(std::string("Exif\0\0II*\0", 10)).state, ExifState::NotTiff);
}

TEST(ExifReader, ChecksEveryOffsetAgainstTheBlock) {
    const std::string good = pixelpng::ExifData(false, 6, true, "Steps: 20");
    // Every cut of the block and every byte set to FF: no read outside (the sanitizer-free way: the
    // data is copied to a block of exactly its size, so a read past it reads another allocation), a
    // code for the damage.
    for (size_t size = 0; size <= good.size(); size++) {
        std::string cut = good.substr(0, size);
        ExifFacts facts = Read(cut);
        if (size < good.size()) {
            EXPECT_NE(facts.state, ExifState::Ok) << size;
        }
    }
    for (size_t at = 0; at < good.size(); at++) {
        std::string changed = good;
        changed[at] = '\xFF';
        Read(changed);
    }
    std::string farOffset = good;
    farOffset[4] = '\xF0';  // IFD0 far past the end
    EXPECT_EQ(Read(farOffset).state, ExifState::Damaged);
}

}  // namespace
