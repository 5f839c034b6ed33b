// image_data_writer.h: image rows filtered and deflated into IDAT chunks, the way back of image_rows.
#pragma once
#include <zlib.h>
#include <cstddef>
#include <cstdint>
#include <vector>
#include "png/image_header.h"

// Format notes: as image_rows.h; each row is given a filter byte and filtered against the row before
// it, the rows go into one zlib stream (zlib's deflate), and the stream is cut into IDAT chunks of
// ImageDataChunkBytes each but the last, each with its CRC.
//
// Writes every colour type and bit depth. An Adam7 image given in the image's row order is kept
// (MaxInterlacedImageBytes at most) until its last row, then written pass by pass; given in the
// stream's order, its pass rows are written as they come and nothing of the image is held.
enum class ImageDataEnd {
    Going,     // rows are taken
    Finished,  // the stream is ended and every chunk written
    NoMemory,  // no memory for the deflater, the chunks or an interlaced image
    Failed,    // deflate failed, an interlaced image too large, a row too wide, or more rows than the height
};

// The data of each IDAT chunk but the last.
const size_t ImageDataChunkBytes = 1u << 16;

class ImageDataWriter {
public:
    // Appends the chunks to *chunks (length, type, data, CRC each), which the caller owns; the rows
    // come in the order given.
    ImageDataWriter(const ImageHeader& header, std::vector<uint8_t>* chunks, RowOrder order = RowOrder::Image);
    ~ImageDataWriter();
    ImageDataWriter(const ImageDataWriter&) = delete;
    ImageDataWriter& operator=(const ImageDataWriter&) = delete;

    // The next row, unfiltered, RowBytes() bytes (in the stream's order, those of the pass row a
    // StreamRowWalk of the header gives). False once the writing failed (State() says why).
    bool AddRow(const uint8_t* row);
    // Ends the stream after the last row: true when every row was given and every chunk written.
    bool Finish();
    ImageDataEnd State() const { return state_; }

private:
    bool Fail(ImageDataEnd state);
    bool Deflate(const uint8_t* bytes, size_t count, int flush);
    void EmitChunk(size_t count);
    void Filter(const uint8_t* row);
    bool WriteRow(const uint8_t* row);
    bool WritePasses();

    ImageHeader header_;
    bool passRows_;        // an interlaced image given in the stream's order
    StreamRowWalk walk_;   // then: where the next row lies
    std::vector<uint8_t>* chunks_;
    z_stream stream_{};
    bool streamOpen_ = false;
    size_t rowBytes_ = 0;            // of the rows filtered: an interlaced image's pass rows are shorter
    std::vector<uint8_t> image_;     // an interlaced image's rows, until the last is given
    std::vector<uint8_t> above_;     // the row before, unfiltered (zeros before the first)
    std::vector<uint8_t> filtered_;  // for each filter type: its byte and the row filtered
    std::vector<uint8_t> pending_;   // deflated bytes not yet in a chunk
    uint32_t rowsAdded_ = 0;
    ImageDataEnd state_ = ImageDataEnd::Going;
};
