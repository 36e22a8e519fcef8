// Document files: a JSON file holding a whole document of the document
// database, with the pixels of its images in TIFF files beside it. The format
// is described in docs/document-format.md.
#pragma once

#include <string>
#include <vector>

#include "formats/Document.h"
#include "host/kelt_db.h"

namespace rdz::formats {

class OutputFiles;
class Progress;

/// What reading a document file gives.
struct LoadedDocumentFile {
    DocumentPtr document;
    /// The pixel files the document named, as paths the program can open.
    std::vector<std::string> pixelFiles;
};

/// How a document file is read.
struct DocumentReadOptions {
    /// Progress of reading pixel files; may be null.
    Progress* progress = nullptr;
    /// Whether pixel files may lie outside the document's folder (absolute
    /// paths, paths through "..", links that lead out).
    bool allowOutsidePaths = false;
};

/// Reads a document file and the TIFF files of its images; the document
/// becomes TheDoc. The JSON is read as a stream of events, never held whole
/// (formats/json/DocumentStream.h). Throws InputError naming the file and
/// the place: "<file>:<line>:<column>: ..." for a fault of the JSON syntax,
/// "<file>: <JSON pointer>: ..." for a fault of the content (a field that
/// appears twice in an object and a text holding a NUL character among
/// them), and "<pixel file>: ..." for a TIFF file that does not fit its
/// image. Pixel files must be regular files inside the document's folder
/// (unless `options.allowOutsidePaths`).
LoadedDocumentFile ReadDocumentFile(const std::string& path, const DocumentReadOptions& options);
/// The same with the default options and `progress`.
LoadedDocumentFile ReadDocumentFile(const std::string& path, Progress* progress);

/// Throws UsageError when the document file `path` could not name its pixel
/// files (they are named after its stem, and the names are JSON texts, which
/// hold UTF-8 only), or when its own file name is longer than 255 bytes.
void CheckDocumentOutputName(const std::string& path);

/// Writes `document` as the document file `path`, as a stream (the JSON is
/// never held whole). The JSON goes to `jsonTemporary` (a file that
/// `outputs` reserved for `path`); the pixels of every image definition go
/// to a TIFF file beside `path`, reserved in `outputs`, named
/// "<stem of path>.<image id>.tif" (shortened to a readable prefix and a
/// hash beyond 200 bytes), or with "-2", "-3" ... before ".tif" where that
/// name is one of `avoid` (the input's files), the output itself, another
/// image's, or a file that the document file being replaced names: the
/// replaced output stays whole until `outputs` is committed, and its pixel
/// files of this naming that the new one no longer names are removed then.
/// The pixels of a definition that are still external are made internal to
/// be read. Throws WorkError when a file cannot be written.
void WriteDocumentFile(document_object_t* document, const std::string& path,
                       const std::string& jsonTemporary, OutputFiles& outputs,
                       const std::vector<std::string>& avoid, Progress* progress);

/// The pixel files WriteDocumentFile would write for `document` as it is now,
/// without writing anything.
std::vector<std::string> PlannedPixelFiles(document_object_t* document, const std::string& path,
                                           const std::vector<std::string>& avoid);

}  // namespace rdz::formats
