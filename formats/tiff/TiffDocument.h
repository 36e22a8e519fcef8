// A TIFF image as a one-image document, and the document's image back as a
// TIFF image.
#pragma once

#include <string>

#include "host/kelt_db.h"
#include "formats/Document.h"
#include "formats/tiff/TiffFile.h"

namespace rdz::formats {

class InkBooks;
class Progress;

struct LoadedTiffDocument {
    DocumentPtr document;
    /// The file's layout: the output keeps its resolution, compression and
    /// kind of alpha.
    TiffLayout layout;
};

/// Reads an 8-bit CMYK TIFF image as a document (which becomes TheDoc): one
/// image definition, named after the file, placed once on a layer of one
/// component. Colour samples are the process inks Cyan, Magenta, Yellow and
/// Black of the book "Process" (for a multi-ink file: the inks its InkNames
/// tag names); extra samples are spot inks named by the InkNames tag, found in
/// `books` by name; the first alpha sample is the alpha plane. Throws
/// InputError naming the file.
LoadedTiffDocument ReadTiffDocument(const std::string& path, const InkBooks& books,
                                    Progress* progress);

/// Writes the first image definition of `document` to `temporary` as a TIFF
/// image: its ink planes (output inks, then kept planes) as samples, named by
/// the InkNames tag, then alpha; resolution, compression, predictor and kind
/// of alpha as in `source`. A file whose first four inks are Cyan, Magenta,
/// Yellow and Black is a CMYK image with the other inks as extra samples;
/// otherwise a multi-ink image. `finalPath` names the file in messages.
/// Throws WorkError.
void WriteTiffDocument(document_object_t* document, const TiffLayout& source,
                       const std::string& temporary, const std::string& finalPath,
                       Progress* progress);

}  // namespace rdz::formats
