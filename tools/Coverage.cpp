#include "tools/Coverage.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace rdz::tools {
namespace {

bool IsProcess(const inkt_t* ink) {
    return ink != nullptr && INK_is_process(ink, nullptr) != 0;
}

double SolidCoverage(const paint_t* paint) {
    double percent = 0.0;
    for (const rdz::kelt::Amount& amount : rdz::kelt::SolidAmounts(paint)) {
        if (IsProcess(amount.ink)) {
            percent += amount.fraction * 100.0;
        }
    }
    return percent;
}

// The sums of one piece of a row (at most kPiece pixels). A pixel's sum is
// kept in 16 bits while up to 257 planes add up (255 x 257 = 65535): twice
// the lanes of 32 bits in the loops the compiler vectorises.
constexpr std::size_t kPiece = 4096;
constexpr std::size_t kNarrowPlanes = 257;

/// Rows read: adds the process planes of pixels [first, first + n).
template <typename Sum>
void SumRead(const unsigned char* planes, std::size_t w, std::size_t first, std::size_t n,
             const std::vector<std::size_t>& processPlanes, std::size_t planeCount,
             std::uint64_t* total, std::uint32_t* largest) {
    Sum sums[kPiece];
    std::fill(sums, sums + n, Sum{0});
    for (std::size_t p : processPlanes) {
        if (p >= planeCount) {
            break;
        }
        const unsigned char* plane = planes + p * w + first;
        for (std::size_t x = 0; x < n; ++x) {
            sums[x] = static_cast<Sum>(sums[x] + plane[x]);
        }
    }
    // 16-bit sums of a piece add up within 32 bits.
    std::conditional_t<sizeof(Sum) == 2, std::uint32_t, std::uint64_t> pieceTotal = 0;
    Sum pieceMax = 0;
    for (std::size_t x = 0; x < n; ++x) {
        pieceTotal += sums[x];
        pieceMax = std::max(pieceMax, sums[x]);
    }
    *total += pieceTotal;
    *largest = std::max<std::uint32_t>(*largest, pieceMax);
}

/// Rows written: per plane its sum, and the largest sum of the leading
/// planes up to it, over pixels [first, first + n).
template <typename Sum>
void SumWritten(const unsigned char* planes, std::size_t w, std::size_t first, std::size_t n,
                std::size_t count, std::uint64_t* planeSums, std::uint32_t* leadingMax) {
    Sum sums[kPiece];
    std::fill(sums, sums + n, Sum{0});
    for (std::size_t p = 0; p < count; ++p) {
        const unsigned char* plane = planes + p * w + first;
        std::uint32_t planeSum = 0;  // at most 4096 x 255
        Sum largest = 0;
        for (std::size_t x = 0; x < n; ++x) {
            planeSum += plane[x];
            sums[x] = static_cast<Sum>(sums[x] + plane[x]);
            largest = std::max(largest, sums[x]);
        }
        planeSums[p] += planeSum;
        leadingMax[p + 1] = std::max<std::uint32_t>(leadingMax[p + 1], largest);
    }
}

}  // namespace

CoverageStats PaintCoverage(const document_object_t* document) {
    CoverageStats stats;
    for (paint_t* paint : rdz::kelt::Paints(document)) {
        const std::vector<paint_t*> steps = rdz::kelt::VignetteSteps(paint);
        if (!steps.empty()) {
            for (const paint_t* step : steps) {
                stats.Add(SolidCoverage(step));
            }
        } else if (PAI_is_registration(paint) == 0) {
            stats.Add(SolidCoverage(paint));
        }
    }
    return stats;
}

ImageCoverage::ImageCoverage() {
    previous_ = rdz::kelt::SetRowObserver(
        [this](const ct_def_t* definition, int, const unsigned char* planes, int planeCount,
               int width,
               bool written) { Observe(definition, planes, planeCount, width, written); });
}

ImageCoverage::~ImageCoverage() {
    rdz::kelt::SetRowObserver(std::move(previous_));
}

