#include "formats/pdf/ImageRows.h"

#include <algorithm>

namespace rdz::formats::pdf {

namespace {

bool IsIdentity(const SampleTables& tables) {
    for (const std::array<unsigned char, 256>& table : tables) {
        for (std::size_t s = 0; s < table.size(); ++s) {
            if (table[s] != static_cast<unsigned char>(s)) {
                return false;
            }
        }
    }
    return true;
}

/// One row: interleaved samples at `in` to planes at `out` (not overlapping).
/// With `identity` the tables change nothing. Four components (the common
/// case) go in one pass.
void RowToPlanes(const unsigned char* in, unsigned char* out, std::size_t width,
                 const SampleTables& tables, bool identity) {
    const std::size_t components = tables.size();
    if (components == 4) {
        unsigned char* c = out;
        unsigned char* m = out + width;
        unsigned char* y = out + 2 * width;
        unsigned char* k = out + 3 * width;
        if (identity) {
            for (std::size_t x = 0; x < width; ++x, in += 4) {
                c[x] = in[0];
                m[x] = in[1];
                y[x] = in[2];
                k[x] = in[3];
            }
        } else {
            for (std::size_t x = 0; x < width; ++x, in += 4) {
                c[x] = tables[0][in[0]];
                m[x] = tables[1][in[1]];
                y[x] = tables[2][in[2]];
                k[x] = tables[3][in[3]];
            }
        }
        return;
    }
    for (std::size_t p = 0; p < components; ++p) {
        const std::array<unsigned char, 256>& table = tables[p];
        unsigned char* plane = out + p * width;
        const unsigned char* sample = in + p;
        for (std::size_t x = 0; x < width; ++x, sample += components) {
            plane[x] = table[*sample];
        }
    }
}

}  // namespace

void LayOutPlanes(unsigned char* samples, int width, int height, const SampleTables& tables) {
    const std::size_t columns = static_cast<std::size_t>(width);
    const std::size_t row = columns * tables.size();
    const bool identity = IsIdentity(tables);
    if (identity && tables.size() == 1) {
        return;  // one plane, unchanged: the samples are the plane
    }
    std::vector<unsigned char> scratch(row);
    for (int y = 0; y < height; ++y) {
        unsigned char* at = samples + row * static_cast<std::size_t>(y);
        std::copy(at, at + row, scratch.begin());
        RowToPlanes(scratch.data(), at, columns, tables, identity);
    }
}

RowSink::RowSink(int width, int height, SampleTables tables,
                 std::function<void(int row, const unsigned char* planes)> row)
    : Pipeline("image rows", nullptr),
      width_(static_cast<std::size_t>(width)),
      height_(height),
      components_(tables.size()),
      tables_(std::move(tables)),
      identity_(IsIdentity(tables_)),
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
    RowToPlanes(samples_.data(), planes_.data(), width_, tables_, identity_);
    row_(rows_, planes_.data());
    ++rows_;
    filled_ = 0;
}

}  // namespace rdz::formats::pdf
