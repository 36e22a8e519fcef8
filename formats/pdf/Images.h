// Images of a PDF as image definitions of the document database, and the
// converted definitions written back.
//
// An image XObject or inline image of 8 bits per component in an ink space
// becomes a definition with one plane per component (DeviceGray as Black,
// inverted; Decode arrays applied); a soft mask of the same size is its alpha
// plane and is never rewritten. An Indexed image of any depth lends its
// colour table instead (one row of hival + 1 pixels): its samples stay, the
// table is converted. Images of other depths, with a colour-key mask, in a
// filter qpdf cannot decode, or only inside soft masks (where they make
// transparency, not colour) are left as they are. A converted image is
// written Flate-compressed; one the conversion did not change keeps its
// stream as it was.
#pragma once

#include <string>

#include <qpdf/QPDFObjectHandle.hh>

#include "formats/pdf/PdfCatalogue.h"

namespace rdz::formats::pdf {

class ImageCompressor;
class OutputSpaces;
struct Operation;
struct TargetSpace;

/// What drawing an image means for the walk.
struct ImageUse {
    int image = -1;        // the record of an image to rewrite, or -1
    bool stencil = false;  // an image mask: it paints with the fill colour
};

/// Reads an image XObject drawn on `page` in `context` (once per image).
/// Throws InputError when its pixels do not fit in the memory left.
ImageUse ReadImage(PdfCatalogue& catalogue, QPDFObjectHandle image, QPDFObjectHandle resources,
                   int context, int page, const std::string& where);
/// Reads an inline image (op is its BI operation).
ImageUse ReadInlineImage(PdfCatalogue& catalogue, const Operation& op, QPDFObjectHandle resources,
                         int context, int page, const std::string& where);

/// Whether the conversion changed the record's pixels.
bool ImageConverted(const ImageRecord& record);

/// Rewrites every converted image XObject, the pixels compressed by
/// `compressor`. Returns the number rewritten; adds to `dctGrowth` how many
/// bytes larger the DCT images among them got (`dctCount` counts them).
int WriteImages(PdfCatalogue& catalogue, OutputSpaces& spaces, ImageCompressor& compressor,
                long long& dctGrowth, int& dctCount);

/// The converted pixels of `definition`, interleaved in `target`'s component
/// order, Flate-compressed; with `predict`, through TIFF predictor 2 (each
/// sample minus the same component of the pixel before).
std::string CompressedPixels(const TargetSpace& target, const ct_def_t* definition, bool predict);

/// The text (BI ... EI) that replaces a converted inline image in `unit`.
std::string InlineImageText(PdfCatalogue& catalogue, OutputSpaces& spaces, ContentUnit& unit,
                            ImageRecord& record);

}  // namespace rdz::formats::pdf