void ImageCoverage::Observe(const ct_def_t* definition, const unsigned char* planes, int planeCount,
                            int width, bool written) {
    // Rows pass here on the converting thread between bands: the sums run
    // plane by plane over pieces of a row (loops the compiler vectorises;
    // pieces, so that a very wide row costs no memory of its own size), in
    // integers, and become percentages once, in Finish.
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t count = static_cast<std::size_t>(std::max(0, planeCount));
    if (!written) {
        if (definition == nullptr) {
            return;
        }
        // Rows that are written belong to the image last read: the image
        // pass reads a band of rows of one image, then writes it.
        current_ = definition;
        Image& image = images_[definition];
        if (image.original == nullptr) {
            image.original = CT_internal_handle(const_cast<ct_def_t*>(definition));
            for (int p = 0; p < planeCount && p < definition->nrInks; ++p) {
                if (IsProcess(definition->inks[p])) {
                    image.processPlanes.push_back(static_cast<std::size_t>(p));
                }
            }
        }
        std::uint64_t total = 0;
        std::uint32_t largest = 0;
        const bool narrow = image.processPlanes.size() <= kNarrowPlanes;
        for (std::size_t first = 0; first < w; first += kPiece) {
            const std::size_t n = std::min(kPiece, w - first);
            if (narrow) {
                SumRead<std::uint16_t>(planes, w, first, n, image.processPlanes, count, &total,
                                       &largest);
            } else {
                SumRead<std::uint32_t>(planes, w, first, n, image.processPlanes, count, &total,
                                       &largest);
            }
        }
        image.pixelsRead += w;
        image.readSum += total;
        image.readMax = std::max(image.readMax, largest);
        return;
    }
    const ct_def_t* owner = definition != nullptr ? definition : current_;
    if (owner == nullptr) {
        return;
    }
    Image& image = images_[owner];
    if (image.planeSums.size() < count) {
        image.planeSums.resize(count, 0);
        image.leadingMax.resize(count + 1, 0);
    }
    for (std::size_t first = 0; first < w; first += kPiece) {
        const std::size_t n = std::min(kPiece, w - first);
        if (count <= kNarrowPlanes) {
            SumWritten<std::uint16_t>(planes, w, first, n, count, image.planeSums.data(),
                                      image.leadingMax.data());
        } else {
            SumWritten<std::uint32_t>(planes, w, first, n, count, image.planeSums.data(),
                                      image.leadingMax.data());
        }
    }
    image.pixelsWritten += w;
}

void ImageCoverage::Finish(CoverageStats* before, CoverageStats* after,
                           std::vector<const ct_def_t*>* converted,
                           std::vector<const ct_def_t*>* failed) {
    for (const auto& [definition, image] : images_) {
        auto* def = const_cast<ct_def_t*>(definition);
        if (image.original == nullptr) {
            continue;  // written only: not one of the document's images
        }
        if (CT_internal_handle(def) == image.original || image.pixelsWritten == 0) {
            failed->push_back(definition);
            continue;
        }
        converted->push_back(definition);
        CoverageStats read;
        read.count = image.pixelsRead;
        read.sum = static_cast<double>(image.readSum) * 100.0 / 255.0;
        read.max = image.readMax * 100.0 / 255.0;
        before->Add(read);
        // The definition now holds the converted image: its inks say which
        // planes are process inks. They come first (the output inks, then
        // the planes kept as they were), so the largest coverage of a pixel
        // is the largest sum of its leading process planes.
        std::uint64_t total = 0;
        std::size_t leading = 0;
        bool stillLeading = true;
        for (int p = 0; p < def->nrInks && static_cast<std::size_t>(p) < image.planeSums.size();
             ++p) {
            const bool process = IsProcess(def->inks[p]);
            if (process) {
                total += image.planeSums[static_cast<std::size_t>(p)];
            }
            stillLeading = stillLeading && process;
            leading += stillLeading ? 1 : 0;
        }
        CoverageStats stats;
        stats.count = image.pixelsWritten;
        stats.sum = static_cast<double>(total) * 100.0 / 255.0;
        stats.max = image.leadingMax.empty() ? 0.0 : image.leadingMax[leading] * 100.0 / 255.0;
        after->Add(stats);
    }
}

}  // namespace rdz::tools
