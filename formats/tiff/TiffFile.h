// Reading and writing 8-bit TIFF files row by row, in the row layout of the
// document database's pixel images: the samples of one row plane after plane.
//
// Reading holds a band of decoded strips or tiles, never the whole image
// (see TiffRowReader); writing holds one strip. Every page (image directory)
// of a file is read and written; tags the program does not interpret are
// carried from a page read to the page written for it (TiffTag).
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

inline bool IsAlpha(ExtraSample kind) {
    return kind == ExtraSample::AssociatedAlpha || kind == ExtraSample::UnassociatedAlpha;
}

/// One tag of a page kept as it was read, to be written again unchanged.
/// Only the TIFF code reads its fields.
struct TiffTag {
    enum class Form : std::uint8_t {
        Counted,  // count and an array (blobs: XMP, IPTC, Photoshop data, unknown tags)
        Text,     // ASCII text
        Single,   // one value
        Array,    // a fixed number of values, passed as an array
        Pair      // two 16-bit values, passed one by one (PageNumber, HalftoneHints)
    };
    std::uint32_t tag = 0;
    std::uint16_t type = 0;  // TIFFDataType
    Form form = Form::Single;
    int countSize = 0;       // Counted: 2 or 4 bytes of count
    int valueSize = 0;       // bytes per value as libtiff keeps it
    bool floating = false;   // Single: a float or double value
    bool anonymous = false;  // unknown to libtiff: the writer registers it
    std::uint32_t count = 0;
    std::vector<std::uint8_t> bytes;  // count values of valueSize bytes (Text: with its NUL)
    std::string name;
};

/// What a TIFF page says about its pixels besides the samples themselves,
/// and what is written with them.
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
    /// Writing: the codec's level (Deflate, ZSTD, LZMA); 0 = its default.
    int compressionLevel = 0;
    bool hasResolution = false;
    float xResolution = 0.0f;
    float yResolution = 0.0f;
    std::uint16_t resolutionUnit = 2;  // RESUNIT_INCH
    /// The embedded ICC profile (empty when there is none).
    std::vector<std::uint8_t> iccProfile;
    /// Tags kept as they are (orientation, resolution, position, page number,
    /// texts, XMP, IPTC, Photoshop data, unknown tags ...); the writer writes
    /// them after its own. Resolution is among them when the page has one.
    std::vector<TiffTag> tags;
    /// The tags of the page's EXIF directory, written as an EXIF directory.
    std::vector<TiffTag> exifTags;
    /// Tags that a conversion makes untrue (Photoshop's layers): written
    /// only with a page that is not converted.
    std::vector<TiffTag> untrueTags;
    /// Names of the page's tags that a converted page leaves out because the
    /// conversion makes them untrue or they cannot be copied (layers,
    /// thumbnails ...).
    std::vector<std::string> droppedTags;
    // Read only (the writer always writes contiguous strips):
    int page = 0;                       // index of the directory in the file
    std::uint64_t directoryOffset = 0;  // where the directory lies
    bool tiled = false;
    bool separatePlanes = false;

    /// Samples that belong to the photometric colour space.
    int ColorSamples() const { return samplesPerPixel - static_cast<int>(extraSamples.size()); }
    /// The Orientation tag (1 when the page has none).
    std::uint16_t Orientation() const;
};

/// Bytes of one image: width x height x samples, or 0 when the product does
/// not fit the limit the program accepts for one image (4 GiB).
std::uint64_t ImageBytes(int width, int height, int samples);

/// Reads the layout of every page of the TIFF file `path`, in file order.
/// False, with a text in `error` (naming the page when the file has several),
/// when it is not a TIFF file or a page is not one of 8-bit unsigned samples
/// of a size the program accepts, or its data lies past the file's end.
bool ReadTiffPages(const std::string& path, std::vector<TiffLayout>* pages, std::string* error);

