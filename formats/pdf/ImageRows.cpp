#include "formats/pdf/ImageRows.h"

#include <algorithm>

namespace rdz::formats::pdf {

RowSink::RowSink(int width, int height, SampleTables tables,
                 std::function<void(int row, const unsigned char* planes)> row)
    : Pipeline("image rows", nullptr),
      width_(static_cast<std::size_t>(width)),
      height_(height),
      components_(tables.size()),
      tables_(std::move(tables)),
      row_(std::move(row)),
      samples_(width_ * components_),
      planes_(width_ * components_) {}

void RowSink::write(unsigned char const* data, size_t len) {
    while (len > 0 && rows_ < height_) {
        const std::size_t take = std::min(len, samples_.size() - filled_);
        std::copy(data, data + take, samples_.begin() + static_cast<std::ptrdiff_t>(filled_));
        filled_ += take;
        data += take;
        len -= take;
        if (filled_ == samples_.size()) {
            PutRow();
        }
    }
}

void RowSink::PutRow() {
    for (std::size_t p = 0; p < components_; ++p) {
        const std::array<unsigned char, 256>& table = tables_[p];
        unsigned char* plane = planes_.data() + p * width_;
        const unsigned char* in = samples_.data() + p;
        for (std::size_t x = 0; x < width_; ++x, in += components_) {
            plane[x] = table[*in];
        }
    }
    row_(rows_, planes_.data());
    ++rows_;
    filled_ = 0;
}

}  // namespace rdz::formats::pdf
