// image_rows.cpp: inflating and unfiltering image rows.
#include "png/image_rows.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

// Image data given to the inflater at once: the views of a large file stay small.
static const size_t InputPiece = 64u << 10;

uint64_t KeptRowBytes(const ImageHeader& header, uint64_t columns) {
    return columns == 0 || columns >= header.width ? header.RowBytes() : header.BytesOf(columns);
}

bool InterlacedImageFits(const ImageHeader& header, uint64_t columns) {
    return KeptRowBytes(header, columns) * header.height <= MaxInterlacedImageBytes;
}

ImageRows::ImageRows(ByteSource* source, const ImageHeader& header, const WalkedChunk& firstImageData, uint64_t columnsKept,
                     RowOrder order)
    : source_(source), header_(header), order_(order), walk_(header) {
    if (header.RowBytes() > MaxRowBytes) {
        state_ = RowsState::TooWide;
        return;
    }
    if (header.interlace != 0 && order == RowOrder::Image && !InterlacedImageFits(header, columnsKept)) {
        state_ = RowsState::TooLarge;
        return;
    }
    columnsKept_ = columnsKept == 0 || columnsKept > header.width ? header.width : columnsKept;
    keptRowBytes_ = static_cast<size_t>(KeptRowBytes(header, columnsKept_));
    rowBytes_ = static_cast<size_t>(header.RowBytes());
    try {
        rows_.assign(2 * rowBytes_ + 1, 0);
    } catch (const std::bad_alloc&) {
        state_ = RowsState::NoMemory;
        return;
    }
    if (inflateInit(&stream_) != Z_OK) {
        state_ = RowsState::NoMemory;
        return;
    }
    streamOpen_ = true;
    inputAt_ = firstImageData.DataAt();
    chunkLeft_ = firstImageData.length;
    chunkEnd_ = firstImageData.End();
    const uint64_t size = source->Size();
    chunkLeft_ = inputAt_ < size ? std::min<uint64_t>(chunkLeft_, size - inputAt_) : 0;
}

ImageRows::~ImageRows() {
    if (streamOpen_) inflateEnd(&stream_);
}

bool ImageRows::Fail(RowsState state) {
    state_ = state;
    return false;
}

// Moves on to the IDAT chunk right after the current one; false when the next chunk is none.
bool ImageRows::NextInput() {
    const uint64_t size = source_->Size();
    while (chunkLeft_ == 0) {
        if (chunkEnd_ > size || size - chunkEnd_ < 12) return false;
        const uint8_t* header;
        if (!source_->Show(chunkEnd_, 8, &header)) {
            state_ = RowsState::ReadFailed;
            return false;
        }
        uint32_t length = ReadPngNumber32(header);
        if (ReadPngNumber32(header + 4) != PngType("IDAT") || length > MaxChunkLength) return false;
        inputAt_ = chunkEnd_ + 8;
        // A chunk cut short by the file's end gives what it holds: the rows above the cut are whole.
        chunkLeft_ = std::min<uint64_t>(length, size - inputAt_);
        chunkEnd_ = inputAt_ + length + 4;
    }
    return true;
}

