// TIFF reading and writing over libtiff.
#include "formats/tiff/TiffFile.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <new>

namespace rdz::formats {
namespace {

constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 32;
constexpr int kMaxSamplesPerPixel = 64;

/// Keeps the first error libtiff reports for a file (later ones tend to be
/// consequences of the first).
int KeepError(TIFF*, void* userData, const char* module, const char* format, va_list args) {
    auto* text = static_cast<std::string*>(userData);
    if (!text->empty()) {
        return 1;
    }
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    // libtiff sends a few warnings (ink names that do not cover every
    // sample, for one) through its error channel.
    if (std::strncmp(buffer, "Warning", 7) == 0) {
        return 1;
    }
    *text = buffer;
    if (module != nullptr && *module != '\0' && text->find(module) == std::string::npos) {
        *text = std::string(module) + ": " + *text;
    }
    return 1;
}

/// Warnings (unknown tags and the like) do not concern the operator.
int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

TIFF* OpenTiff(const std::string& path, const char* mode, std::string* lastError) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, &KeepError, lastError);
    TIFFOpenOptionsSetWarningHandlerExtR(options, &IgnoreWarning, nullptr);
    TIFF* tiff = TIFFOpenExt(path.c_str(), mode, options);
    TIFFOpenOptionsFree(options);
    return tiff;
}

bool IsWritableCompression(std::uint16_t compression) {
    return compression == COMPRESSION_NONE || compression == COMPRESSION_LZW ||
           compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE ||
           compression == COMPRESSION_PACKBITS;
}

}  // namespace

std::uint64_t ImageBytes(int width, int height, int samples) {
    if (width <= 0 || height <= 0 || samples <= 0) {
        return 0;
    }
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) *
                                static_cast<std::uint64_t>(height) *
                                static_cast<std::uint64_t>(samples);
    return bytes <= kMaxImageBytes ? bytes : 0;
}

// ---------------------------------------------------------------------------
// Reader

TiffReader::TiffReader() = default;

TiffReader::~TiffReader() {
    if (tiff_ != nullptr) {
        TIFFClose(tiff_);
    }
}

std::string TiffReader::Failure(const char* what) const {
    return lastError_.empty() ? std::string(what) : std::string(what) + " (" + lastError_ + ")";
}

bool TiffReader::Open(const std::string& path, std::string* error) {
    path_ = path;
    // Read, not mapped: a mapped file would count whole in the memory the
    // program holds while the image it becomes is built beside it.
    tiff_ = OpenTiff(path, "rm", &lastError_);
    if (tiff_ == nullptr) {
        *error = lastError_.empty() ? std::string("not a TIFF file") : lastError_;
        return false;
    }
    TiffLayout layout;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bits = 0;
    std::uint16_t samples = 0;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff_, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff_, TIFFTAG_PLANARCONFIG, &planar);
    if (bits != 8 || format != SAMPLEFORMAT_UINT) {
        *error = "only 8-bit unsigned samples are supported (this file has " +
                 std::to_string(bits) + "-bit samples)";
        return false;
    }
    if (samples < 1 || samples > kMaxSamplesPerPixel) {
        *error = "unsupported number of samples per pixel (" + std::to_string(samples) + ")";
        return false;
    }
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu ||
        ImageBytes(static_cast<int>(width), static_cast<int>(height), samples) == 0) {
        *error = "image size " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                 std::to_string(samples) + " samples is empty or too large";
        return false;
    }
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    layout.samplesPerPixel = samples;
    layout.tiled = TIFFIsTiled(tiff_) != 0;
    layout.separatePlanes = planar == PLANARCONFIG_SEPARATE;

    std::uint16_t photometric = 0;
    layout.photometric = TIFFGetField(tiff_, TIFFTAG_PHOTOMETRIC, &photometric) != 0
                             ? photometric
                             : static_cast<std::uint16_t>(0xFFFF);
    std::uint16_t inkSet = INKSET_CMYK;
    TIFFGetFieldDefaulted(tiff_, TIFFTAG_INKSET, &inkSet);
    layout.inkSet = inkSet;

    std::uint16_t extraCount = 0;
    std::uint16_t* extraKinds = nullptr;
    if (TIFFGetField(tiff_, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) != 0 &&
        extraKinds != nullptr) {
        for (std::uint16_t i = 0; i < extraCount && i < samples; ++i) {
            layout.extraSamples.push_back(extraKinds[i] <= EXTRASAMPLE_UNASSALPHA
                                              ? static_cast<ExtraSample>(extraKinds[i])
                                              : ExtraSample::Unspecified);
        }
    }

    // libtiff keeps NumberOfInks equal to the count of names it accepted.
    char* names = nullptr;
    std::uint16_t inkCount = 0;
    if (TIFFGetField(tiff_, TIFFTAG_INKNAMES, &names) != 0 && names != nullptr &&
        TIFFGetField(tiff_, TIFFTAG_NUMBEROFINKS, &inkCount) != 0) {
        const char* name = names;
        for (std::uint16_t i = 0; i < inkCount; ++i) {
            layout.inkNames.emplace_back(name);
            name += std::strlen(name) + 1;
        }
    }

    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff_, TIFFTAG_COMPRESSION, &compression);
    layout.compression = compression;
    if (TIFFIsCODECConfigured(compression) == 0) {
        *error = "compression scheme " + std::to_string(compression) + " is not supported";
        return false;
    }
    std::uint16_t predictor = PREDICTOR_NONE;
    if (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
        compression == COMPRESSION_DEFLATE) {
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_PREDICTOR, &predictor);
    }
    layout.predictor = predictor;

    float xResolution = 0.0f;
    float yResolution = 0.0f;
    if (TIFFGetField(tiff_, TIFFTAG_XRESOLUTION, &xResolution) != 0 &&
        TIFFGetField(tiff_, TIFFTAG_YRESOLUTION, &yResolution) != 0) {
        layout.hasResolution = true;
        layout.xResolution = xResolution;
        layout.yResolution = yResolution;
        std::uint16_t unit = RESUNIT_INCH;
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_RESOLUTIONUNIT, &unit);
        layout.resolutionUnit = unit;
    }
    if (!CheckDataInsideFile(error)) {
        return false;
    }
    layout_ = layout;
    return true;
}

