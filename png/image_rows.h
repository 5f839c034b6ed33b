// image_rows.h: the rows of a PNG image, inflated from its IDAT chunks and unfiltered, one at a time.
#pragma once
#include <zlib.h>
#include <cstdint>
#include <vector>
#include "png/byte_source.h"
#include "png/chunk_walk.h"
#include "png/image_header.h"

// Format notes: the image data is one zlib stream split over consecutive IDAT chunks. Without
// interlacing it holds the rows top to bottom, each one filter-type byte and RowBytes() bytes;
// filter types 0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth work on bytes, against the byte FilterStride()
// to the left (a) and the byte above (b), c above a; the row above the first is zeros.
//
// Reads every colour type and bit depth. Without interlacing only as much of the stream is inflated
// as the rows asked for need, so a caller that wants the top rows of a large image pays for those
// alone. An Adam7 image is read whole at the first row asked for, its passes put in place in a buffer
// of the whole image (MaxInterlacedImageBytes at most), or of its first columns alone for a caller
// that needs no more of each row.
enum class RowsState {
    Going,       // rows were read and more may follow
    Ended,       // every row was read
    TooWide,     // a row longer than MaxRowBytes
    TooLarge,    // an Adam7 image of more than MaxInterlacedImageBytes (its kept columns)
    NoMemory,    // no memory for the rows or the inflater
    Truncated,   // the image data ended before the last row asked for
    Damaged,     // the zlib stream is not valid
    BadFilter,   // a filter type above 4
    ReadFailed,  // the source could not show the image data
};

const uint64_t MaxRowBytes = 64u << 20;
const uint64_t MaxInterlacedImageBytes = 64u << 20;

// The bytes of a row's first `columns` pixels (of every pixel when columns is 0 or the width or more).
uint64_t KeptRowBytes(const ImageHeader& header, uint64_t columns);
// Whether an Adam7 image can be held in memory, whole or its first `columns` pixels of each row:
// MaxInterlacedImageBytes at most.
bool InterlacedImageFits(const ImageHeader& header, uint64_t columns = 0);

// The Paeth filter's guess from the byte on the left (a), above (b) and above on the left (c).
uint8_t PaethPredictor(int a, int b, int c);

class ImageRows {
public:
    // firstImageData: the first IDAT chunk; the IDAT chunks that follow it directly go on with the
    // stream. A chunk that the file's end cuts short gives the bytes it holds (a file cut off while it
    // was written still has its top rows). State() is Going when rows can be read. columnsKept: the
    // pixels of each row the caller reads (0: all); of an Adam7 image only those are kept. In the
    // stream's order an Adam7 image's pass rows are given one by one (a StreamRowWalk of the header
    // says where each lies), and nothing of the image is held.
    ImageRows(ByteSource* source, const ImageHeader& header, const WalkedChunk& firstImageData, uint64_t columnsKept = 0,
              RowOrder order = RowOrder::Image);
    ~ImageRows();
    ImageRows(const ImageRows&) = delete;
    ImageRows& operator=(const ImageRows&) = delete;

    // The next row, unfiltered: RowBytes() bytes at *row (of an Adam7 image read for its first
    // columns, KeptRowBytes() of them; in the stream's order, the pass row's), valid until the next
    // call. False once the rows have ended or failed (State() says which).
    bool Next(const uint8_t** row);
    RowsState State() const { return state_; }
    uint32_t RowsRead() const { return rowsRead_; }

private:
    bool Fail(RowsState state);
    bool FillRow();
    bool NextInput();
    bool NextPassRow(const uint8_t** row);
    bool ReadPasses();
    void Unfilter();

    ByteSource* source_;
    ImageHeader header_;
    RowOrder order_;
    StreamRowWalk walk_;  // an interlaced image's pass rows, as they are inflated
    z_stream stream_{};
    bool streamOpen_ = false;
    std::vector<uint8_t> rows_;  // the filter byte and the row, then the row above (without its filter byte)
    std::vector<uint8_t> image_;  // an interlaced image's rows (their kept columns), in order
    size_t rowBytes_ = 0;         // of the rows in rows_: an interlaced image's pass rows are shorter
    uint64_t columnsKept_ = 0;    // of an interlaced image's rows in image_
    size_t keptRowBytes_ = 0;
    uint64_t inputAt_ = 0;     // the next byte of image data not yet given to the inflater
    uint64_t chunkLeft_ = 0;   // bytes of the current IDAT chunk from inputAt_ on
    uint64_t chunkEnd_ = 0;    // just past the current IDAT chunk's CRC
    uint32_t rowsRead_ = 0;
    bool streamEnded_ = false;
    RowsState state_ = RowsState::Going;
};
