// What `convert` and `preview` share: checking and loading the input,
// opening the CMS database, and running the conversion.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/DocumentFormat.h"
#include "formats/InkBooks.h"
#include "tools/CommandLine.h"

namespace rdz::tools {

class Console;
class ProgressBar;

/// Checks that the CMS database folder exists (an empty name is the empty
/// database) and has the CMS library open it. Throws InputError.
void SelectCmsDatabase(const std::string& folder);

/// Checks what the method reads besides the document (the device-link
/// file). Throws InputError.
void CheckMethodInputs(const ConversionRequest& request);

/// The format of the input file, by its content. Throws InputError when
/// the file cannot be read or no format recognises it.
const rdz::formats::DocumentFormat& InputFormat(const std::string& input);

/// Loads the request's input in `format`; the document becomes TheDoc.
/// Throws InputError.
std::unique_ptr<rdz::formats::FormatDocument> LoadInput(const rdz::formats::DocumentFormat& format,
                                                        const ConversionRequest& request,
                                                        const rdz::formats::InkBooks& books,
                                                        ProgressBar* progress);

/// Throws UsageError when `output` is one of the input's files.
void CheckOutputIsNotInput(const rdz::formats::FormatDocument& input, const std::string& output);

/// Converts `document` with the request's method, showing the progress of
/// image rows. Throws WorkError when the method is not built in, when the
/// conversion fails (after the converter's own messages), and when the
/// converter declined to set the conversion up.
void RunConversion(document_object_t* document, ConversionRequest& request, Console& console);

/// The canonical form of a path that may not exist yet.
std::string CanonicalPath(const std::string& path);

}  // namespace rdz::tools