bool TiffReader::CheckDataInsideFile(std::string* error) const {
    // A file that declares more data than it holds is cut short (or lies
    // about its size): it is refused here, before memory is set aside for
    // the whole image it claims to be.
    std::error_code ec;
    const std::uintmax_t fileSize = std::filesystem::file_size(path_, ec);
    if (ec) {
        return true;  // not a plain file: the reading finds any fault
    }
    const bool tiled = TIFFIsTiled(tiff_) != 0;
    const std::uint32_t pieces = tiled ? TIFFNumberOfTiles(tiff_) : TIFFNumberOfStrips(tiff_);
    std::uint64_t* offsets = nullptr;
    std::uint64_t* counts = nullptr;
    if (TIFFGetField(tiff_, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) == 0 ||
        TIFFGetField(tiff_, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) ==
            0 ||
        offsets == nullptr || counts == nullptr) {
        return true;  // libtiff reports missing tables when the data is read
    }
    std::uint64_t end = 0;
    for (std::uint32_t i = 0; i < pieces; ++i) {
        const std::uint64_t count = counts[i];
        if (count == 0) {
            continue;
        }
        const std::uint64_t last = offsets[i] > UINT64_MAX - count ? UINT64_MAX : offsets[i] + count;
        end = std::max(end, last);
    }
    if (end > fileSize) {
        *error = "the file is cut short: its image data runs to byte " + std::to_string(end) +
                 ", the file holds " + std::to_string(fileSize) + " bytes";
        return false;
    }
    return true;
}

bool TiffReader::ReadRows(const std::vector<int>& planeOf, const RowSink& sink,
                          std::string* error) {
    if (tiff_ == nullptr || static_cast<int>(planeOf.size()) != layout_.samplesPerPixel) {
        *error = "internal error: no file or wrong plane order";
        return false;
    }
    try {
        if (!layout_.tiled && !layout_.separatePlanes) {
            return ReadScanlines(planeOf, sink, error);
        }
        return ReadBands(planeOf, sink, error);
    } catch (const std::bad_alloc&) {
        *error = "not enough memory to read the image";
        return false;
    }
}

bool TiffReader::ReadScanlines(const std::vector<int>& planeOf, const RowSink& sink,
                               std::string* error) {
    const std::size_t width = static_cast<std::size_t>(layout_.width);
    const std::size_t spp = static_cast<std::size_t>(layout_.samplesPerPixel);
    if (static_cast<std::uint64_t>(TIFFScanlineSize64(tiff_)) != width * spp) {
        *error = Failure("unexpected scanline size");
        return false;
    }
    std::vector<std::uint8_t> scanline(width * spp);
    std::vector<std::uint8_t> planes(width * spp);
    for (int row = 0; row < layout_.height; ++row) {
        if (TIFFReadScanline(tiff_, scanline.data(), static_cast<std::uint32_t>(row), 0) < 0) {
            *error = Failure(("cannot decode row " + std::to_string(row)).c_str());
            return false;
        }
        for (std::size_t s = 0; s < spp; ++s) {
            std::uint8_t* out = planes.data() + static_cast<std::size_t>(planeOf[s]) * width;
            const std::uint8_t* in = scanline.data() + s;
            for (std::size_t x = 0; x < width; ++x, in += spp) {
                out[x] = *in;
            }
        }
        if (!sink(row, planes.data())) {
            *error = "reading stopped";
            return false;
        }
    }
    return true;
}

