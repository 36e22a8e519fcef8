// Everything reading a PDF builds, shared by the readers of its parts and by
// the writer: the qpdf document, the document database's inks and paints,
// and the records of what was read.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <qpdf/QPDF.hh>

#include "formats/pdf/ColourMath.h"
#include "formats/pdf/ColourSpaces.h"
#include "formats/pdf/InkTable.h"
#include "formats/pdf/PaintSlots.h"
#include "formats/pdf/PdfModel.h"
#include "formats/pdf/ReadNotes.h"

namespace rdz::formats::pdf {

/// No content stream is decoded beyond this size.
constexpr std::size_t kMaxContentBytes = std::size_t{256} << 20;

class ImageDecoder;
class ImageStreamer;

struct PdfCatalogue {
    PdfCatalogue(document_object_t* document, const InkBooks& books);
    ~PdfCatalogue();

    std::string file;  // the file's name, as the user gave it
    std::unique_ptr<QPDF> qpdf;
    ColourMath math;
    InkTable inks;
    ColourSpaces spaces;
    PaintSlots slots;
    ReadNotes notes;

    std::deque<ContentUnit> units;
    std::vector<ShadingRecord> shadings;
    std::set<std::pair<QPDFObjGen, int>> shadingsSeen;  // indirect shadings read, per context
    std::vector<ImageRecord> images;
    std::set<QPDFObjGen> imagesSeen;  // image XObjects read (or left)
    /// Decodes images on other cores; Finish() before using them.
    std::unique_ptr<ImageDecoder> decoder;
    /// Large Flate images, decoded while they are converted.
    std::unique_ptr<ImageStreamer> streamer;
    /// Pixel bytes of the streamed images: they count against the memory
    /// budget as if they were held, as the images they are converted into are.
    std::uint64_t streamedBytes = 0;

    /// Throws InputError naming the file and `what` when `bytes` more of
    /// image memory do not fit what is left of the run's memory budget, so
    /// that an image too large is refused before anything is decoded. The
    /// document database reserves the memory when it makes the image.
    void CheckImageMemory(std::uint64_t bytes, const std::string& what) const;
};

}  // namespace rdz::formats::pdf