/// Reads the rows of one page on demand, from strips or tiles, contiguous or
/// separate planes, in any compression libtiff decodes. Rows read in order
/// cost one decode each; a row behind the band held makes the reader go
/// back. It holds one band of decoded strips or tiles (uncompressed strips:
/// at most about 1 MiB of them, rows longer than that read in pieces; very
/// large compressed strips: one row), counted against the memory budget
/// while it is held.
class TiffRowReader {
  public:
    /// Sample s of a pixel goes to plane planeOf[s] (-1: not delivered) of
    /// rows of `planes` planes.
    TiffRowReader(std::string path, TiffLayout layout, std::vector<int> planeOf, int planes);
    ~TiffRowReader();
    TiffRowReader(const TiffRowReader&) = delete;
    TiffRowReader& operator=(const TiffRowReader&) = delete;

    /// Writes row `row` into `planes` (planes x width samples; planes that
    /// no sample goes to are left alone). False, with a text in `error`, when
    /// the row cannot be decoded. Throws MemoryBudgetExceeded when its band
    /// does not fit the budget.
    bool ReadRow(int row, std::uint8_t* planes, std::string* error);
    /// Gives back the file and the band (the next ReadRow opens them again).
    void Close();
    /// Bytes of the band this reader holds while reading.
    std::uint64_t BandBytes() const;
    const TiffLayout& Layout() const { return layout_; }

  private:
    struct Column;
    bool OpenFile(std::string* error);
    bool Fill(Column& column, int row, std::string* error);
    bool ReadInPieces(Column& column, int row, std::uint8_t* planes, std::string* error);
    std::string Failure(const std::string& what) const;

    std::string path_;
    TiffLayout layout_;
    std::vector<int> planeOf_;
    int planes_ = 0;
    TIFF* tiff_ = nullptr;
    std::string lastError_;
    int mode_ = 0;
    std::vector<Column> columns_;
    std::uint64_t reserved_ = 0;
};

/// Reads the first page of a TIFF file of 8-bit unsigned samples row by row.
class TiffReader {
  public:
    TiffReader();
    ~TiffReader();
    TiffReader(const TiffReader&) = delete;
    TiffReader& operator=(const TiffReader&) = delete;

    /// Opens the file and reads its first page's layout. False, with a text
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
    std::string path_;
    TiffLayout layout_;
};

/// Writes TIFF files of 8-bit samples in contiguous strips, page after page.
class TiffWriter {
  public:
    TiffWriter();
    ~TiffWriter();  // closes an unfinished file (which is then incomplete)
    TiffWriter(const TiffWriter&) = delete;
    TiffWriter& operator=(const TiffWriter&) = delete;

    /// Creates the file (BigTIFF when `big`).
    bool Create(const std::string& path, bool big, std::string* error);
    /// Starts the next page with the tags of `layout`: its own (photometric,
    /// ink set, ink names, extra samples, compression with its level and
    /// predictor), then the kept tags, the ICC profile and the EXIF
    /// directory. A compression the writer does not offer is replaced by
    /// LZW (see WritableCompression).
    bool StartPage(const TiffLayout& layout, std::string* error);
    /// Appends the next row of the page: `samples[s]` holds the `width`
    /// values of sample s.
    bool WriteRow(const std::uint8_t* const* samples, std::string* error);
    /// Appends the next row: samplesPerPixel planes of `width` samples, in
    /// sample order.
    bool WriteRow(const std::uint8_t* planes, std::string* error);
    /// Ends the page; false when not every row was written.
    bool FinishPage(std::string* error);
    /// Ends an open page and finishes the file; false when it could not be
    /// completed.
    bool Close(std::string* error);

    /// Create and StartPage in one (BigTIFF when the samples need it).
    bool Open(const std::string& path, const TiffLayout& layout, std::string* error);

  private:
    bool WriteStrip(std::string* error);
    std::string Failure(const char* what) const;

    TIFF* tiff_ = nullptr;
    std::string lastError_;
    TiffLayout layout_;
    bool pageOpen_ = false;
    int nextRow_ = 0;
    int rowsPerStrip_ = 1;
    std::uint32_t strip_ = 0;
    int stripRows_ = 0;
    std::vector<std::uint8_t> stripBuffer_;
    std::uint64_t reserved_ = 0;
};

/// Whether the writer writes `compression` (none, LZW, Deflate, PackBits,
/// ZSTD and LZMA where libtiff has them).
bool WritableCompression(std::uint16_t compression);

}  // namespace rdz::formats