bool TiffReader::ReadBands(const std::vector<int>& planeOf, const RowSink& sink,
                           std::string* error) {
    const std::size_t width = static_cast<std::size_t>(layout_.width);
    const std::size_t spp = static_cast<std::size_t>(layout_.samplesPerPixel);
    const bool separate = layout_.separatePlanes;
    std::uint32_t bandRows = 0;
    std::uint32_t tileWidth = 0;
    if (layout_.tiled) {
        TIFFGetField(tiff_, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &bandRows);
        if (tileWidth == 0 || bandRows == 0) {
            *error = Failure("missing tile size");
            return false;
        }
    } else {
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_ROWSPERSTRIP, &bandRows);
    }
    bandRows = std::min<std::uint32_t>(std::max<std::uint32_t>(bandRows, 1),
                                       static_cast<std::uint32_t>(layout_.height));

    // One band of rows, each row plane after plane.
    const std::size_t rowBytes = width * spp;
    std::vector<std::uint8_t> band(static_cast<std::size_t>(bandRows) * rowBytes);
    const tmsize_t chunkSize = layout_.tiled ? TIFFTileSize(tiff_) : TIFFStripSize(tiff_);
    if (chunkSize <= 0) {
        *error = Failure("unexpected strip or tile size");
        return false;
    }
    // A strip or tile is read whole before its rows are used. Its size comes
    // from the file's tags, so a small file may claim tiles of gigabytes for
    // a small image; a chunk larger than both the image and 64 MiB is refused.
    const std::uint64_t imageBytes =
        static_cast<std::uint64_t>(width) * spp * static_cast<std::uint64_t>(layout_.height);
    if (static_cast<std::uint64_t>(chunkSize) > std::max<std::uint64_t>(imageBytes, 64u << 20)) {
        *error = Failure("strips or tiles far larger than the image");
        return false;
    }
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(chunkSize));
    const std::size_t chunkSamples = separate ? 1 : spp;

    for (std::uint32_t y0 = 0; y0 < static_cast<std::uint32_t>(layout_.height); y0 += bandRows) {
        const std::size_t rows =
            std::min<std::size_t>(bandRows, static_cast<std::size_t>(layout_.height) - y0);
        const std::uint32_t step = layout_.tiled ? tileWidth : static_cast<std::uint32_t>(width);
        const std::size_t chunkWidth = step;
        for (std::uint32_t x0 = 0; x0 < width; x0 += step) {
            const std::size_t columns = std::min<std::size_t>(step, width - x0);
            for (std::size_t s = 0; s < (separate ? spp : 1); ++s) {
                const std::uint16_t sample = static_cast<std::uint16_t>(s);
                const std::size_t expected =
                    (layout_.tiled ? bandRows : rows) * chunkWidth * chunkSamples;
                tmsize_t got = 0;
                if (layout_.tiled) {
                    got = TIFFReadEncodedTile(tiff_, TIFFComputeTile(tiff_, x0, y0, 0, sample),
                                              chunk.data(), chunkSize);
                } else {
                    got = TIFFReadEncodedStrip(tiff_, TIFFComputeStrip(tiff_, y0, sample),
                                               chunk.data(), chunkSize);
                }
                if (got < 0 || static_cast<std::size_t>(got) < expected) {
                    *error = Failure(
                        ("cannot decode the data of rows from " + std::to_string(y0)).c_str());
                    return false;
                }
                for (std::size_t r = 0; r < rows; ++r) {
                    const std::uint8_t* in = chunk.data() + r * chunkWidth * chunkSamples;
                    std::uint8_t* row = band.data() + r * rowBytes + x0;
                    if (separate) {
                        std::memcpy(row + static_cast<std::size_t>(planeOf[s]) * width, in,
                                    columns);
                        continue;
                    }
                    for (std::size_t k = 0; k < spp; ++k) {
                        std::uint8_t* out = row + static_cast<std::size_t>(planeOf[k]) * width;
                        const std::uint8_t* src = in + k;
                        for (std::size_t x = 0; x < columns; ++x, src += spp) {
                            out[x] = *src;
                        }
                    }
                }
            }
        }
        for (std::size_t r = 0; r < rows; ++r) {
            if (!sink(static_cast<int>(y0 + r), band.data() + r * rowBytes)) {
                *error = "reading stopped";
                return false;
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Writer

TiffWriter::TiffWriter() = default;

TiffWriter::~TiffWriter() {
    if (tiff_ != nullptr) {
        TIFFClose(tiff_);
    }
}

std::string TiffWriter::Failure(const char* what) const {
    return lastError_.empty() ? std::string(what) : std::string(what) + " (" + lastError_ + ")";
}

bool TiffWriter::Open(const std::string& path, const TiffLayout& layout, std::string* error) {
    if (ImageBytes(layout.width, layout.height, layout.samplesPerPixel) == 0 ||
        layout.samplesPerPixel > kMaxSamplesPerPixel ||
        static_cast<int>(layout.extraSamples.size()) > layout.samplesPerPixel) {
        *error = "cannot write an image of this size";
        return false;
    }
    path_ = path;
    layout_ = layout;
    // Large files need BigTIFF; "8" asks for it only when the classic format
    // cannot hold the samples.
    const bool big = ImageBytes(layout.width, layout.height, layout.samplesPerPixel) >
                     (std::uint64_t{1} << 31) + (std::uint64_t{1} << 30);
    tiff_ = OpenTiff(path, big ? "w8" : "w", &lastError_);
    if (tiff_ == nullptr) {
        *error = Failure("cannot create the file");
        return false;
    }
    TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(layout.width));
    TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(layout.height));
    TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel);
    TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, layout.photometric);
    TIFFSetField(tiff_, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (layout.photometric == PHOTOMETRIC_SEPARATED) {
        TIFFSetField(tiff_, TIFFTAG_INKSET, layout.inkSet);
    }
    if (!layout.inkNames.empty()) {
        std::string names;
        for (const std::string& name : layout.inkNames) {
            names.append(name.c_str());
            names.push_back('\0');
        }
        TIFFSetField(tiff_, TIFFTAG_INKNAMES, static_cast<std::uint16_t>(names.size()),
                     names.data());
    }
    if (!layout.extraSamples.empty()) {
        std::vector<std::uint16_t> kinds;
        for (ExtraSample kind : layout.extraSamples) {
            kinds.push_back(static_cast<std::uint16_t>(kind));
        }
        TIFFSetField(tiff_, TIFFTAG_EXTRASAMPLES, static_cast<std::uint16_t>(kinds.size()),
                     kinds.data());
    }
    const std::uint16_t compression =
        IsWritableCompression(layout.compression) ? layout.compression : COMPRESSION_LZW;
    TIFFSetField(tiff_, TIFFTAG_COMPRESSION, compression);
    if (compression != COMPRESSION_NONE && compression != COMPRESSION_PACKBITS &&
        layout.predictor == PREDICTOR_HORIZONTAL) {
        TIFFSetField(tiff_, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    // Strips of about 256 KiB: few enough writes, and room for the codecs.
    const std::size_t rowBytes =
        static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.samplesPerPixel);
    const std::uint32_t rowsPerStrip =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, (std::size_t{256} << 10) / rowBytes));
    TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff_, rowsPerStrip));
    if (layout.hasResolution) {
        TIFFSetField(tiff_, TIFFTAG_XRESOLUTION, layout.xResolution);
        TIFFSetField(tiff_, TIFFTAG_YRESOLUTION, layout.yResolution);
        TIFFSetField(tiff_, TIFFTAG_RESOLUTIONUNIT, layout.resolutionUnit);
    }
    TIFFSetField(tiff_, TIFFTAG_SOFTWARE, "rodadazerivo");
    if (!lastError_.empty()) {
        *error = Failure("cannot write the TIFF tags");
        return false;
    }
    scanline_.assign(
        static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.samplesPerPixel),
        0);
    return true;
}

