// The image pass: plane maps folded into definitions, definitions rewritten
// row by row through the pixel transform.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "converter/ImageFolding.h"
#include "converter/TColorConverter.h"
#include "converter/WorkerPool.h"

namespace {

constexpr unsigned int kLeaveUnconverted = 0x20000;

/// With several threads an image goes in bands of rows: at most this many
/// rows per thread, and about this many bytes of source and target rows.
constexpr int kBandRowsPerThread = 16;
constexpr size_t kBandBytes = size_t(4) << 20;

/// Rows per band: one for one thread (the rows go one at a time, with
/// buffers for one row); otherwise enough to keep `threads` busy, within
/// the limits above, never fewer than `threads` and never more than `height`.
int BandRows(int threads, size_t rowBytes, int height) {
    if (threads <= 1) {
        return 1;
    }
    const size_t byRows = static_cast<size_t>(kBandRowsPerThread) * static_cast<size_t>(threads);
    const size_t byBytes = rowBytes > 0 ? kBandBytes / rowBytes : byRows;
    const size_t rows = std::min(byRows, std::max(byBytes, static_cast<size_t>(threads)));
    return static_cast<int>(std::min(rows, static_cast<size_t>(height)));
}

/// Sample x of plane k goes to byte channel[k] of pixel x (pixels of
/// `stride` bytes), for k in plane order. Four planes into the four channels
/// of four-byte pixels (CMYK, the usual case) go in one pass.
void Interleave(const std::vector<const unsigned char*>& planes, const std::vector<size_t>& channel,
                size_t width, size_t stride, unsigned char* pixels) {
    if (planes.size() == 4 && stride == 4) {
        const unsigned char* a = planes[0];
        const unsigned char* b = planes[1];
        const unsigned char* c = planes[2];
        const unsigned char* d = planes[3];
        if (channel[0] == 0 && channel[1] == 1 && channel[2] == 2 && channel[3] == 3) {
            for (size_t x = 0; x < width; ++x) {
                unsigned char* px = pixels + 4 * x;
                px[0] = a[x];
                px[1] = b[x];
                px[2] = c[x];
                px[3] = d[x];
            }
            return;
        }
        for (size_t x = 0; x < width; ++x) {
            unsigned char* px = pixels + 4 * x;
            px[channel[0]] = a[x];
            px[channel[1]] = b[x];
            px[channel[2]] = c[x];
            px[channel[3]] = d[x];
        }
        return;
    }
    for (size_t k = 0; k < planes.size(); ++k) {
        const unsigned char* plane = planes[k];
        unsigned char* px = pixels + channel[k];
        for (size_t x = 0; x < width; ++x, px += stride) {
            *px = plane[x];
        }
    }
}

/// Byte channel[k] of every pixel (of `stride` bytes) into plane k of
/// `planes` (consecutive planes of `width` samples); four channels of
/// four-byte pixels go in one pass.
void Deinterleave(const unsigned char* pixels, size_t stride, const std::vector<size_t>& channel,
                  size_t width, unsigned char* planes) {
    if (channel.size() == 4 && stride == 4) {
        unsigned char* a = planes;
        unsigned char* b = planes + width;
        unsigned char* c = planes + 2 * width;
        unsigned char* d = planes + 3 * width;
        const size_t k0 = channel[0], k1 = channel[1], k2 = channel[2], k3 = channel[3];
        for (size_t x = 0; x < width; ++x) {
            const unsigned char* px = pixels + 4 * x;
            a[x] = px[k0];
            b[x] = px[k1];
            c[x] = px[k2];
            d[x] = px[k3];
        }
        return;
    }
    for (size_t k = 0; k < channel.size(); ++k) {
        const unsigned char* px = pixels + channel[k];
        unsigned char* plane = planes + k * width;
        for (size_t x = 0; x < width; ++x, px += stride) {
            plane[x] = *px;
        }
    }
}

struct ImageReleaser {
    void operator()(cti_image_t* image) const { CTI_release(image); }
};
/// A target image that is released unless it is installed.
using TargetImage = std::unique_ptr<cti_image_t, ImageReleaser>;

/// One thread's pixel buffers: a row of input pixels and of output pixels.
struct RowPixels {
    std::vector<unsigned char> in;
    std::vector<unsigned char> out;
    std::vector<const unsigned char*> planes;  // the row's feeding planes
};

}  // namespace

