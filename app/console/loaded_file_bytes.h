// loaded_file_bytes.h: a file the console loaded, as the PNG layer reads it, given back however its reading ends.
#pragma once
#include "png/byte_source.h"
#include "report/file_loader.h"

// The loader's views as the PNG layer asks for them: a range the view holds is given at once, any
// other is shown by the loader (a small file is one view, a large one slides in mapped views).
class LoadedFileBytes : public ByteSource {
public:
    explicit LoadedFileBytes(const LoadedFile& file) : view_(file.view), views_(file.views), size_(file.view.fileLeft) {}

    uint64_t Size() const override { return size_; }
    bool Show(uint64_t at, size_t count, const uint8_t** bytes) override {
        if (Holds(at, count)) {
            *bytes = view_.bytes + (at - view_.start);
            return true;
        }
        failed_ = failed_ || view_.ReadFailed();
        if (!views_ || !views_->Show(at, count, &view_) || !Holds(at, count)) {
            failed_ = failed_ || view_.ReadFailed();
            return false;
        }
        *bytes = view_.bytes + (at - view_.start);
        return true;
    }
    bool Failed() const override { return failed_ || view_.ReadFailed(); }

private:
    bool Holds(uint64_t at, size_t count) const {
        return view_.bytes && at >= view_.start && at - view_.start <= view_.n && count <= view_.n - (at - view_.start);
    }

    ScanBlock view_;
    ViewSource* views_;
    uint64_t size_;
    bool failed_ = false;
};

// Gives the loaded bytes back however the check ends.
class Loaded {
public:
    explicit Loaded(FileLoader* loader) : loader_(loader) {}
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    ~Loaded() { loader_->Release(&file); }
    LoadedFile file;

private:
    FileLoader* loader_;
};
