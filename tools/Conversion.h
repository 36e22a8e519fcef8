// What `convert` and `preview` share: checking and loading the input,
// opening the CMS database, and running the conversion.
#pragma once

#include <string>
#include <vector>

#include "tools/CommandLine.h"
#include "tools/Document.h"
#include "tools/InkBooks.h"
#include "tools/TiffFile.h"

namespace rdz::tools {

class Console;
class ProgressBar;

/// A document read from a document file or a TIFF image.
struct LoadedInput {
    DocumentPtr document;
    FileKind kind = FileKind::Unknown;
    /// For a TIFF input: its layout, which the output keeps.
    TiffLayout tiffLayout;
    /// Every file the input consists of (the document file and its pixel
    /// files, or the TIFF image).
    std::vector<std::string> files;
};

/// Checks that the CMS database folder exists (an empty name is the empty
/// database) and has the CMS library open it. Throws InputError.
void SelectCmsDatabase(const std::string& folder);

/// Checks what the method reads besides the document (the device-link
/// file). Throws InputError.
void CheckMethodInputs(const ConversionRequest& request);

/// Loads the request's input; the document becomes TheDoc. Throws InputError.
LoadedInput LoadInput(const ConversionRequest& request, const InkBooks& books,
                      ProgressBar* progress);

/// Throws UsageError when `output` is one of the input's files.
void CheckOutputIsNotInput(const LoadedInput& input, const std::string& output);

/// Converts `document` with the request's method, showing the progress of
/// image rows. Throws WorkError when the method is not built in, when the
/// conversion fails (after the converter's own messages), and when the
/// converter declined to set the conversion up.
void RunConversion(document_object_t* document, ConversionRequest& request, Console& console);

/// The canonical form of a path that may not exist yet.
std::string CanonicalPath(const std::string& path);

}  // namespace rdz::tools
