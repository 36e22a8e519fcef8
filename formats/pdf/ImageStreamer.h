// Large Flate images decoded while the conversion goes on.
//
// A large image XObject compressed with Flate alone becomes a streamed image
// definition: reading the PDF decodes none of its pixels. When the first of
// them is known to be needed (after the reading) and whenever the conversion
// starts reading one of them, that one and the next one are started: their
// stored data is taken from qpdf on the calling thread (the only one that
// uses qpdf) and inflated on a background thread. The conversion reaching an
// image waits for it to be decoded if it is not yet, and its rows are then
// copied out as the database copies the rows of an image it holds. After the
// last row the decoded pixels are dropped (rows asked for again are decoded
// again). At most two decoded images are held at a time.
//
// Damaged data is found when the image's rows are first asked for: the row
// cannot be read, so the conversion leaves the image as it was and the PDF
// keeps it as it is; the warning saying why is given once (NewWarnings).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "formats/pdf/ImageRows.h"
#include "platform/kelt/ImageStreams.h"

namespace rdz::formats::pdf {

struct PdfCatalogue;

/// Images of at least this many decoded bytes are streamed; smaller ones are
/// decoded while the PDF is read (ImageDecoder).
constexpr std::size_t kStreamedImageBytes = std::size_t{1} << 20;

class ImageStreamer {
  public:
    explicit ImageStreamer(PdfCatalogue& catalogue) : c_(catalogue) {}
    /// Stops the background thread after the image it is decoding.
    ~ImageStreamer();
    ImageStreamer(const ImageStreamer&) = delete;
    ImageStreamer& operator=(const ImageStreamer&) = delete;

    /// A streamed definition (setup as for AddImageDefinition, pixels
    /// ignored) for the 8-bit samples of `stream`, Flate-compressed without
    /// a predictor, through `tables`; `where` names it in a warning. Null
    /// when the database cannot take its size.
    ct_def_t* Add(document_object_t* document, const rdz::kelt::ImageSetup& setup,
                  QPDFObjectHandle stream, SampleTables tables, const std::string& where);
    /// Starts decoding the first streamed image in the background.
    void StartFirst();

    /// Row `row` of image `index` (in the order of Add) into `planes`;
    /// false when its data cannot be decoded.
    bool ReadRow(std::size_t index, int row, unsigned char* planes);

  private:
    struct Decoding {
        ~Decoding();  // gives the pixels' buffer back
        std::string stored;
        std::vector<unsigned char> pixels;  // rows of planes
        std::string error;
        std::atomic<bool> done{false};
    };
    struct Entry {
        QPDFObjectHandle stream;
        int width = 0;
        int height = 0;
        SampleTables tables;
        std::string where;
        std::shared_ptr<Decoding> decoding;  // null: not started (or dropped)
        bool warned = false;
    };

    /// Starts decoding entry `index` unless it is started (calling thread).
    void Start(std::size_t index);
    static void Decode(const Entry& entry, Decoding& decoding);
    void Work();

    PdfCatalogue& c_;
    /// Whether there is a core for a background thread; on one core an
    /// image is decoded when its first row is asked for.
    const bool background_ = std::thread::hardware_concurrency() > 1;
    std::deque<Entry> entries_;  // stable addresses for the background thread
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::pair<std::shared_ptr<Decoding>, const Entry*>> jobs_;
    bool stop_ = false;
    std::thread worker_;
};

/// Decodes `stored` (Flate data, no predictor) into `pixels`: `height` rows
/// of `width` samples per component, laid out as planes through `tables`.
/// Returns what is wrong with the data, or an empty text.
std::string DecodeFlateImage(const std::string& stored, int width, int height,
                             const SampleTables& tables, std::vector<unsigned char>& pixels);

}  // namespace rdz::formats::pdf
