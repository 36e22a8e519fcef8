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

// LOCAL MEMORY CHECK: the document database's shared memory budget
// (rdz::kelt::ReserveImageMemory) is not on this branch yet. Until it is,
// reading a PDF sets aside at most this much for the pixels of its images
// (decoded samples and masks together) and refuses a file that asks for more.
constexpr std::uint64_t kLocalImageMemoryLimit = std::uint64_t{4} << 30;
/// Sets the limit above for the reads that follow (the fuzz target keeps it
/// small); 0 restores kLocalImageMemoryLimit.
void SetImageMemoryLimit(std::uint64_t bytes);

/// No content stream is decoded beyond this size.
constexpr std::size_t kMaxContentBytes = std::size_t{256} << 20;

class ImageDecoder;

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

    /// Bytes of image memory set aside so far (see kLocalImageMemoryLimit).
    std::uint64_t imageBytes = 0;
    /// Throws InputError naming the file and `what` when `bytes` more do not
    /// fit.
    void ReserveImageMemory(std::uint64_t bytes, const std::string& what);
};

}  // namespace rdz::formats::pdf
