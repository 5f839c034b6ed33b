// image_data_writer.cpp: filtering and deflating image rows into IDAT chunks.
#include "png/image_data_writer.h"
#include <algorithm>
#include <cstring>
#include <new>
#include "png/chunk_walk.h"
#include "png/image_rows.h"
#include "runtime/crc32.h"

namespace {

const int FilterTypes = 5;

void AppendNumber32(std::vector<uint8_t>* out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

ImageDataWriter::ImageDataWriter(const ImageHeader& header, std::vector<uint8_t>* chunks, RowOrder order)
    : header_(header), passRows_(header.interlace != 0 && order == RowOrder::Stream), walk_(header), chunks_(chunks) {
    const bool interlaced = header.interlace != 0 && !passRows_;  // held whole
    if (header.RowBytes() > MaxRowBytes || (interlaced && !InterlacedImageFits(header))) {
        state_ = ImageDataEnd::Failed;
        return;
    }
    rowBytes_ = static_cast<size_t>(header.RowBytes());
    try {
        if (interlaced) image_.reserve(rowBytes_ * header.height);
        above_.assign(rowBytes_, 0);
        filtered_.assign(FilterTypes * (rowBytes_ + 1), 0);
        pending_.reserve(ImageDataChunkBytes);
    } catch (const std::bad_alloc&) {
        state_ = ImageDataEnd::NoMemory;
        return;
    }
    if (deflateInit(&stream_, Z_DEFAULT_COMPRESSION) != Z_OK) {
        state_ = ImageDataEnd::NoMemory;
        return;
    }
    streamOpen_ = true;
}

ImageDataWriter::~ImageDataWriter() {
    if (streamOpen_) deflateEnd(&stream_);
}

bool ImageDataWriter::Fail(ImageDataEnd state) {
    state_ = state;
    return false;
}

// One chunk of the first count pending bytes.
void ImageDataWriter::EmitChunk(size_t count) {
    static const uint8_t type[4] = {'I', 'D', 'A', 'T'};
    AppendNumber32(chunks_, static_cast<uint32_t>(count));
    chunks_->insert(chunks_->end(), type, type + 4);
    chunks_->insert(chunks_->end(), pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    AppendNumber32(chunks_, Crc32(Crc32(0, type, 4), pending_.data(), count));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
}

// Feeds bytes to the deflater; whatever it gives goes to pending_, and out in chunks as they fill.
bool ImageDataWriter::Deflate(const uint8_t* bytes, size_t count, int flush) {
    uint8_t out[1u << 14];
    stream_.next_in = const_cast<Bytef*>(bytes);
    stream_.avail_in = static_cast<uInt>(count);
    for (;;) {
        stream_.next_out = out;
        stream_.avail_out = sizeof out;
        int result = deflate(&stream_, flush);
        if (result == Z_STREAM_ERROR) return Fail(ImageDataEnd::Failed);
        pending_.insert(pending_.end(), out, out + (sizeof out - stream_.avail_out));
        while (pending_.size() >= ImageDataChunkBytes) EmitChunk(ImageDataChunkBytes);
        if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_in == 0 && stream_.avail_out != 0) break;
    }
    stream_.next_in = nullptr;
    return true;
}

// Each filter type's row into filtered_, one after the other, each after its filter byte.
void ImageDataWriter::Filter(const uint8_t* row) {
    const size_t stride = header_.FilterStride();
    const uint8_t* above = above_.data();
    for (int type = 0; type < FilterTypes; type++) {
        uint8_t* out = &filtered_[type * (rowBytes_ + 1)];
        out[0] = static_cast<uint8_t>(type);
        out++;
        for (size_t i = 0; i < rowBytes_; i++) {
            int a = i >= stride ? row[i - stride] : 0, b = above[i], c = i >= stride ? above[i - stride] : 0;
            int predictor = 0;
            switch (type) {
            case 1: predictor = a; break;
            case 2: predictor = b; break;
            case 3: predictor = (a + b) >> 1; break;
            case 4: predictor = PaethPredictor(a, b, c); break;
            default: break;
            }
            out[i] = static_cast<uint8_t>(row[i] - predictor);
        }
    }
}

bool ImageDataWriter::AddRow(const uint8_t* row) {
    if (state_ != ImageDataEnd::Going) return false;
    if (passRows_) {
        if (walk_.Done()) return Fail(ImageDataEnd::Failed);
        if (walk_.Row() == 0) {
            rowBytes_ = static_cast<size_t>(walk_.RowBytes());
            std::fill(above_.begin(), above_.end(), 0);
        }
        walk_.Advance();
        return WriteRow(row);
    }
    if (rowsAdded_ == header_.height) return Fail(ImageDataEnd::Failed);
    rowsAdded_++;
    if (header_.interlace == 0) return WriteRow(row);
    image_.insert(image_.end(), row, row + rowBytes_);  // reserved whole
    return true;
}

// One row of rowBytes_ filtered and deflated.
bool ImageDataWriter::WriteRow(const uint8_t* row) {
    try {
        Filter(row);
        // The filter whose bytes, taken as signed, sum smallest: the usual guess at what deflates best.
        int best = 0;
        uint64_t bestSum = UINT64_MAX;
        for (int type = 0; type < FilterTypes; type++) {
            const uint8_t* out = &filtered_[type * (rowBytes_ + 1) + 1];
            uint64_t sum = 0;
            for (size_t i = 0; i < rowBytes_; i++) sum += out[i] < 128 ? out[i] : 256 - out[i];
            if (sum < bestSum) {
                bestSum = sum;
                best = type;
            }
        }
        memcpy(above_.data(), row, rowBytes_);
        return Deflate(&filtered_[best * (rowBytes_ + 1)], rowBytes_ + 1, Z_NO_FLUSH);
    } catch (const std::bad_alloc&) {
        return Fail(ImageDataEnd::NoMemory);
    }
}

// The passes of an interlaced image, each pixel taken from where it stands in image_.
bool ImageDataWriter::WritePasses() {
    const size_t imageRowBytes = rowBytes_;
    std::vector<uint8_t> passRow(imageRowBytes);
    for (StreamRowWalk walk(header_); !walk.Done(); walk.Advance()) {
        if (walk.Row() == 0) {
            rowBytes_ = static_cast<size_t>(walk.RowBytes());
            std::fill(above_.begin(), above_.end(), 0);
        }
        const InterlacePass& pass = walk.Pass();
        const uint8_t* in = &image_[(pass.y0 + static_cast<size_t>(walk.Row()) * pass.dy) * imageRowBytes];
        passRow[rowBytes_ - 1] = 0;  // a row of small pixels ends in bits no pixel sets
        for (uint32_t i = 0; i < walk.Width(); i++) CopyPixel(header_, in, pass.x0 + static_cast<uint64_t>(i) * pass.dx, passRow.data(), i);
        if (!WriteRow(passRow.data())) return false;
    }
    return true;
}

bool ImageDataWriter::Finish() {
    if (state_ != ImageDataEnd::Going) return false;
    if (passRows_ ? !walk_.Done() : rowsAdded_ != header_.height) return Fail(ImageDataEnd::Failed);
    try {
        if (header_.interlace != 0 && !passRows_ && !WritePasses()) return false;
        if (!Deflate(nullptr, 0, Z_FINISH)) return false;
        if (!pending_.empty()) EmitChunk(pending_.size());
    } catch (const std::bad_alloc&) {
        return Fail(ImageDataEnd::NoMemory);
    }
    state_ = ImageDataEnd::Finished;
    return true;
}