// Inflates the filter byte and the bytes of one row into rows_[0, rowBytes_ + 1).
bool ImageRows::FillRow() {
    size_t filled = 0;
    const size_t wanted = rowBytes_ + 1;
    while (filled < wanted) {
        if (streamEnded_) return Fail(RowsState::Truncated);
        if (chunkLeft_ == 0 && !NextInput()) return Fail(state_ == RowsState::ReadFailed ? state_ : RowsState::Truncated);
        size_t count = static_cast<size_t>(std::min<uint64_t>(chunkLeft_, InputPiece));
        const uint8_t* input;
        if (!source_->Show(inputAt_, count, &input)) return Fail(RowsState::ReadFailed);
        stream_.next_in = const_cast<Bytef*>(input);
        stream_.avail_in = static_cast<uInt>(count);
        size_t room = std::min<size_t>(wanted - filled, 1u << 30);
        stream_.next_out = rows_.data() + filled;
        stream_.avail_out = static_cast<uInt>(room);
        int result = inflate(&stream_, Z_NO_FLUSH);
        size_t used = count - stream_.avail_in;
        inputAt_ += used;
        chunkLeft_ -= used;
        filled += room - stream_.avail_out;
        stream_.next_in = nullptr;  // the view may move before the next call
        stream_.avail_in = 0;
        if (result == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (result == Z_MEM_ERROR) {
            return Fail(RowsState::NoMemory);
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            return Fail(RowsState::Damaged);
        }
    }
    return true;
}

uint8_t PaethPredictor(int a, int b, int c) {
    int p = a + b - c;
    int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Unfilters rows_[1, rowBytes_ + 1) against the row above and keeps the result as the new row above.
void ImageRows::Unfilter() {
    uint8_t* row = rows_.data() + 1;
    uint8_t* above = row + rowBytes_;
    const size_t stride = header_.FilterStride();
    switch (rows_[0]) {
    case 1:
        for (size_t i = stride; i < rowBytes_; i++) row[i] = static_cast<uint8_t>(row[i] + row[i - stride]);
        break;
    case 2:
        for (size_t i = 0; i < rowBytes_; i++) row[i] = static_cast<uint8_t>(row[i] + above[i]);
        break;
    case 3:
        for (size_t i = 0; i < rowBytes_; i++) {
            unsigned left = i >= stride ? row[i - stride] : 0;
            row[i] = static_cast<uint8_t>(row[i] + ((left + above[i]) >> 1));
        }
        break;
    case 4:
        for (size_t i = 0; i < rowBytes_; i++) {
            int left = i >= stride ? row[i - stride] : 0, corner = i >= stride ? above[i - stride] : 0;
            row[i] = static_cast<uint8_t>(row[i] + PaethPredictor(left, above[i], corner));
        }
        break;
    default: break;
    }
    memcpy(above, row, rowBytes_);
}

// The next row of an interlaced image's stream, unfiltered: its pass row as walk_ places it.
bool ImageRows::NextPassRow(const uint8_t** row) {
    if (walk_.Done()) return Fail(RowsState::Ended);
    if (walk_.Row() == 0) {
        rowBytes_ = static_cast<size_t>(walk_.RowBytes());
        std::fill(rows_.begin(), rows_.end(), 0);  // the row above a pass's first
    }
    if (!FillRow()) return false;
    if (rows_[0] > 4) return Fail(RowsState::BadFilter);
    Unfilter();
    *row = rows_.data() + 1 + rowBytes_;
    walk_.Advance();
    return true;
}

// Inflates and unfilters every pass of an interlaced image, each pixel put where it stands in image_.
bool ImageRows::ReadPasses() {
    const size_t imageRowBytes = keptRowBytes_;
    try {
        image_.assign(imageRowBytes * header_.height, 0);
    } catch (const std::bad_alloc&) {
        return Fail(RowsState::NoMemory);
    }
    while (!walk_.Done()) {
        const InterlacePass pass = walk_.Pass();
        const uint32_t j = walk_.Row(), width = walk_.Width();
        const uint8_t* passRow;
        if (!NextPassRow(&passRow)) return false;
        uint8_t* out = &image_[(pass.y0 + static_cast<size_t>(j) * pass.dy) * imageRowBytes];
        for (uint64_t i = 0, x = pass.x0; i < width && x < columnsKept_; i++, x += pass.dx) CopyPixel(header_, passRow, i, out, x);
    }
    return true;
}

bool ImageRows::Next(const uint8_t** row) {
    if (state_ != RowsState::Going) return false;
    if (header_.interlace != 0 && order_ == RowOrder::Stream) {
        if (!NextPassRow(row)) return false;
        rowsRead_++;
        return true;
    }
    if (rowsRead_ == header_.height) return Fail(RowsState::Ended);
    if (header_.interlace != 0) {
        if (rowsRead_ == 0 && !ReadPasses()) return false;
        *row = &image_[rowsRead_++ * keptRowBytes_];
        return true;
    }
    if (!FillRow()) return false;
    if (rows_[0] > 4) return Fail(RowsState::BadFilter);
    Unfilter();
    rowsRead_++;
    *row = rows_.data() + 1 + rowBytes_;
    return true;
}
