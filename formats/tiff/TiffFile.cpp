// TIFF reading and writing over libtiff.
#include "formats/tiff/TiffFile.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include "formats/tiff/TiffTags.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::formats {
namespace {

constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 32;
constexpr int kMaxSamplesPerPixel = 64;
constexpr tdir_t kMaxPages = 10000;
/// Uncompressed strips are read this many bytes at a time (at least a row).
constexpr std::size_t kRawBandBytes = std::size_t{1} << 20;
/// Compressed strips up to this size are decoded whole; larger ones row by
/// row.
constexpr std::uint64_t kMaxDecodedStrip = std::uint64_t{16} << 20;
/// Written strips hold about this many bytes (at least a row).
constexpr std::size_t kWrittenStripBytes = std::size_t{256} << 10;

enum Mode { kTiles = 1, kRawStrips, kStrips, kScanlines };

/// Keeps the first error libtiff reports for a file (later ones tend to be
/// consequences of the first).
int KeepError(TIFF* tiff, void* userData, const char* module, const char* format, va_list args) {
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
    // Codecs name the file as their module; the caller names it already.
    const char* file = tiff != nullptr ? TIFFFileName(tiff) : nullptr;
    const bool isFile = module != nullptr && file != nullptr && std::strcmp(module, file) == 0;
    if (module != nullptr && *module != '\0' && !isFile &&
        text->find(module) == std::string::npos) {
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

std::string WithReason(const std::string& what, const std::string& reason) {
    return reason.empty() ? what : what + " (" + reason + ")";
}

/// False (with the reason) when a strip or tile of the current directory
/// lies past the file's end.
bool CheckDataInsideFile(TIFF* tiff, const std::string& path, std::string* error) {
    // A file that declares more data than it holds is cut short (or lies
    // about its size): it is refused before any of it is decoded.
    std::error_code ec;
    const std::uintmax_t fileSize = std::filesystem::file_size(path, ec);
    if (ec) {
        return true;  // not a plain file: the reading finds any fault
    }
    const bool tiled = TIFFIsTiled(tiff) != 0;
    const std::uint32_t pieces = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    std::uint64_t* offsets = nullptr;
    std::uint64_t* counts = nullptr;
    if (TIFFGetField(tiff, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) == 0 ||
        TIFFGetField(tiff, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) ==
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
        const std::uint64_t last =
            offsets[i] > UINT64_MAX - count ? UINT64_MAX : offsets[i] + count;
        end = std::max(end, last);
    }
    if (end > fileSize) {
        *error = "the file is cut short: its image data runs to byte " + std::to_string(end) +
                 ", the file holds " + std::to_string(fileSize) + " bytes";
        return false;
    }
    return true;
}

/// The layout of `tiff`'s current directory, page `page`.
bool ReadLayout(TIFF* tiff, const std::string& path, int page, TiffLayout* out,
                std::string* error) {
    TiffLayout layout;
    layout.page = page;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bits = 0;
    std::uint16_t samples = 0;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
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
    layout.tiled = TIFFIsTiled(tiff) != 0;
    layout.separatePlanes = planar == PLANARCONFIG_SEPARATE;

    std::uint16_t photometric = 0;
    layout.photometric = TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 0
                             ? photometric
                             : static_cast<std::uint16_t>(0xFFFF);
    std::uint16_t inkSet = INKSET_CMYK;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
    layout.inkSet = inkSet;

    std::uint16_t extraCount = 0;
    std::uint16_t* extraKinds = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) != 0 &&
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
    if (TIFFGetField(tiff, TIFFTAG_INKNAMES, &names) != 0 && names != nullptr &&
        TIFFGetField(tiff, TIFFTAG_NUMBEROFINKS, &inkCount) != 0) {
        const char* name = names;
        for (std::uint16_t i = 0; i < inkCount; ++i) {
            layout.inkNames.emplace_back(name);
            name += std::strlen(name) + 1;
        }
    }

    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    layout.compression = compression;
    if (TIFFIsCODECConfigured(compression) == 0) {
        *error = "compression scheme " + std::to_string(compression) + " is not supported";
        return false;
    }
    std::uint16_t predictor = PREDICTOR_NONE;
    if (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
        compression == COMPRESSION_DEFLATE || compression == COMPRESSION_ZSTD ||
        compression == COMPRESSION_LZMA) {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_PREDICTOR, &predictor);
    }
    layout.predictor = predictor;

    float xResolution = 0.0f;
    float yResolution = 0.0f;
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xResolution) != 0 &&
        TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &yResolution) != 0) {
        layout.hasResolution = true;
        layout.xResolution = xResolution;
        layout.yResolution = yResolution;
        std::uint16_t unit = RESUNIT_INCH;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
        layout.resolutionUnit = unit;
    }
    if (!CheckDataInsideFile(tiff, path, error)) {
        return false;
    }
    layout.directoryOffset = TIFFCurrentDirOffset(tiff);
    ReadKeptTags(tiff, &layout);
    *out = std::move(layout);
    return true;
}

