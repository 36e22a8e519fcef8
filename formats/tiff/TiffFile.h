// Reading and writing 8-bit TIFF files row by row, in the row layout of the
// document database's pixel images: the samples of one row plane after plane.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct tiff TIFF;

namespace rdz::formats {

/// Kinds of extra sample (the TIFF ExtraSamples values).
enum class ExtraSample : std::uint16_t {
    Unspecified = 0,
    AssociatedAlpha = 1,
    UnassociatedAlpha = 2
};

/// What a TIFF file says about its pixels besides the samples themselves.
struct TiffLayout {
    int width = 0;
    int height = 0;
    int samplesPerPixel = 0;
    /// One entry per extra sample; extra samples are the last samples of a pixel.
    std::vector<ExtraSample> extraSamples;
    std::uint16_t photometric = 5;  // PHOTOMETRIC_SEPARATED
    std::uint16_t inkSet = 1;       // INKSET_CMYK; INKSET_MULTIINK = 2
    /// The InkNames tag, in order (empty when the file has none).
    std::vector<std::string> inkNames;
    std::uint16_t compression = 1;  // COMPRESSION_NONE
    std::uint16_t predictor = 1;    // PREDICTOR_NONE
    bool hasResolution = false;
    float xResolution = 0.0f;
    float yResolution = 0.0f;
    std::uint16_t resolutionUnit = 2;  // RESUNIT_INCH
    // Read only (the writer always writes contiguous strips):
    bool tiled = false;
    bool separatePlanes = false;

    /// Samples that belong to the photometric colour space.
    int ColorSamples() const { return samplesPerPixel - static_cast<int>(extraSamples.size()); }
};

/// Bytes of one image: width x height x samples, or 0 when the product does
/// not fit the limit the program accepts for one image (4 GiB).
std::uint64_t ImageBytes(int width, int height, int samples);

/// Reads a TIFF file of 8-bit unsigned samples: strips or tiles, contiguous or
/// separate planes, any compression libtiff decodes (none, LZW, Deflate and
/// PackBits among them).
class TiffReader {
  public:
    TiffReader();
    ~TiffReader();
    TiffReader(const TiffReader&) = delete;
    TiffReader& operator=(const TiffReader&) = delete;

    /// Opens the file and reads its first image's layout. False, with a text
    /// in `error`, when it is not a TIFF file of 8-bit unsigned samples of a
    /// size the program accepts.
    bool Open(const std::string& path, std::string* error);
    const TiffLayout& Layout() const { return layout_; }

    /// Called for every row, top to bottom: the row number and the row's
    /// samples plane after plane, `width` samples per plane, planes in the
    /// order `planeOf` gives. False stops the reading.
    using RowSink = std::function<bool(int row, const std::uint8_t* planes)>;
    /// Reads every row; sample s of a pixel goes to plane planeOf[s]
    /// (`planeOf` is a permutation of 0 .. samplesPerPixel-1). False, with a
    /// text in `error`, when the file cannot be decoded or the sink stops.
    bool ReadRows(const std::vector<int>& planeOf, const RowSink& sink, std::string* error);

  private:
    bool ReadScanlines(const std::vector<int>& planeOf, const RowSink& sink, std::string* error);
    bool ReadBands(const std::vector<int>& planeOf, const RowSink& sink, std::string* error);
    std::string Failure(const char* what) const;
    /// False (with the reason) when a strip or tile lies past the file's end.
    bool CheckDataInsideFile(std::string* error) const;

    TIFF* tiff_ = nullptr;
    std::string path_;
    std::string lastError_;
    TiffLayout layout_;
};

/// Writes a TIFF file of 8-bit samples in contiguous strips.
class TiffWriter {
  public:
    TiffWriter();
    ~TiffWriter();  // closes an unfinished file (which is then incomplete)
    TiffWriter(const TiffWriter&) = delete;
    TiffWriter& operator=(const TiffWriter&) = delete;

    /// Creates the file and writes the tags of `layout` (photometric, ink set,
    /// ink names, extra samples, compression, predictor, resolution). A
    /// compression that the writer does not offer (anything but none, LZW,
    /// Deflate and PackBits) is replaced by LZW.
    bool Open(const std::string& path, const TiffLayout& layout, std::string* error);
    /// Appends the next row: samplesPerPixel planes of `width` samples, in
    /// sample order.
    bool WriteRow(const std::uint8_t* planes, std::string* error);
    /// Finishes the file; false when not every row was written or the file
    /// could not be completed.
    bool Close(std::string* error);

  private:
    std::string Failure(const char* what) const;

    TIFF* tiff_ = nullptr;
    std::string path_;
    std::string lastError_;
    TiffLayout layout_;
    int nextRow_ = 0;
    std::vector<std::uint8_t> scanline_;
};

}  // namespace rdz::formats
