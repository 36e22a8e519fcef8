// Decoded image samples turned into rows of planes, as image definitions
// hold them.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

#include <qpdf/Pipeline.hh>

namespace rdz::formats::pdf {

/// One table per component: a decoded sample (0..255) to the sample of its
/// plane (Decode array applied, grey inverted).
using SampleTables = std::vector<std::array<unsigned char, 256>>;

/// Turns `height` rows of decoded samples (pixels interleaved, as in the
/// PDF) at `samples` into rows of planes through the tables, in place.
void LayOutPlanes(unsigned char* samples, int width, int height, const SampleTables& tables);

/// Receives decoded samples (pixels interleaved) and hands over each whole
/// row with its components one plane after the other, through the tables.
/// Samples past the last row are ignored.
class RowSink : public Pipeline {
  public:
    /// `row` gets the row number and `components` planes of `width` samples.
    RowSink(int width, int height, SampleTables tables,
            std::function<void(int row, const unsigned char* planes)> row);

    void write(unsigned char const* data, size_t len) override;
    void finish() override {}
    /// Whether every row came.
    bool Complete() const { return rows_ == height_; }

  private:
    void PutRow();

    std::size_t width_;
    int height_;
    std::size_t components_;
    SampleTables tables_;
    bool identity_;  // the tables change nothing
    std::function<void(int, const unsigned char*)> row_;
    std::vector<unsigned char> samples_;
    std::vector<unsigned char> planes_;
    std::size_t filled_ = 0;
    int rows_ = 0;
};

}  // namespace rdz::formats::pdf