/// Makes the page of `layout` the current directory: straight to its
/// offset, without walking the pages before it.
bool GoToPage(TIFF* tiff, const TiffLayout& layout) {
    if (layout.directoryOffset != 0) {
        return TIFFSetSubDirectory(tiff, layout.directoryOffset) != 0;
    }
    return TIFFSetDirectory(tiff, static_cast<tdir_t>(layout.page)) != 0;
}

/// Copies `columns` pixels of `samples` interleaved samples from `in` into
/// planes: sample k goes to plane planeOf[first + k] (skipped when -1), at
/// column `x0` of rows `width` samples wide.
void Deinterleave(const std::uint8_t* in, std::size_t columns, int samples, int first,
                  const std::vector<int>& planeOf, std::uint8_t* planes, std::size_t width,
                  std::size_t x0) {
    if (samples == 1) {
        const int plane = planeOf[static_cast<std::size_t>(first)];
        if (plane >= 0) {
            std::memcpy(planes + static_cast<std::size_t>(plane) * width + x0, in, columns);
        }
        return;
    }
    const std::size_t step = static_cast<std::size_t>(samples);
    if (samples == 4 && planeOf[static_cast<std::size_t>(first)] >= 0 &&
        planeOf[static_cast<std::size_t>(first) + 1] >= 0 &&
        planeOf[static_cast<std::size_t>(first) + 2] >= 0 &&
        planeOf[static_cast<std::size_t>(first) + 3] >= 0) {
        // The common CMYK case in one pass.
        std::uint8_t* out[4];
        for (std::size_t k = 0; k < 4; ++k) {
            out[k] =
                planes +
                static_cast<std::size_t>(planeOf[static_cast<std::size_t>(first) + k]) * width + x0;
        }
        for (std::size_t x = 0; x < columns; ++x, in += 4) {
            out[0][x] = in[0];
            out[1][x] = in[1];
            out[2][x] = in[2];
            out[3][x] = in[3];
        }
        return;
    }
    for (int k = 0; k < samples; ++k) {
        const int plane = planeOf[static_cast<std::size_t>(first + k)];
        if (plane < 0) {
            continue;
        }
        std::uint8_t* out = planes + static_cast<std::size_t>(plane) * width + x0;
        const std::uint8_t* src = in + k;
        for (std::size_t x = 0; x < columns; ++x, src += step) {
            out[x] = *src;
        }
    }
}

/// Interleaves one row: `samples` planes given by pointers into `out`.
void Interleave(const std::uint8_t* const* planes, int samples, std::size_t width,
                std::uint8_t* out) {
    const std::size_t step = static_cast<std::size_t>(samples);
    if (samples == 4) {
        const std::uint8_t* p0 = planes[0];
        const std::uint8_t* p1 = planes[1];
        const std::uint8_t* p2 = planes[2];
        const std::uint8_t* p3 = planes[3];
        for (std::size_t x = 0; x < width; ++x, out += 4) {
            out[0] = p0[x];
            out[1] = p1[x];
            out[2] = p2[x];
            out[3] = p3[x];
        }
        return;
    }
    for (int s = 0; s < samples; ++s) {
        const std::uint8_t* in = planes[s];
        std::uint8_t* dst = out + s;
        for (std::size_t x = 0; x < width; ++x, dst += step) {
            *dst = in[x];
        }
    }
}

