// Total area coverage of the process inks: the sum of the process-ink
// amounts of a pixel or a paint, in percent (400 for full CMYK), before and
// after a conversion.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::tools {

/// Mean and maximum of many coverages.
struct CoverageStats {
    std::uint64_t count = 0;
    double sum = 0.0;
    double max = 0.0;

    void Add(double percent) {
        ++count;
        sum += percent;
        max = percent > max ? percent : max;
    }
    void Add(const CoverageStats& other) {
        count += other.count;
        sum += other.sum;
        max = other.max > max ? other.max : max;
    }
    double Mean() const { return count == 0 ? 0.0 : sum / static_cast<double>(count); }
};

/// The process coverage of every solid paint of the document (the steps of
/// vignettes each count as one paint; registration paints do not count).
CoverageStats PaintCoverage(const document_object_t* document);

/// Totals the process coverage of the images a conversion rewrites, from the
/// rows the converter reads (before) and writes (after), through the
/// document database's row observer, which it holds while it lives. Images
/// are never held in memory for this: rows are totalled as they pass.
class ImageCoverage {
  public:
    ImageCoverage();
    ~ImageCoverage();
    ImageCoverage(const ImageCoverage&) = delete;
    ImageCoverage& operator=(const ImageCoverage&) = delete;

    /// After the conversion: the totals over the pixels of the images that
    /// were converted (an image whose conversion failed counts in neither),
    /// and the definitions whose rows were read but that kept their pixels.
    void Finish(CoverageStats* before, CoverageStats* after,
                std::vector<const ct_def_t*>* converted, std::vector<const ct_def_t*>* failed);

  private:
    struct Image {
        const cti_image_t* original = nullptr;  // the pixel image when first read
        std::vector<std::size_t> processPlanes;  // of the rows read
        // Rows read: pixels, the sum of their process samples, the largest
        // process sum of one pixel (samples 0..255; percent in Finish).
        std::uint64_t pixelsRead = 0;
        std::uint64_t readSum = 0;
        std::uint32_t readMax = 0;
        // Rows written: per plane the sum of the samples, and per number k
        // of leading planes the largest sum of those k samples of a pixel.
        // The converted image puts its process inks first; which planes are
        // process inks is known only once the definition holds the image.
        std::vector<std::uint64_t> planeSums;
        std::vector<std::uint32_t> leadingMax;
        std::uint64_t pixelsWritten = 0;
    };
    void Observe(const ct_def_t* definition, const unsigned char* planes, int planeCount, int width,
                 bool written);

    std::map<const ct_def_t*, Image> images_;
    const ct_def_t* current_ = nullptr;
    rdz::kelt::RowObserverFunction previous_;
};

}  // namespace rdz::tools