void TColorConverter::ConvertCTO_CB(void* object, obj_apply_data_t converter) {
    reinterpret_cast<TColorConverter*>(converter)->ConvertCTO(object);
}

void TColorConverter::ConvertCTO(void* object) {
    auto* obj = static_cast<document_object_t*>(object);
    if (OBJ_is_ct_object(obj) == 0) {
        return;
    }
    auto* placement = static_cast<ct_object_t*>(obj);
    ct_def_t* definition = placement->definition;
    if (placement->planeMapUsed == 0 || definition == nullptr) {
        return;
    }
    // A definition that stays unconverted keeps the plane maps of its
    // placements: their paints are converted in the paint pass instead.
    if ((definition->flags & kLeaveUnconverted) != 0) {
        return;
    }
    std::vector<inkt_t*> inks;
    if (!FoldedPlaneInks(placement, inks)) {
        definition->flags |= kLeaveUnconverted;
        return;
    }
    std::copy(inks.begin(), inks.end(), definition->inks);
    CTO_reset_planemap(placement);
}

bool TColorConverter::ImageRequiresConversion(int nrInks, inkt_t** inks) const {
    return DoImageRequiresConversion(nrInks, inks);
}

void TColorConverter::ConvertCTDef(ct_def_t* definition) {
    const int nrInks = definition->nrInks;
    std::vector<int> inputIndex(static_cast<size_t>(nrInks), -1);
    std::vector<int> exceptionIndex(static_cast<size_t>(nrInks), -1);
    int nrExceptionPlanes = 0;
    for (int p = 0; p < nrInks; ++p) {
        inkt_t* ink = definition->inks[p];
        if (ink == nullptr) {
            continue;
        }
        inputIndex[static_cast<size_t>(p)] = getSrcIndex(ink);
        exceptionIndex[static_cast<size_t>(p)] = getImageExceptionIndex(ink);
        if (exceptionIndex[static_cast<size_t>(p)] >= 0) {
            ++nrExceptionPlanes;
        }
    }

    if (!makeAllImagesInternal && !ImageRequiresConversion(nrInks, definition->inks)) {
        return;
    }

    CT_make_internal(definition);
    cti_image_t* source = CT_internal_handle(definition);
    const bool hasAlpha = CT_contains_alpha(definition) != 0;
    // A source image with fewer planes than the definition names cannot be
    // read plane by plane: leave the definition as it is.
    if (source == nullptr || CTI_nplanes(source) < nrInks + (hasAlpha ? 1 : 0)) {
        return;
    }

    const int nrTargetInks = nrOutputInks + nrExceptionPlanes;
    soa_t* targetInks = SOA_create(nrTargetInks);
    for (int k = 0; k < nrOutputInks; ++k) {
        SOA_set_object(targetInks, k, outputInks[static_cast<size_t>(k)]);
    }
    for (int p = 0, k = nrOutputInks; p < nrInks; ++p) {
        if (exceptionIndex[static_cast<size_t>(p)] >= 0) {
            SOA_set_object(targetInks, k++, definition->inks[p]);
        }
    }
    TargetImage target(CTI_create(definition->ctParam1, definition->ctParam2, definition->ctParam3,
                                  definition->height, definition->width,
                                  hasAlpha ? CTI_KIND_PLANES_ALPHA : CTI_KIND_PLANES, 8, targetInks,
                                  0, 0));
    if (!target) {
        return;
    }

    const int height = definition->height;
    const size_t width = static_cast<size_t>(definition->width);
    const size_t nIn = static_cast<size_t>(nrInputInks);
    const size_t nOut = static_cast<size_t>(nrOutputChannels);
    const size_t sourceRowBytes = width * static_cast<size_t>(CTI_nplanes(source));
    const size_t targetRowBytes = width * static_cast<size_t>(nrTargetInks + (hasAlpha ? 1 : 0));
    int threads = height > 1 ? std::min(threadCount, WorkerPool::kMaxWorkers) : 1;
    if (threads > 1) {
        if (!imageWorkers || imageWorkers->Requested() != threads) {
            imageWorkers.reset();
            imageWorkers = std::make_unique<WorkerPool>(threads);
        }
        threads = imageWorkers->Size();  // fewer when the system refused a thread
    }
    const int bandRows = BandRows(threads, sourceRowBytes + targetRowBytes, height);

    // The source and target rows of one band (one row with one thread), and
    // the input and output pixels of a row for each thread.
    // With helper threads there are two of each: the calling thread reads
    // the next band and writes the previous one while the helpers convert
    // the current one.
    const int bandBuffers = threads > 1 ? 2 : 1;
    std::vector<unsigned char> sourceRows, targetRows;
    std::vector<RowPixels> pixels;
    try {
        sourceRows.resize(static_cast<size_t>(bandBuffers) * static_cast<size_t>(bandRows) *
                          sourceRowBytes);
        targetRows.resize(static_cast<size_t>(bandBuffers) * static_cast<size_t>(bandRows) *
                          targetRowBytes);
        pixels.resize(static_cast<size_t>(threads));
        for (RowPixels& row : pixels) {
            row.in.resize(width * nIn);
            row.out.resize(width * nOut);
            row.planes.reserve(static_cast<size_t>(nrInks));
        }
    } catch (const std::bad_alloc&) {
        // Not enough memory for the rows: the definition stays as it was.
        return;
    }

    // Output channels that are written back, in target plane order.
    std::vector<size_t> keptChannels;
    for (int c = 0; c < nrOutputChannels; ++c) {
        if (skippedOutputChannels.count(c) == 0) {
            keptChannels.push_back(static_cast<size_t>(c));
        }
    }

    // Input channels that no plane feeds stay 0 in every pixel.
    std::vector<bool> fed(nIn, false);
    for (int p = 0; p < nrInks; ++p) {
        if (inputIndex[static_cast<size_t>(p)] >= 0) {
            fed[static_cast<size_t>(inputIndex[static_cast<size_t>(p)])] = true;
        }
    }
    const bool everyInputFed = std::find(fed.begin(), fed.end(), false) == fed.end();
    // The planes that feed the transform, in plane order, and their channels.
    std::vector<size_t> feedingPlanes, feedChannels;
    for (int p = 0; p < nrInks; ++p) {
        if (inputIndex[static_cast<size_t>(p)] >= 0) {
            feedingPlanes.push_back(static_cast<size_t>(p));
            feedChannels.push_back(static_cast<size_t>(inputIndex[static_cast<size_t>(p)]));
        }
    }

    std::atomic<bool> failed{false};
    // The rows of band buffer `b`.
    const auto bandSource = [&](int b) {
        return sourceRows.data() +
               static_cast<size_t>(b) * static_cast<size_t>(bandRows) * sourceRowBytes;
    };
    const auto bandTarget = [&](int b) {
        return targetRows.data() +
               static_cast<size_t>(b) * static_cast<size_t>(bandRows) * targetRowBytes;
    };
    // The band buffer being converted (set before its batch starts).
    const unsigned char* convertingSource = bandSource(0);
    unsigned char* convertingTarget = bandTarget(0);
    // Row `r` of the band, on thread `worker`: source planes into input
    // pixels, the transform, output pixels and copied planes into the target.
    const WorkerPool::Task convertRow = [&](int worker, int r) {
        const unsigned char* sourceRow = convertingSource + static_cast<size_t>(r) * sourceRowBytes;
        unsigned char* targetRow = convertingTarget + static_cast<size_t>(r) * targetRowBytes;
        RowPixels& row = pixels[static_cast<size_t>(worker)];
        if (!everyInputFed) {
            std::fill(row.in.begin(), row.in.end(), 0);
        }
        row.planes.clear();
        for (size_t p : feedingPlanes) {
            row.planes.push_back(sourceRow + p * width);
        }
        Interleave(row.planes, feedChannels, width, nIn, row.in.data());

        // A transform that fails leaves the definition as it was, rather
        // than installing an image made of whatever the buffer held.
        std::fill(row.out.begin(), row.out.end(), 0);
        if (Convert(row.in.data(), row.out.data(), definition->width, false) != 0) {
            failed.store(true);
            return false;
        }

        Deinterleave(row.out.data(), nOut, keptChannels, width, targetRow);
        unsigned char* targetPlane = targetRow + keptChannels.size() * width;
        for (int p = 0; p < nrInks; ++p) {
            if (exceptionIndex[static_cast<size_t>(p)] >= 0) {
                std::memcpy(targetPlane, sourceRow + static_cast<size_t>(p) * width, width);
                targetPlane += width;
            }
        }
        if (hasAlpha) {
            std::memcpy(targetPlane, sourceRow + static_cast<size_t>(nrInks) * width, width);
        }
        return true;
    };

    // The host image is read and written on this thread only, in row order.
    const auto readBand = [&](int first, int rows, unsigned char* into) {
        for (int r = 0; r < rows; ++r) {
            if (CTI_getrow_line_il(source, first + r, 0, 0,
                                   into + static_cast<size_t>(r) * sourceRowBytes) != 0) {
                return false;
            }
        }
        return true;
    };
    const auto writeBand = [&](int first, int rows, const unsigned char* from) {
        for (int r = 0; r < rows; ++r) {
            if (CTI_putrow_line_il(
                    target.get(),
                    const_cast<unsigned char*>(from) + static_cast<size_t>(r) * targetRowBytes,
                    first + r, 0, 0) != 0) {
                return false;
            }
        }
        return true;
    };
    const auto bandLength = [&](int first) { return std::min(bandRows, height - first); };

    if (threads == 1) {
        for (int first = 0; first < height; first += bandRows) {
            const int rows = bandLength(first);
            if (!readBand(first, rows, bandSource(0)) || !convertRow(0, 0) ||
                !writeBand(first, rows, bandTarget(0))) {
                return;
            }
        }
        CT_set_internal(definition, target.release());
        return;
    }

    // Band k is converted by the helpers (and by this thread once its own
    // work is done) while this thread writes band k - 1 and reads band k + 1,
    // so that the host's reading and writing, which cannot be shared, hides
    // behind the conversion. Rows still go to the host in order, and every
    // band is converted exactly as the one-thread pass converts it.
    if (!readBand(0, bandLength(0), bandSource(0))) {
        return;
    }
    for (int first = 0, band = 0; first < height; first += bandRows, ++band) {
        const int rows = bandLength(first);
        const int current = band % 2;
        convertingSource = bandSource(current);
        convertingTarget = bandTarget(current);
        bool hostFailed = false;
        imageWorkers->Start(rows, convertRow);
        try {
            if (first > 0) {
                hostFailed = !writeBand(first - bandRows, bandRows, bandTarget(1 - current));
            }
            const int next = first + bandRows;
            if (!hostFailed && next < height) {
                hostFailed = !readBand(next, bandLength(next), bandSource(1 - current));
            }
        } catch (...) {
            imageWorkers->Finish();  // the helpers use the buffers until then
            throw;
        }
        imageWorkers->Finish();
        if (hostFailed || failed.load()) {
            return;
        }
    }
    const int lastFirst = ((height - 1) / bandRows) * bandRows;
    if (!writeBand(lastFirst, height - lastFirst, bandTarget((lastFirst / bandRows) % 2))) {
        return;
    }
    CT_set_internal(definition, target.release());
}