bool ReadFully(int fd, std::uint8_t* buffer, std::size_t size, std::uint64_t offset) {
    errno = 0;
    while (size > 0) {
        const ssize_t got = pread(fd, buffer, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        buffer += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace

std::uint16_t TiffLayout::Orientation() const {
    for (const TiffTag& tag : tags) {
        if (tag.tag == TIFFTAG_ORIENTATION && tag.bytes.size() == 2) {
            std::uint16_t value = 1;
            std::memcpy(&value, tag.bytes.data(), 2);
            return value;
        }
    }
    return ORIENTATION_TOPLEFT;
}

std::uint64_t ImageBytes(int width, int height, int samples) {
    if (width <= 0 || height <= 0 || samples <= 0) {
        return 0;
    }
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) *
                                static_cast<std::uint64_t>(height) *
                                static_cast<std::uint64_t>(samples);
    return bytes <= kMaxImageBytes ? bytes : 0;
}

bool WritableCompression(std::uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
        case COMPRESSION_LZW:
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
        case COMPRESSION_PACKBITS:
        case COMPRESSION_ZSTD:
        case COMPRESSION_LZMA:
            return TIFFIsCODECConfigured(compression) != 0;
        default:
            return false;
    }
}

bool ReadTiffPages(const std::string& path, std::vector<TiffLayout>* pages, std::string* error) {
    pages->clear();
    std::string lastError;
    // Read, not mapped: a mapped file would count whole in the memory the
    // program holds.
    TIFF* tiff = OpenTiff(path, "rm", &lastError);
    if (tiff == nullptr) {
        *error = lastError.empty() ? std::string("not a TIFF file") : lastError;
        return false;
    }
    const tdir_t count = TIFFNumberOfDirectories(tiff);
    bool ok = true;
    if (count > kMaxPages) {
        *error = "the file holds " + std::to_string(count) + " pages; at most " +
                 std::to_string(kMaxPages) + " are read";
        ok = false;
    }
    for (tdir_t page = 0; ok && page < std::max<tdir_t>(count, 1); ++page) {
        TiffLayout layout;
        std::string why;
        if (page > 0 && TIFFSetDirectory(tiff, page) == 0) {
            why = WithReason("cannot read its directory", lastError);
        } else if (!ReadLayout(tiff, path, static_cast<int>(page), &layout, &why)) {
            why = why.empty() ? lastError : why;
        } else {
            pages->push_back(std::move(layout));
            continue;
        }
        *error = count > 1 ? "page " + std::to_string(page + 1) + " of " + std::to_string(count) +
                                 ": " + why
                           : why;
        ok = false;
    }
    TIFFClose(tiff);
    if (!ok) {
        pages->clear();
    }
    return ok;
}

// ---------------------------------------------------------------------------
// Row reader

/// One run of chunks (strips of a sample, or a column of tiles) and the band
/// of its rows decoded last.
struct TiffRowReader::Column {
    std::size_t x0 = 0;          // first image column it covers
    std::size_t columns = 0;     // image columns it covers
    std::size_t chunkWidth = 0;  // pixels per row of a chunk (tile width or image width)
    int sample = 0;              // first sample it holds
    int samples = 1;             // samples per pixel it holds
    std::size_t capacity = 0;    // bytes of `band` once it is made
    std::vector<std::uint8_t> band;
    int bandFirst = -1;
    int bandRows = 0;
    TIFF* own = nullptr;  // rows of separate planes read one by one: a handle of its own
    std::string ownError;
};

TiffRowReader::TiffRowReader(std::string path, TiffLayout layout, std::vector<int> planeOf,
                             int planes)
    : path_(std::move(path)),
      layout_(std::move(layout)),
      planeOf_(std::move(planeOf)),
      planes_(planes) {}

TiffRowReader::~TiffRowReader() {
    Close();
}

void TiffRowReader::Close() {
    for (Column& column : columns_) {
        if (column.own != nullptr) {
            TIFFClose(column.own);
        }
    }
    columns_.clear();
    if (tiff_ != nullptr) {
        TIFFClose(tiff_);
        tiff_ = nullptr;
    }
    rdz::kelt::ReleaseImageMemory(reserved_);
    reserved_ = 0;
}

std::uint64_t TiffRowReader::BandBytes() const {
    std::uint64_t bytes = 0;
    for (const Column& column : columns_) {
        bytes += column.band.size();
    }
    return bytes;
}

std::string TiffRowReader::Failure(const std::string& what) const {
    return WithReason(what, lastError_);
}

bool TiffRowReader::OpenFile(std::string* error) {
    if (static_cast<int>(planeOf_.size()) != layout_.samplesPerPixel) {
        *error = "internal error: wrong plane order";
        return false;
    }
    tiff_ = OpenTiff(path_, "rm", &lastError_);
    if (tiff_ == nullptr || !GoToPage(tiff_, layout_)) {
        *error = Failure("cannot open the file again");
        Close();
        return false;
    }
    const std::size_t width = static_cast<std::size_t>(layout_.width);
    const int spp = layout_.samplesPerPixel;
    const bool separate = layout_.separatePlanes;
    const int groups = separate ? spp : 1;
    const int perGroup = separate ? 1 : spp;
    const std::uint64_t imageBytes = static_cast<std::uint64_t>(width) *
                                     static_cast<std::uint64_t>(spp) *
                                     static_cast<std::uint64_t>(layout_.height);
    std::uint64_t bandBytes = 0;
    std::vector<Column> columns;

    if (layout_.tiled) {
        std::uint32_t tileWidth = 0;
        std::uint32_t tileLength = 0;
        TIFFGetField(tiff_, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &tileLength);
        const tmsize_t tileSize = TIFFTileSize(tiff_);
        if (tileWidth == 0 || tileLength == 0 || tileSize <= 0 ||
            static_cast<std::uint64_t>(tileSize) !=
                std::uint64_t{tileWidth} * tileLength * static_cast<std::uint64_t>(perGroup)) {
            *error = Failure("missing or inconsistent tile size");
            Close();
            return false;
        }
        // A tile's size comes from the file's tags, so a small file may
        // claim tiles of gigabytes for a small image: a tile larger than
        // both the image and 64 MiB is refused.
        if (static_cast<std::uint64_t>(tileSize) > std::max<std::uint64_t>(imageBytes, 64u << 20)) {
            *error = Failure("strips or tiles far larger than the image");
            Close();
            return false;
        }
        mode_ = kTiles;
        for (int g = 0; g < groups; ++g) {
            for (std::size_t x0 = 0; x0 < width; x0 += tileWidth) {
                Column column;
                column.x0 = x0;
                column.columns = std::min<std::size_t>(tileWidth, width - x0);
                column.chunkWidth = tileWidth;
                column.sample = g;
                column.samples = perGroup;
                column.capacity = static_cast<std::size_t>(tileSize);
                bandBytes += column.capacity;
                columns.push_back(std::move(column));
            }
        }
    } else {
        std::uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::min<std::uint32_t>(std::max<std::uint32_t>(rowsPerStrip, 1),
                                               static_cast<std::uint32_t>(layout_.height));
        const std::size_t rowBytes = width * static_cast<std::size_t>(perGroup);
        if (static_cast<std::uint64_t>(TIFFScanlineSize64(tiff_)) != rowBytes) {
            *error = Failure("unexpected scanline size");
            Close();
            return false;
        }
        std::uint16_t fillOrder = FILLORDER_MSB2LSB;
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_FILLORDER, &fillOrder);
        const std::uint64_t stripBytes = std::uint64_t{rowsPerStrip} * rowBytes;
        std::size_t bandRows = 1;
        if (layout_.compression == COMPRESSION_NONE && fillOrder == FILLORDER_MSB2LSB) {
            // Uncompressed rows are read straight from the file.
            mode_ = kRawStrips;
            bandRows = std::min<std::size_t>(std::max<std::size_t>(kRawBandBytes / rowBytes, 1),
                                             rowsPerStrip);
        } else if (stripBytes <= kMaxDecodedStrip) {
            mode_ = kStrips;
            bandRows = rowsPerStrip;
        } else {
            // Strips too large to hold: libtiff decodes them row by row.
            mode_ = kScanlines;
        }
        for (int g = 0; g < groups; ++g) {
            Column column;
            column.columns = width;
            column.chunkWidth = width;
            column.sample = g;
            column.samples = perGroup;
            column.capacity = bandRows * rowBytes;
            if (mode_ == kRawStrips && rowBytes > kRawBandBytes) {
                // A row longer than the band is read in pieces of whole pixels.
                column.capacity = kRawBandBytes / static_cast<std::size_t>(perGroup) *
                                  static_cast<std::size_t>(perGroup);
            }
            bandBytes += column.capacity;
            columns.push_back(std::move(column));
        }
    }

    const std::string name = std::filesystem::path(path_).filename().string();
    rdz::kelt::ReserveImageMemory(bandBytes, "reading the rows of '" + name + "'");
    reserved_ = bandBytes;
    columns_ = std::move(columns);
    try {
        for (Column& column : columns_) {
            column.band.resize(column.capacity);
            if (mode_ == kScanlines && layout_.separatePlanes) {
                // Each plane's strips are decoded in order by a handle of its own.
                column.own = OpenTiff(path_, "rm", &column.ownError);
                if (column.own == nullptr || !GoToPage(column.own, layout_)) {
                    *error = WithReason("cannot open the file again", column.ownError);
                    Close();
                    return false;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        *error = "not enough memory to read the image";
        Close();
        return false;
    }
    return true;
}

bool TiffRowReader::Fill(Column& column, int row, std::string* error) {
    const std::size_t rowBytes = column.chunkWidth * static_cast<std::size_t>(column.samples);
    const std::uint16_t sample = static_cast<std::uint16_t>(column.sample);
    switch (mode_) {
        case kTiles: {
            const std::size_t tileRows = column.band.size() / rowBytes;
            const std::uint32_t y0 =
                static_cast<std::uint32_t>(static_cast<std::size_t>(row) / tileRows * tileRows);
            const tmsize_t got = TIFFReadEncodedTile(
                tiff_, TIFFComputeTile(tiff_, static_cast<std::uint32_t>(column.x0), y0, 0, sample),
                column.band.data(), static_cast<tmsize_t>(column.band.size()));
            if (got < 0 || static_cast<std::size_t>(got) < column.band.size()) {
                *error = Failure("cannot decode the data of rows from " + std::to_string(y0));
                return false;
            }
            column.bandFirst = static_cast<int>(y0);
            column.bandRows = static_cast<int>(
                std::min<std::size_t>(tileRows, static_cast<std::size_t>(layout_.height) - y0));
            return true;
        }
        case kRawStrips:
        case kStrips: {
            const std::uint32_t strip =
                TIFFComputeStrip(tiff_, static_cast<std::uint32_t>(row), sample);
            std::uint32_t rowsPerStrip = 0;
            TIFFGetFieldDefaulted(tiff_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
            rowsPerStrip = std::min<std::uint32_t>(std::max<std::uint32_t>(rowsPerStrip, 1),
                                                   static_cast<std::uint32_t>(layout_.height));
            const int y0 =
                static_cast<int>(static_cast<std::uint32_t>(row) / rowsPerStrip * rowsPerStrip);
            const int stripEnd = std::min(y0 + static_cast<int>(rowsPerStrip), layout_.height);
            if (mode_ == kStrips) {
                const std::size_t bytes = static_cast<std::size_t>(stripEnd - y0) * rowBytes;
                const tmsize_t got = TIFFReadEncodedStrip(tiff_, strip, column.band.data(),
                                                          static_cast<tmsize_t>(bytes));
                if (got < 0 || static_cast<std::size_t>(got) < bytes) {
                    *error = Failure("cannot decode the data of rows from " + std::to_string(y0));
                    return false;
                }
                column.bandFirst = y0;
                column.bandRows = stripEnd - y0;
                return true;
            }
            const int capacity = static_cast<int>(column.band.size() / rowBytes);
            const int rows = std::min(capacity, stripEnd - row);
            const std::uint64_t skip = static_cast<std::uint64_t>(row - y0) * rowBytes;
            const std::uint64_t bytes = static_cast<std::uint64_t>(rows) * rowBytes;
            if (TIFFGetStrileByteCount(tiff_, strip) < skip + bytes) {
                *error = Failure("strip " + std::to_string(strip) +
                                 " holds fewer bytes than its rows need");
                return false;
            }
            if (!ReadFully(TIFFFileno(tiff_), column.band.data(), static_cast<std::size_t>(bytes),
                           TIFFGetStrileOffset(tiff_, strip) + skip)) {
                *error = "cannot read the data of rows from " + std::to_string(row) + ": " +
                         (errno != 0 ? std::strerror(errno) : "the file ends early");
                return false;
            }
            column.bandFirst = row;
            column.bandRows = rows;
            return true;
        }
        default: {
            TIFF* tiff = column.own != nullptr ? column.own : tiff_;
            if (TIFFReadScanline(tiff, column.band.data(), static_cast<std::uint32_t>(row),
                                 sample) < 0) {
                *error = WithReason("cannot decode row " + std::to_string(row),
                                    column.own != nullptr ? column.ownError : lastError_);
                return false;
            }
            column.bandFirst = row;
            column.bandRows = 1;
            return true;
        }
    }
}

bool TiffRowReader::ReadInPieces(Column& column, int row, std::uint8_t* planes,
                                 std::string* error) {
    const std::size_t rowBytes = column.chunkWidth * static_cast<std::size_t>(column.samples);
    const std::uint16_t sample = static_cast<std::uint16_t>(column.sample);
    const std::uint32_t strip = TIFFComputeStrip(tiff_, static_cast<std::uint32_t>(row), sample);
    std::uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tiff_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::max<std::uint32_t>(rowsPerStrip, 1);
    const std::uint64_t start =
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(row) % rowsPerStrip) * rowBytes;
    if (TIFFGetStrileByteCount(tiff_, strip) < start + rowBytes) {
        *error =
            Failure("strip " + std::to_string(strip) + " holds fewer bytes than its rows need");
        return false;
    }
    const std::uint64_t offset = TIFFGetStrileOffset(tiff_, strip) + start;
    for (std::size_t done = 0; done < rowBytes; done += column.capacity) {
        const std::size_t piece = std::min(column.capacity, rowBytes - done);
        if (!ReadFully(TIFFFileno(tiff_), column.band.data(), piece, offset + done)) {
            *error = "cannot read the data of row " + std::to_string(row) + ": " +
                     (errno != 0 ? std::strerror(errno) : "the file ends early");
            return false;
        }
        const std::size_t pixel = done / static_cast<std::size_t>(column.samples);
        Deinterleave(column.band.data(), piece / static_cast<std::size_t>(column.samples),
                     column.samples, column.sample * column.samples, planeOf_, planes,
                     static_cast<std::size_t>(layout_.width), column.x0 + pixel);
    }
    return true;
}

bool TiffRowReader::ReadRow(int row, std::uint8_t* planes, std::string* error) {
    if (row < 0 || row >= layout_.height) {
        *error = "internal error: row " + std::to_string(row) + " out of range";
        return false;
    }
    if (tiff_ == nullptr && !OpenFile(error)) {
        return false;
    }
    const std::size_t width = static_cast<std::size_t>(layout_.width);
    for (Column& column : columns_) {
        const std::size_t rowBytes = column.chunkWidth * static_cast<std::size_t>(column.samples);
        if (column.capacity < rowBytes) {
            if (!ReadInPieces(column, row, planes, error)) {
                return false;
            }
            continue;
        }
        if (row < column.bandFirst || row >= column.bandFirst + column.bandRows) {
            if (!Fill(column, row, error)) {
                return false;
            }
        }
        const std::uint8_t* in =
            column.band.data() + static_cast<std::size_t>(row - column.bandFirst) * rowBytes;
        Deinterleave(in, column.columns, column.samples, column.sample * column.samples, planeOf_,
                     planes, width, column.x0);
    }
    return true;
}

// ---------------------------------------------------------------------------
// First-page reader

TiffReader::TiffReader() = default;
TiffReader::~TiffReader() = default;

bool TiffReader::Open(const std::string& path, std::string* error) {
    path_ = path;
    std::vector<TiffLayout> pages;
    if (!ReadTiffPages(path, &pages, error)) {
        return false;
    }
    layout_ = std::move(pages.front());
    return true;
}

bool TiffReader::ReadRows(const std::vector<int>& planeOf, const RowSink& sink,
                          std::string* error) {
    if (layout_.width <= 0 || static_cast<int>(planeOf.size()) != layout_.samplesPerPixel) {
        *error = "internal error: no file or wrong plane order";
        return false;
    }
    try {
        TiffRowReader reader(path_, layout_, planeOf, layout_.samplesPerPixel);
        std::vector<std::uint8_t> row(static_cast<std::size_t>(layout_.width) *
                                      static_cast<std::size_t>(layout_.samplesPerPixel));
        for (int y = 0; y < layout_.height; ++y) {
            if (!reader.ReadRow(y, row.data(), error)) {
                return false;
            }
            if (!sink(y, row.data())) {
                *error = "reading stopped";
                return false;
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        *error = "not enough memory to read the image";
    } catch (const rdz::kelt::MemoryBudgetExceeded& exceeded) {
        *error = exceeded.what();
    }
    return false;
}

// ---------------------------------------------------------------------------
// Writer

TiffWriter::TiffWriter() = default;

TiffWriter::~TiffWriter() {
    if (tiff_ != nullptr) {
        TIFFClose(tiff_);
    }
    rdz::kelt::ReleaseImageMemory(reserved_);
}

std::string TiffWriter::Failure(const char* what) const {
    return WithReason(what, lastError_);
}

bool TiffWriter::Create(const std::string& path, bool big, std::string* error) {
    tiff_ = OpenTiff(path, big ? "w8" : "w", &lastError_);
    if (tiff_ == nullptr) {
        *error = Failure("cannot create the file");
        return false;
    }
    return true;
}

bool TiffWriter::Open(const std::string& path, const TiffLayout& layout, std::string* error) {
    // Large files need BigTIFF, asked for only when the classic format
    // cannot hold the samples.
    const bool big = ImageBytes(layout.width, layout.height, layout.samplesPerPixel) >
                     (std::uint64_t{1} << 31) + (std::uint64_t{1} << 30);
    return Create(path, big, error) && StartPage(layout, error);
}

bool TiffWriter::StartPage(const TiffLayout& layout, std::string* error) {
    if (tiff_ == nullptr || pageOpen_) {
        *error = "internal error: no file, or a page is open";
        return false;
    }
    if (ImageBytes(layout.width, layout.height, layout.samplesPerPixel) == 0 ||
        layout.samplesPerPixel > kMaxSamplesPerPixel ||
        static_cast<int>(layout.extraSamples.size()) > layout.samplesPerPixel) {
        *error = "cannot write an image of this size";
        return false;
    }
    layout_ = layout;
    std::uint64_t exifOffset = 0;
    if (!layout.exifTags.empty() && !WriteExifDirectory(tiff_, layout.exifTags, &exifOffset)) {
        *error = Failure("cannot write the EXIF directory");
        return false;
    }
    TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(layout.width));
    TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(layout.height));
    TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel);
    TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, layout.photometric);
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
        WritableCompression(layout.compression) ? layout.compression : COMPRESSION_LZW;
    layout_.compression = compression;
    TIFFSetField(tiff_, TIFFTAG_COMPRESSION, compression);
    if (layout.compressionLevel > 0) {
        if (compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE) {
            TIFFSetField(tiff_, TIFFTAG_ZIPQUALITY, layout.compressionLevel);
        } else if (compression == COMPRESSION_ZSTD) {
            TIFFSetField(tiff_, TIFFTAG_ZSTD_LEVEL, layout.compressionLevel);
        } else if (compression == COMPRESSION_LZMA) {
            TIFFSetField(tiff_, TIFFTAG_LZMAPRESET, layout.compressionLevel);
        }
    }
    if (compression != COMPRESSION_NONE && compression != COMPRESSION_PACKBITS &&
        layout.predictor == PREDICTOR_HORIZONTAL) {
        TIFFSetField(tiff_, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    const std::size_t rowBytes =
        static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.samplesPerPixel);
    rowsPerStrip_ = static_cast<int>(
        std::min<std::size_t>(std::max<std::size_t>(1, kWrittenStripBytes / rowBytes),
                              static_cast<std::size_t>(layout.height)));
    TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(rowsPerStrip_));
    if (layout.hasResolution) {
        TIFFSetField(tiff_, TIFFTAG_XRESOLUTION, layout.xResolution);
        TIFFSetField(tiff_, TIFFTAG_YRESOLUTION, layout.yResolution);
        TIFFSetField(tiff_, TIFFTAG_RESOLUTIONUNIT, layout.resolutionUnit);
    }
    TIFFSetField(tiff_, TIFFTAG_SOFTWARE, "rodadazerivo");
    if (!WriteKeptTags(tiff_, layout.tags)) {
        *error = Failure("cannot write the tags kept from the input");
        return false;
    }
    if (!layout.iccProfile.empty()) {
        TIFFSetField(tiff_, TIFFTAG_ICCPROFILE,
                     static_cast<std::uint32_t>(layout.iccProfile.size()),
                     layout.iccProfile.data());
    }
    if (exifOffset != 0) {
        TIFFSetField(tiff_, TIFFTAG_EXIFIFD, exifOffset);
    }
    if (!lastError_.empty()) {
        *error = Failure("cannot write the TIFF tags");
        return false;
    }
    const std::uint64_t bytes = static_cast<std::uint64_t>(rowsPerStrip_) * rowBytes;
    rdz::kelt::ReserveImageMemory(bytes, "writing a strip of an image");
    reserved_ += bytes;
    try {
        stripBuffer_.resize(static_cast<std::size_t>(bytes));
    } catch (const std::bad_alloc&) {
        *error = "not enough memory to write the image";
        return false;
    }
    pageOpen_ = true;
    nextRow_ = 0;
    strip_ = 0;
    stripRows_ = 0;
    return true;
}

bool TiffWriter::WriteStrip(std::string* error) {
    const std::size_t rowBytes =
        static_cast<std::size_t>(layout_.width) * static_cast<std::size_t>(layout_.samplesPerPixel);
    const tmsize_t size = static_cast<tmsize_t>(static_cast<std::size_t>(stripRows_) * rowBytes);
    // Uncompressed samples are the strip's bytes as they stand: written
    // without a copy into libtiff's buffer.
    const tmsize_t written = layout_.compression == COMPRESSION_NONE
                                 ? TIFFWriteRawStrip(tiff_, strip_, stripBuffer_.data(), size)
                                 : TIFFWriteEncodedStrip(tiff_, strip_, stripBuffer_.data(), size);
    if (written < 0) {
        *error = Failure(("cannot write the rows from " +
                          std::to_string(static_cast<int>(strip_) * rowsPerStrip_))
                             .c_str());
        return false;
    }
    ++strip_;
    stripRows_ = 0;
    return true;
}

bool TiffWriter::WriteRow(const std::uint8_t* const* samples, std::string* error) {
    if (tiff_ == nullptr || !pageOpen_ || nextRow_ >= layout_.height) {
        *error = "internal error: row written out of order";
        return false;
    }
    const std::size_t width = static_cast<std::size_t>(layout_.width);
    const std::size_t rowBytes = width * static_cast<std::size_t>(layout_.samplesPerPixel);
    Interleave(samples, layout_.samplesPerPixel, width,
               stripBuffer_.data() + static_cast<std::size_t>(stripRows_) * rowBytes);
    ++stripRows_;
    ++nextRow_;
    if (stripRows_ == rowsPerStrip_ || nextRow_ == layout_.height) {
        return WriteStrip(error);
    }
    return true;
}

bool TiffWriter::WriteRow(const std::uint8_t* planes, std::string* error) {
    std::vector<const std::uint8_t*> samples(static_cast<std::size_t>(layout_.samplesPerPixel));
    for (std::size_t s = 0; s < samples.size(); ++s) {
        samples[s] = planes + s * static_cast<std::size_t>(layout_.width);
    }
    return WriteRow(samples.data(), error);
}

bool TiffWriter::FinishPage(std::string* error) {
    if (tiff_ == nullptr || !pageOpen_) {
        *error = "internal error: no page";
        return false;
    }
    pageOpen_ = false;
    stripBuffer_.clear();
    stripBuffer_.shrink_to_fit();
    rdz::kelt::ReleaseImageMemory(reserved_);
    reserved_ = 0;
    if (nextRow_ != layout_.height) {
        *error = "internal error: not every row was written";
        return false;
    }
    if (TIFFWriteDirectory(tiff_) == 0 || !lastError_.empty()) {
        *error = Failure("cannot finish the page");
        return false;
    }
    return true;
}

bool TiffWriter::Close(std::string* error) {
    if (tiff_ == nullptr) {
        *error = "internal error: no file";
        return false;
    }
    if (pageOpen_ && !FinishPage(error)) {
        TIFFClose(tiff_);
        tiff_ = nullptr;
        return false;
    }
    const bool flushed = TIFFFlush(tiff_) != 0;
    TIFFClose(tiff_);
    tiff_ = nullptr;
    if (!flushed || !lastError_.empty()) {
        *error = Failure("cannot finish the file");
        return false;
    }
    return true;
}

}  // namespace rdz::formats
