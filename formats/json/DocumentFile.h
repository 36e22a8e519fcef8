// Document files: a JSON file holding a whole document of the document
// database, with the pixels of its images in TIFF files beside it. The format
// is described in docs/document-format.md.
#pragma once

#include <string>
#include <vector>

#include "host/kelt_db.h"
#include "formats/Document.h"

namespace rdz::formats {

class OutputFiles;
class Progress;

/// What reading a document file gives.
struct LoadedDocumentFile {
    DocumentPtr document;
    /// The pixel files the document named, as paths the program can open.
    std::vector<std::string> pixelFiles;
};

/// Reads a document file and the TIFF files of its images; the document
/// becomes TheDoc. Throws InputError naming the file and the place:
/// "<file>:<line>:<column>: ..." for a fault of the JSON syntax,
/// "<file>: <JSON pointer>: ..." for a fault of the content, and
/// "<pixel file>: ..." for a TIFF file that does not fit its image.
LoadedDocumentFile ReadDocumentFile(const std::string& path, Progress* progress);

/// Throws UsageError when the document file `path` could not name its pixel
/// files: they are named after its stem, and the names are JSON texts, which
/// hold UTF-8 only.
void CheckDocumentOutputName(const std::string& path);

/// Writes `document` as the document file `path`. The JSON goes to
/// `jsonTemporary` (a file that `outputs` reserved for `path`); the pixels of
/// every image definition go to a TIFF file beside `path`, named
/// "<stem of path>.<image id>.tif" and reserved in `outputs`, never to a file
/// named in `avoid`. The pixels of a definition that are still external are
/// made internal to be read. Throws WorkError when a file cannot be written.
void WriteDocumentFile(document_object_t* document, const std::string& path,
                       const std::string& jsonTemporary, OutputFiles& outputs,
                       const std::vector<std::string>& avoid, Progress* progress);

}  // namespace rdz::formats