bool TiffWriter::WriteRow(const std::uint8_t* planes, std::string* error) {
    if (tiff_ == nullptr || nextRow_ >= layout_.height) {
        *error = "internal error: row written out of order";
        return false;
    }
    const std::size_t width = static_cast<std::size_t>(layout_.width);
    const std::size_t spp = static_cast<std::size_t>(layout_.samplesPerPixel);
    for (std::size_t s = 0; s < spp; ++s) {
        const std::uint8_t* in = planes + s * width;
        std::uint8_t* out = scanline_.data() + s;
        for (std::size_t x = 0; x < width; ++x, out += spp) {
            *out = in[x];
        }
    }
    if (TIFFWriteScanline(tiff_, scanline_.data(), static_cast<std::uint32_t>(nextRow_), 0) < 0) {
        *error = Failure(("cannot write row " + std::to_string(nextRow_)).c_str());
        return false;
    }
    ++nextRow_;
    return true;
}

bool TiffWriter::Close(std::string* error) {
    if (tiff_ == nullptr) {
        *error = "internal error: no file";
        return false;
    }
    const bool complete = nextRow_ == layout_.height;
    const bool flushed = complete && TIFFFlush(tiff_) != 0;
    TIFFClose(tiff_);
    tiff_ = nullptr;
    if (!complete) {
        *error = "internal error: not every row was written";
        return false;
    }
    if (!flushed || !lastError_.empty()) {
        *error = Failure("cannot finish the file");
        return false;
    }
    return true;
}

}  // namespace rdz::formats
